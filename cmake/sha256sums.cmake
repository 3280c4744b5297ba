# Run by cpack once the zip is made: writes SHA256SUMS beside it, one
# "<hash>  <file name>" line for the module, the zip and the package, as
# `sha256sum -c SHA256SUMS` reads it in that folder.
set(lines "")
foreach(file IN LISTS CPACK_ORVANTA_CHECKSUMMED CPACK_PACKAGE_FILES)
  file(SHA256 ${file} hash)
  get_filename_component(name ${file} NAME)
  string(APPEND lines "${hash}  ${name}\n")
endforeach()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${lines}")
message(STATUS "SHA256SUMS written in ${CPACK_PACKAGE_DIRECTORY}")
