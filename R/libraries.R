# The package's shared objects: the libraries quorval, vaskor and quorval2,
# the seeding helper crandseed and oprobit_mcmc()'s chain driver
# oprobitchain. Each is loaded as its own DLL with local symbols; R code
# calls an entry by its name and library.

# Where the package is installed, and the names of its shared objects (the
# list libraries.mk defines, which the installation writes to libs/libraries).
.qv_state <- new.env(parent = emptyenv())

.onLoad <- function(libname, pkgname) {
  .qv_state$libname <- libname
  .qv_state$pkgname <- pkgname
  .qv_state$libraries <- readLines(file.path(libname, pkgname, "libs", "libraries"))
  for (library in .qv_state$libraries) {
    library.dynam(library, pkgname, libname, local = TRUE)
  }
}

.onUnload <- function(libpath) {
  for (library in rev(readLines(file.path(libpath, "libs", "libraries")))) {
    if (library %in% names(getLoadedDLLs())) library.dynam.unload(library, libpath)
  }
}

# Calls `entry` of `library` by name, so that the entry is found in the
# library as it is loaded now (c_stream_seed() unloads and loads quorval and
# vaskor again, which can move their entries).
.qv_call <- function(entry, library, ...) .Call(entry, ..., PACKAGE = library)

# Unloads and loads `libraries` again, so that their generators start from
# their state at load (zero) as in a fresh process.
.qv_reload <- function(libraries) {
  libpath <- file.path(.qv_state$libname, .qv_state$pkgname)
  for (library in libraries) {
    library.dynam.unload(library, libpath)
    library.dynam(library, .qv_state$pkgname, .qv_state$libname, local = TRUE)
  }
  invisible(libraries)
}

#' Path of an installed library
#'
#' The package installs the libraries `quorval`, `vaskor` and `quorval2`
#' (and the seeding helper `crandseed`) as shared objects of their own. Native
#' code, or R code that calls the entries directly with `.Call` or `.C`, can
#' load one by its path with [dyn.load()].
#'
#' The package keeps them loaded (with local symbols). A second
#' [dyn.load()] of the same path gives the library as it is loaded, random
#' streams included; [c_stream_seed()] is the way to restart them.
#'
#' @param library one of `"quorval"`, `"vaskor"`, `"quorval2"`, `"crandseed"`.
#' @return The path of the library's shared object, a character string.
#' @examples
#' path <- qv_library_path("vaskor")
#' basename(path)
#' # Draw three truncated normals through the raw entry of quorval:
#' .Call(getNativeSymbolInfo("trunomcall", "quorval"), 3L, rep(0, 3), rep(1, 3),
#'       rep(-1, 3), rep(1, 3))
#' @export
qv_library_path <- function(library = c("quorval", "vaskor", "quorval2", "crandseed")) {
  library <- match.arg(library)
  file.path(.qv_state$libname, .qv_state$pkgname, "libs", paste0(library, .Platform$dynlib.ext))
}
