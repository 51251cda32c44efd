# Writes src/Makevars from libraries.mk, the one definition of what goes into
# each library and of the flags they are built with (CMake reads it too).
# Run by ./configure when R CMD INSTALL builds the package; the result is plain
# make, one rule per object.

source(file.path("tools", "read_libraries_mk.R"))
def <- read_libraries_mk("libraries.mk")
top <- ".."
libraries <- stats::setNames(toupper(def$LIBRARIES), def$LIBRARIES)

sources_of <- function(key) {
  core <- unlist(lapply(def[[paste0(key, "_CORE")]], function(piece) def[[paste0("CORE_", piece)]]))
  c(def[[paste0(key, "_NATIVE")]], def[[paste0(key, "_GLUE")]], core)
}
object_of <- function(source) sub("\\.cpp$", ".o", gsub("/", "-", source))
link_flags <- function(key) {
  paste("$(QV_LDFLAGS)", paste0("-Wl,--version-script=", top, "/", def[[paste0(key, "_EXPORTS")]]),
        "$(QV_EXTRA_LDFLAGS)")
}

out <- c(
  "# Written by ./configure from libraries.mk: do not edit; edit libraries.mk.",
  "CXX_STD = CXX17",
  paste("QV_CXXFLAGS =", paste(def$QV_CXXFLAGS, collapse = " ")),
  paste("QV_LDFLAGS =", paste(def$QV_LDFLAGS, collapse = " ")),
  "",
  "# The package's own shared object is the first library.",
  paste("OBJECTS =", paste(object_of(sources_of(libraries[[1]])), collapse = " ")),
  paste("PKG_LIBS =", link_flags(libraries[[1]])),
  "",
  paste("all: $(SHLIB)", paste0(names(libraries)[-1], ".so", collapse = " ")),
  "")
for (name in names(libraries)[-1]) {
  key <- libraries[[name]]
  objects <- paste(object_of(sources_of(key)), collapse = " ")
  out <- c(out,
           sprintf("%s.so: %s", name, objects),
           sprintf("\t$(SHLIB_LINK) -o %s.so %s %s $(SHLIB_LIBADD) $(LIBR) $(LIBINTL)",
                   name, objects, link_flags(key)),
           "")
}
sources <- unique(unlist(lapply(libraries, sources_of)))
for (source in sources) {
  out <- c(out,
           sprintf("%s: %s/%s", object_of(source), top, source),
           sprintf("\t$(CXX) $(ALL_CPPFLAGS) -I%s/core -I%s/rglue $(ALL_CXXFLAGS) $(QV_CXXFLAGS) $(QV_EXTRA_CXXFLAGS) -c %s/%s -o %s",
                   top, top, top, source, object_of(source)))
}
out <- c(out, "",
         "# R CMD INSTALL --preclean and --clean: every object and library made here.",
         "shlib-clean: qv-clean",
         "qv-clean:",
         "\trm -f *.o *.so",
         "",
         ".PHONY: all qv-clean")
writeLines(out, file.path("src", "Makevars"))
