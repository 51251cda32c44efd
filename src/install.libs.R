# Installs the package's four shared objects: the libraries quorval, vaskor
# and quorval2, and the seeding helper crandseed.
files <- paste0(c("quorval", "vaskor", "quorval2", "crandseed"), SHLIB_EXT)
dest <- file.path(R_PACKAGE_DIR, paste0("libs", R_ARCH))
dir.create(dest, recursive = TRUE, showWarnings = FALSE)
file.copy(files, dest, overwrite = TRUE)
