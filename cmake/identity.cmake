# The module's identity as the build outside the compiler needs it (the
# installer packages), read from where the sources keep it, never written
# again:
#
#   ORVANTA_PRODUCT_NAME        project name (CMakeLists.txt)
#   ORVANTA_FILE_VERSION        3.5.0.115 (CMakeLists.txt)
#   ORVANTA_COMPANY_NAME        "CompanyName" of the version block (frame/TivOrvantaZNA100.rc)
#   ORVANTA_CLSID, ORVANTA_LIBID, ORVANTA_PROGID
#                               registration data (frame/registration.h)
#   ORVANTA_LIBRARY_VERSION     type library version, "1.0" (frame/registration.h)
#   ORVANTA_INTERFACE_NAME, ORVANTA_IID
#                               the class's default interface (frame/iserver.h)
#
# Every fact is read in this file alone, so that moving one only changes the
# file and pattern named here. A fact that cannot be found stops the
# configuration.

function(orvanta_read_fact variable file pattern)
  file(READ ${CMAKE_SOURCE_DIR}/${file} text)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "identity: ${variable} not found in ${file}")
  endif()
  set(${variable} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${file})
endfunction()

set(ORVANTA_PRODUCT_NAME ${PROJECT_NAME})
set(ORVANTA_FILE_VERSION ${PROJECT_VERSION})

orvanta_read_fact(ORVANTA_COMPANY_NAME frame/TivOrvantaZNA100.rc
  "VALUE \"CompanyName\", \"([^\"]+)\"")
orvanta_read_fact(ORVANTA_CLSID frame/registration.h
  "#define ORVANTA_CLSID_TEXT \"({[-0-9A-Fa-f]+})\"")
orvanta_read_fact(ORVANTA_LIBID frame/registration.h
  "#define ORVANTA_LIBID_TEXT \"({[-0-9A-Fa-f]+})\"")
orvanta_read_fact(ORVANTA_PROGID frame/registration.h
  "#define ORVANTA_PROGID_TEXT \"([^\"]+)\"")
orvanta_read_fact(orvanta_library_major frame/registration.h "kLibraryMajor = ([0-9]+);")
orvanta_read_fact(orvanta_library_minor frame/registration.h "kLibraryMinor = ([0-9]+);")
set(ORVANTA_LIBRARY_VERSION ${orvanta_library_major}.${orvanta_library_minor})

# The default interface: `IID_<name> = {0x..., 0x..., 0x..., {0x.., ... }}`,
# turned into registry form.
set(hex "0x[0-9A-Fa-f]+")
orvanta_read_fact(ORVANTA_INTERFACE_NAME frame/iserver.h "struct (_C[A-Za-z0-9]+) : IDispatch {}")
orvanta_read_fact(orvanta_iid frame/iserver.h
  "IID_${ORVANTA_INTERFACE_NAME} = {[ \n]*(${hex}, ${hex}, ${hex}, {${hex}, ${hex}, ${hex}, ${hex}, ${hex}, ${hex}, ${hex}, ${hex}})")
string(REGEX MATCHALL "0x[0-9A-Fa-f]+" parts "${orvanta_iid}")
set(ORVANTA_IID "")
set(widths 8 4 4 2 2 2 2 2 2 2 2)
foreach(i RANGE 10)
  list(GET parts ${i} part)
  list(GET widths ${i} width)
  string(SUBSTRING "${part}" 2 -1 digits)
  string(TOUPPER "${digits}" digits)
  string(LENGTH "${digits}" length)
  if(NOT length EQUAL width)
    message(FATAL_ERROR "identity: ${ORVANTA_INTERFACE_NAME} has an unexpected field ${part}")
  endif()
  if(i EQUAL 1 OR i EQUAL 2 OR i EQUAL 3 OR i EQUAL 5)
    string(APPEND ORVANTA_IID "-")
  endif()
  string(APPEND ORVANTA_IID "${digits}")
endforeach()
set(ORVANTA_IID "{${ORVANTA_IID}}")
unset(hex)
