# The Windows module, built with mingw-w64 (toolchain files
# cmake/toolchain-mingw-x86.cmake and cmake/toolchain-mingw-x64.cmake):
#
#   TivOrvantaZNA100.dll  the module: the same sources as the native module,
#                         the version block and its own type library as
#                         resources, exports from frame/TivOrvantaZNA100.def
#                         only, runtime libraries linked in
#   TivDefn.tlb           a stand-in for the host's library TivDefn, for
#                         tests; never part of the module
#   a zip by cpack        the module, orvanta-probe.exe, TivDefn.tlb,
#                         INSTALL.txt and THIRD-PARTY-NOTICES.txt
#   an installer package  the module, registered by the package, the probe
#                         and the notices (cmake/msi.cmake)
#   SHA256SUMS            of the module, the zip and the package, written
#                         by cpack once the zip is made
#
# Every one of them is the same, byte for byte, from any build of the same
# sources (cmake/release.cmake); the module and the package are signed when
# a certificate is given.
#
# The module's type library is written at build time by orvanta-typelib-gen,
# which must run on this machine. It is built natively by a sub-build in
# host-tools/ of the build folder (together with orvanta-pecheck, the static
# checker), configured and built on every build of the Windows tree, so it
# never goes stale. A generator built elsewhere may be given instead in
# ORVANTA_TYPELIB_GEN.

set(ORVANTA_TYPELIB_GEN "" CACHE FILEPATH
    "orvanta-typelib-gen built for this machine; empty: built here by a native sub-build")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(orvanta_target win64)
else()
  set(orvanta_target win32)
endif()

# ---- tools that run on this machine ----
set(orvanta_host_dir ${CMAKE_BINARY_DIR}/host-tools)
include(ExternalProject)
ExternalProject_Add(orvanta_host_tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/cmake/host-tools
  BINARY_DIR ${orvanta_host_dir}
  PREFIX ${CMAKE_BINARY_DIR}/host-tools-stamps
  # Not the cross toolchain: this machine's compiler.
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${orvanta_host_dir}/orvanta-typelib-gen ${orvanta_host_dir}/orvanta-pecheck)

if(ORVANTA_TYPELIB_GEN)
  set(orvanta_gen ${ORVANTA_TYPELIB_GEN})
  set(orvanta_gen_deps ${ORVANTA_TYPELIB_GEN})
else()
  set(orvanta_gen ${orvanta_host_dir}/orvanta-typelib-gen)
  set(orvanta_gen_deps orvanta_host_tools ${orvanta_gen})
endif()

# ---- the module's type library and resources ----
set(orvanta_gen_dir ${CMAKE_BINARY_DIR}/generated)
set(orvanta_module_tlb ${orvanta_gen_dir}/${ORVANTA_MODULE_NAME}.tlb)
add_custom_command(OUTPUT ${orvanta_module_tlb}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${orvanta_gen_dir}
  COMMAND ${orvanta_gen} --target ${orvanta_target} ${orvanta_module_tlb}
  DEPENDS ${orvanta_gen_deps}
  COMMENT "Writing the module's type library (${orvanta_target})"
  VERBATIM)

if(NOT CMAKE_RC_COMPILER)
  find_program(CMAKE_RC_COMPILER NAMES ${ORVANTA_MINGW_TRIPLET}-windres windres REQUIRED)
endif()
# windres looks for the files a script names in its include folders, so the
# script names the library by file name only.
# The script itself is configured from the module's identity (cmake/identity.cmake).
set(orvanta_rc ${orvanta_gen_dir}/TivOrvantaZNA100.rc)
configure_file(${CMAKE_SOURCE_DIR}/frame/module.rc.in ${orvanta_rc} @ONLY)
set(orvanta_res ${orvanta_gen_dir}/TivOrvantaZNA100.res.o)
add_custom_command(OUTPUT ${orvanta_res}
  COMMAND ${CMAKE_RC_COMPILER} --input-format=rc --output-format=coff
          --include-dir=${orvanta_gen_dir}
          --input=${orvanta_rc} --output=${orvanta_res}
  DEPENDS ${orvanta_rc} ${orvanta_module_tlb}
  COMMENT "Compiling the module's resources"
  VERBATIM)

# ---- the module ----
add_library(TivOrvantaZNA100 SHARED $<TARGET_OBJECTS:orvanta_objects>
                                    ${CMAKE_SOURCE_DIR}/frame/TivOrvantaZNA100.def
                                    ${orvanta_res})
set_target_properties(TivOrvantaZNA100 PROPERTIES
  PREFIX ""
  LINK_DEPENDS ${CMAKE_SOURCE_DIR}/frame/TivOrvantaZNA100.def)
