# Finding and loading the built libraries: quorval, vaskor, quorval2 and the
# seeding helper crandseed, each as its own DLL (local symbols, found through
# PACKAGE = <name>).

qv_library_names <- c("quorval", "vaskor", "quorval2", "crandseed")

# Loads `libraries` from `build_dir` (default $QV_BUILD_DIR, else "build").
# A library that is already loaded from the same file is left as it is:
# reloading it would restart its random streams. Returns the paths, invisibly.
qv_load_libraries <- function(build_dir = Sys.getenv("QV_BUILD_DIR", "build"),
                              libraries = qv_library_names) {
  fn <- "qv_load_libraries"
  if (!is.character(build_dir) || length(build_dir) != 1L || is.na(build_dir)) {
    .qv_stop(fn, "'build_dir' must be one directory name")
  }
  unknown <- setdiff(libraries, qv_library_names)
  if (length(unknown) > 0L) {
    .qv_stop(fn, "unknown library '%s'; the libraries are %s", unknown[1L],
             paste(qv_library_names, collapse = ", "))
  }
  if (!dir.exists(build_dir)) {
    .qv_stop(fn, "build directory '%s' does not exist; build it with `make BUILD=%s`",
             build_dir, build_dir)
  }
  paths <- file.path(normalizePath(build_dir), paste0(libraries, ".so"))
  names(paths) <- libraries
  loaded <- getLoadedDLLs()
  for (name in libraries) {
    path <- paths[[name]]
    if (!file.exists(path)) {
      .qv_stop(fn, "'%s' is missing; build it with `make BUILD=%s`", path, build_dir)
    }
    if (name %in% names(loaded)) {
      current <- normalizePath(loaded[[name]][["path"]])
      if (identical(current, path)) next
      .qv_stop(fn, "%s is already loaded from '%s', not '%s'", name, current, path)
    }
    dyn.load(path, local = TRUE)
  }
  invisible(paths)
}

# Whether `library` is loaded and exports the entry `entry`.
qv_has_entry <- function(entry, library) is.loaded(entry, PACKAGE = library)

# Stops with a clear message when an entry is not there (a library built
# from sources that do not have it yet).
.qv_need_entry <- function(fn, entry, library) {
  if (!qv_has_entry(entry, library)) {
    .qv_stop(fn, "%s's entry '%s' is not loaded; load the libraries with qv_load_libraries() from a build that has it",
             library, entry)
  }
}
