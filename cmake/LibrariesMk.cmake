# Reads libraries.mk, the definition of the libraries' sources and flags that
# src/Makevars reads too, into variables QV_MK_<NAME> (lists; source paths
# made absolute).
file(STRINGS "${CMAKE_SOURCE_DIR}/libraries.mk" qv_mk_lines REGEX "^[A-Z0-9_]+ =")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/libraries.mk")
foreach(line IN LISTS qv_mk_lines)
  string(REGEX MATCH "^([A-Z0-9_]+) =(.*)$" unused "${line}")
  set(name "${CMAKE_MATCH_1}")
  string(STRIP "${CMAKE_MATCH_2}" value)
  separate_arguments(value UNIX_COMMAND "${value}")
  if(name MATCHES "(^CORE_|_NATIVE$|_GLUE$|_EXPORTS$)")
    list(TRANSFORM value PREPEND "${CMAKE_SOURCE_DIR}/")
  endif()
  set(QV_MK_${name} ${value})
endforeach()