target_link_libraries(TivOrvantaZNA100 PRIVATE oleaut32 ole32 uuid advapi32)
# Only system DLLs at run time: the C++ runtime, libgcc and winpthread are
# linked in (and libssp, the stack protector's, which links only so).
# Exports come from the .def alone, undecorated on 32-bit. A release build
# carries no symbol table. The header declares the oldest Windows the module
# runs on: Vista (6.0), which has RegDeleteTreeW and GetTickCount64. The link
# map with its cross-reference table shows which object pulls what from the
# runtime libraries (scripts/check-link-map.sh reads it).
target_compile_options(orvanta_objects PRIVATE -fstack-protector-strong)
# Whatever else links the module's code (the probe, the Windows tests) needs
# the protector's runtime too.
target_link_options(orvanta_core INTERFACE -fstack-protector-strong)
target_link_options(TivOrvantaZNA100 PRIVATE
  -static -static-libgcc -static-libstdc++ -fstack-protector-strong
  -Wl,--enable-stdcall-fixup -Wl,--kill-at
  -Wl,--major-os-version,6 -Wl,--minor-os-version,0
  -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0
  -Wl,-Map,${CMAKE_BINARY_DIR}/TivOrvantaZNA100.map,--cref
  $<$<CONFIG:Release,MinSizeRel>:-s>)
# Signed before anything packs it, so the zip and the package carry the
# signed module.
orvanta_sign_command(orvanta_sign_module $<TARGET_FILE:TivOrvantaZNA100>)
if(orvanta_sign_module)
  add_custom_command(TARGET TivOrvantaZNA100 POST_BUILD ${orvanta_sign_module}
                     COMMENT "Signing the module" VERBATIM)
endif()

# ---- the host's library, stand-in for tests ----
find_program(ORVANTA_WIDL NAMES ${ORVANTA_MINGW_TRIPLET}-widl x86_64-w64-mingw32-widl widl REQUIRED)
# widl reads the imported stdole2.tlb; Wine ships one.
find_path(ORVANTA_STDOLE2_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
        /usr/lib/x86_64-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
# A compiled library from a stand-alone IDL file, built by target `name`;
# further arguments are passed to widl (preprocessor definitions).
function(orvanta_widl_library name idl tlb)
  add_custom_command(OUTPUT ${tlb}
    COMMAND ${CMAKE_COMMAND} -E env WIDL_TIME_OVERRIDE=${ORVANTA_EPOCH} TZ=UTC
            ${ORVANTA_WIDL} -t --${orvanta_target} -L ${ORVANTA_STDOLE2_DIR} ${ARGN} -o ${tlb} ${idl}
    DEPENDS ${idl} ${ORVANTA_EPOCH_FILE}
    COMMENT "Compiling ${name} (${orvanta_target})"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${tlb})
endfunction()
set(orvanta_host_tlb ${CMAKE_BINARY_DIR}/TivDefn.tlb)
orvanta_widl_library(TivDefn ${CMAKE_SOURCE_DIR}/host/TivDefn.idl ${orvanta_host_tlb})

# ---- the licence notices of what is linked in ----
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(orvanta_debian_arch x86-64)
else()
  set(orvanta_debian_arch i686)
endif()
set(ORVANTA_NOTICES ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
set(orvanta_notices_in ${CMAKE_SOURCE_DIR}/packaging/windows/THIRD-PARTY-NOTICES.txt.in)
add_custom_command(OUTPUT ${ORVANTA_NOTICES}
  COMMAND ${CMAKE_COMMAND} -DORVANTA_MODULE_NAME=${ORVANTA_MODULE_NAME}
          -DORVANTA_NOTICES_GCC_PACKAGE=gcc-mingw-w64-${orvanta_debian_arch}-posix-runtime
          -DORVANTA_NOTICES_MINGW_PACKAGE=mingw-w64-${orvanta_debian_arch}-dev
          -DINPUT=${orvanta_notices_in} -DOUTPUT=${ORVANTA_NOTICES}
          -P ${CMAKE_SOURCE_DIR}/cmake/notices.cmake
  DEPENDS ${orvanta_notices_in} ${CMAKE_SOURCE_DIR}/cmake/notices.cmake
  COMMENT "Writing THIRD-PARTY-NOTICES.txt"
  VERBATIM)
add_custom_target(notices ALL DEPENDS ${ORVANTA_NOTICES})

# ---- the zip ----
install(FILES $<TARGET_FILE:TivOrvantaZNA100> $<TARGET_FILE:orvanta-probe> ${orvanta_host_tlb}
              ${CMAKE_SOURCE_DIR}/packaging/windows/INSTALL.txt ${ORVANTA_NOTICES}
        DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME TivOrvantaZNA100)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME ${orvanta_target})
set(CPACK_PACKAGE_FILE_NAME TivOrvantaZNA100-${PROJECT_VERSION}-${orvanta_target})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
# cpack packs what the build made, without building the test programs first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
# The zip's entries carry the release time (cpack honours
# SOURCE_DATE_EPOCH); SHA256SUMS follows the zip.
set(CPACK_ORVANTA_EPOCH ${ORVANTA_EPOCH})
# Set once the files are staged, not earlier: cpack first checks the build,
# which may configure it again, and that must see the environment unchanged.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/cpack-epoch.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/sha256sums.cmake)

# ---- the installer package ----
include(${CMAKE_SOURCE_DIR}/cmake/msi.cmake)
# What SHA256SUMS lists beside the zip: what a release ships.
set(CPACK_ORVANTA_CHECKSUMMED ${CMAKE_BINARY_DIR}/${ORVANTA_MODULE_NAME}${CMAKE_SHARED_LIBRARY_SUFFIX} ${ORVANTA_MSI})
include(CPack)
