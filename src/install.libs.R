# Installs the package's shared objects: the libraries quorval, vaskor and
# quorval2, the seeding helper crandseed and the chain driver oprobitchain.
files <- paste0(c("quorval", "vaskor", "quorval2", "crandseed", "oprobitchain"), SHLIB_EXT)
dest <- file.path(R_PACKAGE_DIR, paste0("libs", R_ARCH))
dir.create(dest, recursive = TRUE, showWarnings = FALSE)
file.copy(files, dest, overwrite = TRUE)
