# Reads the module's identity from definition/module_identity.h, its one
# source: sets ORVANTA_<NAME> for every `inline constexpr ... kName = value;`
# line there (kModuleName -> ORVANTA_MODULE_NAME, quotes removed).
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../definition/module_identity.h orvanta_identity_lines
     REGEX "^inline constexpr [a-z:_]+ k[A-Za-z]+ = .*;$")
foreach(line IN LISTS orvanta_identity_lines)
  string(REGEX REPLACE "^inline constexpr [a-z:_]+ k([A-Za-z]+) = \"?([^\"]*)\"?;$" "\\1;\\2" pair "${line}")
  list(GET pair 0 name)
  list(GET pair 1 value)
  string(REGEX REPLACE "([a-z])([A-Z])" "\\1_\\2" name "${name}")
  string(TOUPPER "${name}" name)
  set(ORVANTA_${name} "${value}")
endforeach()
set(ORVANTA_VERSION
    "${ORVANTA_VERSION_MAJOR}.${ORVANTA_VERSION_MINOR}.${ORVANTA_VERSION_PATCH}.${ORVANTA_VERSION_BUILD}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_LIST_DIR}/../definition/module_identity.h)
set(ORVANTA_LIBRARY_VERSION "${ORVANTA_LIBRARY_MAJOR}.${ORVANTA_LIBRARY_MINOR}")
