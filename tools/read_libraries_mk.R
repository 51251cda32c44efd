# Reads libraries.mk into a named list of character vectors (NAME = words).
# Only `NAME = value` lines, comments and blank lines may appear: any other
# line stops the build with its number, rather than being dropped unseen.
read_libraries_mk <- function(path) {
  lines <- readLines(path)
  plain <- grepl("^\\s*(#.*)?$", lines)
  defined <- grepl("^[A-Z0-9_]+ =( .*)?$", lines)
  bad <- which(!plain & !defined)
  if (length(bad)) {
    stop(sprintf("%s:%d: not a `NAME = value` line: %s", path, bad[1L], lines[bad[1L]]), call. = FALSE)
  }
  lines <- lines[defined]
  values <- sub("^[A-Z0-9_]+ = ?", "", lines)
  stats::setNames(lapply(strsplit(trimws(values), " +"), function(x) x[nzchar(x)]),
                  sub(" =.*", "", lines))
}
