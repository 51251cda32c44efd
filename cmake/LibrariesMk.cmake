# Reads libraries.mk, the definition of the libraries' sources and flags that
# src/Makevars reads too, into variables QV_MK_<NAME> (lists; source paths
# made absolute). Only `NAME = value` lines, comments and blank lines may
# appear: any other line stops the configuration with its number.
file(STRINGS "${CMAKE_SOURCE_DIR}/libraries.mk" qv_mk_lines)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/libraries.mk")
set(qv_mk_number 0)
foreach(line IN LISTS qv_mk_lines)
  math(EXPR qv_mk_number "${qv_mk_number} + 1")
  if(line MATCHES "^[ \t]*(#.*)?$")
    continue()
  endif()
  if(NOT line MATCHES "^([A-Z0-9_]+) =( .*)?$")
    message(FATAL_ERROR "libraries.mk:${qv_mk_number}: not a `NAME = value` line: ${line}")
  endif()
  set(name "${CMAKE_MATCH_1}")
  string(STRIP "${CMAKE_MATCH_2}" value)
  separate_arguments(value UNIX_COMMAND "${value}")
  if(name MATCHES "(^CORE_|_NATIVE$|_GLUE$|_EXPORTS$)" AND NOT name STREQUAL "CORE_PIECES")
    list(TRANSFORM value PREPEND "${CMAKE_SOURCE_DIR}/")
  endif()
  set(QV_MK_${name} ${value})
endforeach()
