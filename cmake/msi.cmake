# The Windows Installer package of the module, built by wixl (Debian's
# msitools) from packaging/windows/TivOrvantaZNA100.wxs once the module is
# linked, beside the zip:
#
#   TivOrvantaZNA100-<file version>-x86.msi / -x64.msi
#
# and, for the upgrade test under Wine only (never shipped), the same package
# one build number higher in test-packages/.
#
# The installer compares only the first three fields of a product version,
# so the package version is major.minor.build (3.5.115 for 3.5.0.115): the
# build number is what tells one release from the next. Each target has a
# fixed upgrade code and component identifier; the product code is derived
# from the upgrade code and the version, so one version of one target is one
# product however often it is rebuilt.
#
# wixl writes a random package code and the current time; the package code
# is then derived from the package's content and the times set to the
# release time (scripts/msi-fix-summary.py), and the cabinet takes its file
# dates from copies of the shipped files dated at the release time. A
# signed build signs the package last.


find_program(ORVANTA_WIXL wixl REQUIRED)
# Debian's Python, which has the libmsi bindings.
find_program(ORVANTA_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(orvanta_msi_arch x64)
  set(orvanta_msi_upgrade_code 65536816-87D6-47F8-B7F4-25AB0BF3154A)
  set(orvanta_msi_component F1283ADD-AB44-49EB-976E-733E4CC90512)
  set(orvanta_msi_folder ProgramFiles64Folder)
  set(orvanta_msi_win64 yes)
  set(orvanta_msi_bitness 64-bit)
else()
  set(orvanta_msi_arch x86)
  set(orvanta_msi_upgrade_code 023D6E28-EA7D-4E53-96EB-39FFDA7BB1A8)
  set(orvanta_msi_component 1F79C14D-870E-4F73-AD61-2A11D88447DE)
  set(orvanta_msi_folder ProgramFilesFolder)
  set(orvanta_msi_win64 no)
  set(orvanta_msi_bitness 32-bit)
endif()
# "Apps and Features" tells the two packages apart by name.
set(orvanta_msi_product_name "${ORVANTA_MODULE_NAME} (${orvanta_msi_bitness})")

set(orvanta_wxs ${CMAKE_SOURCE_DIR}/packaging/windows/TivOrvantaZNA100.wxs)

# The files the package ships, copied into package-files/ with the release
# time as their date, which the cabinet records.
set(orvanta_msi_files_dir ${CMAKE_BINARY_DIR}/package-files)
set(orvanta_msi_files $<TARGET_FILE:TivOrvantaZNA100> $<TARGET_FILE:orvanta-probe>
                      ${ORVANTA_NOTICES})
set(orvanta_msi_staged ${orvanta_msi_files_dir}/${ORVANTA_MODULE_NAME}${CMAKE_SHARED_LIBRARY_SUFFIX}
                       ${orvanta_msi_files_dir}/orvanta-probe${CMAKE_EXECUTABLE_SUFFIX}
                       ${orvanta_msi_files_dir}/THIRD-PARTY-NOTICES.txt)
# Dated copies are older than what they are copied from: a stamp, not the
# copies, tells make they are up to date.
set(orvanta_msi_files_stamp ${orvanta_msi_files_dir}.stamp)
add_custom_command(OUTPUT ${orvanta_msi_files_stamp}
  BYPRODUCTS ${orvanta_msi_staged}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${orvanta_msi_files_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${orvanta_msi_files} ${orvanta_msi_files_dir}
  COMMAND touch -d @${ORVANTA_EPOCH} ${orvanta_msi_staged}
  COMMAND ${CMAKE_COMMAND} -E touch ${orvanta_msi_files_stamp}
  DEPENDS TivOrvantaZNA100 orvanta-probe ${orvanta_msi_files} ${ORVANTA_EPOCH_FILE}
  COMMENT "Dating the package's files at the release time"
  VERBATIM)

# orvanta_msi(<output> <file version a.b.c.d>): a custom command that writes
# the package for this target at that version.
function(orvanta_msi output file_version)
  string(REPLACE "." ";" fields "${file_version}")
  list(GET fields 0 major)
  list(GET fields 1 minor)
  list(GET fields 3 build)
  set(package_version ${major}.${minor}.${build})
  string(UUID product_code NAMESPACE ${orvanta_msi_upgrade_code}
         NAME "${ORVANTA_MODULE_NAME} ${package_version}" TYPE SHA1 UPPER)
  string(UUID folder_guid NAMESPACE ${orvanta_msi_component} NAME "manufacturer folder"
         TYPE SHA1 UPPER)
  string(UUID probe_guid NAMESPACE ${orvanta_msi_component} NAME "probe" TYPE SHA1 UPPER)
  string(UUID notices_guid NAMESPACE ${orvanta_msi_component} NAME "notices"
         TYPE SHA1 UPPER)
  get_filename_component(output_dir ${output} DIRECTORY)
  orvanta_sign_command(sign_package ${output})
  # wixl finds a file's source relative to its working folder.
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
            ${ORVANTA_WIXL} -a ${orvanta_msi_arch} -o ${output}
            -D ProductCode=${product_code}
            -D ProductName=${orvanta_msi_product_name}
            -D ModuleName=${ORVANTA_MODULE_NAME}
            -D Manufacturer=${ORVANTA_COMPANY_NAME}
            -D PackageVersion=${package_version}
            -D UpgradeCode=${orvanta_msi_upgrade_code}
            -D ComponentGuid=${orvanta_msi_component}
            -D FolderGuid=${folder_guid}
            -D NoticesGuid=${notices_guid}
            -D ProgramFiles=${orvanta_msi_folder}
            -D Win64=${orvanta_msi_win64}
            -D SysKind=${orvanta_target}
            -D ModuleSource=$<TARGET_FILE_NAME:TivOrvantaZNA100>
            -D ProbeGuid=${probe_guid}
            -D ProbeSource=$<TARGET_FILE_NAME:orvanta-probe>
            -D Clsid=${ORVANTA_CLASS_ID}
            -D ProgId=${ORVANTA_PROGRAM_ID}
            -D LibId=${ORVANTA_LIBRARY_ID}
            -D LibraryVersion=${ORVANTA_LIBRARY_VERSION}
            -D InterfaceName=${ORVANTA_DEFAULT_INTERFACE_NAME}
            -D Iid=${ORVANTA_DEFAULT_INTERFACE_ID}
            ${orvanta_wxs}
    COMMAND ${ORVANTA_SYSTEM_PYTHON} ${CMAKE_SOURCE_DIR}/scripts/msi-fix-summary.py
            ${output} ${ORVANTA_EPOCH}
    ${sign_package}
    WORKING_DIRECTORY ${orvanta_msi_files_dir}
    DEPENDS ${orvanta_msi_files_stamp} ${ORVANTA_EPOCH_FILE} ${orvanta_wxs} ${CMAKE_SOURCE_DIR}/definition/module_identity.h
            ${CMAKE_SOURCE_DIR}/cmake/msi.cmake ${CMAKE_SOURCE_DIR}/scripts/msi-fix-summary.py
    COMMENT "Building the installer package ${package_version} (${orvanta_msi_arch})"
    VERBATIM)
endfunction()

set(ORVANTA_MSI ${CMAKE_BINARY_DIR}/${ORVANTA_MODULE_NAME}-${ORVANTA_VERSION}-${orvanta_msi_arch}.msi)
orvanta_msi(${ORVANTA_MSI} ${ORVANTA_VERSION})

string(REPLACE "." ";" orvanta_fields "${ORVANTA_VERSION}")
list(GET orvanta_fields 3 orvanta_build)
math(EXPR orvanta_build "${orvanta_build} + 1")
list(REMOVE_AT orvanta_fields 3)
list(APPEND orvanta_fields ${orvanta_build})
list(JOIN orvanta_fields "." orvanta_next_version)
set(ORVANTA_MSI_NEXT
    ${CMAKE_BINARY_DIR}/test-packages/${ORVANTA_MODULE_NAME}-${orvanta_next_version}-${orvanta_msi_arch}.msi)
orvanta_msi(${ORVANTA_MSI_NEXT} ${orvanta_next_version})

add_custom_target(msi ALL DEPENDS ${ORVANTA_MSI} ${ORVANTA_MSI_NEXT})
# The notices' rule belongs to their own target; the packages wait for it.
add_dependencies(msi notices)
