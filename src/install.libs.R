# Installs the package's shared objects, the ones libraries.mk lists (the
# libraries quorval, vaskor and quorval2, the seeding helper crandseed and
# the chain driver oprobitchain), and their list, which .onLoad reads.
source(file.path("..", "tools", "read_libraries_mk.R"))
names <- read_libraries_mk(file.path("..", "libraries.mk"))$LIBRARIES
dest <- file.path(R_PACKAGE_DIR, paste0("libs", R_ARCH))
dir.create(dest, recursive = TRUE, showWarnings = FALSE)
file.copy(paste0(names, SHLIB_EXT), dest, overwrite = TRUE)
writeLines(names, file.path(R_PACKAGE_DIR, "libs", "libraries"))
