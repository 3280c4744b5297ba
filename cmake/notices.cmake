# Writes THIRD-PARTY-NOTICES.txt from packaging/windows/THIRD-PARTY-NOTICES.txt.in
# and the copyright files of the Debian packages whose libraries are linked
# into the module:
#   cmake -DORVANTA_MODULE_NAME=... -DORVANTA_NOTICES_GCC_PACKAGE=...
#         -DORVANTA_NOTICES_MINGW_PACKAGE=... -DINPUT=... -DOUTPUT=... -P notices.cmake
foreach(which GCC MINGW)
  set(copyright /usr/share/doc/${ORVANTA_NOTICES_${which}_PACKAGE}/copyright)
  if(NOT EXISTS ${copyright})
    message(FATAL_ERROR "${copyright} is missing: the notices need it")
  endif()
  file(READ ${copyright} ORVANTA_NOTICES_${which}_TEXT)
endforeach()
string(LENGTH "Third-party notices for ${ORVANTA_MODULE_NAME}.dll" length)
string(REPEAT "=" ${length} ORVANTA_NOTICES_UNDERLINE)
configure_file(${INPUT} ${OUTPUT} @ONLY)
