# What makes the Windows artefacts releasable: the same bytes from every build
# of the same sources, whatever the folder and the hour, and Authenticode
# signatures when a certificate is given.
#
# ORVANTA_EPOCH, the release time every time stamp takes: SOURCE_DATE_EPOCH
# when set at configure time, else the time of the last commit.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ORVANTA_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE ORVANTA_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE orvanta_git_status ERROR_QUIET)
  if(NOT orvanta_git_status EQUAL 0 OR NOT ORVANTA_EPOCH)
    message(FATAL_ERROR "Not a git checkout: set SOURCE_DATE_EPOCH to the release time")
  endif()
  # A new commit is a new release time.
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} rev-parse --absolute-git-dir
                  OUTPUT_VARIABLE orvanta_git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(EXISTS ${orvanta_git_dir}/logs/HEAD)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${orvanta_git_dir}/logs/HEAD)
  endif()
endif()
if(NOT ORVANTA_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH '${ORVANTA_EPOCH}' is not a number of seconds")
endif()
# Rewritten only when the release time changes: what writes a time depends on
# it, so that a new time reaches every artefact of an existing build too.
set(ORVANTA_EPOCH_FILE ${CMAKE_BINARY_DIR}/release-time)
file(CONFIGURE OUTPUT ${ORVANTA_EPOCH_FILE} CONTENT "${ORVANTA_EPOCH}\n")

# The linker writes the release time into the PE header and the export
# directory; no build folder ends up in an object.
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ORVANTA_EPOCH})
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)

# ---- signing ----
set(ORVANTA_SIGNING_CERT "" CACHE FILEPATH
    "PEM certificate (with its chain) to sign the module and the package with")
set(ORVANTA_SIGNING_KEY "" CACHE FILEPATH "PEM private key of ORVANTA_SIGNING_CERT")
set(ORVANTA_SIGNING_PFX "" CACHE FILEPATH
    "PKCS#12 bundle to sign with instead; its password in the environment variable ORVANTA_SIGNING_PASSWORD")
if(ORVANTA_SIGNING_CERT OR ORVANTA_SIGNING_KEY)
  if(NOT ORVANTA_SIGNING_CERT OR NOT ORVANTA_SIGNING_KEY OR ORVANTA_SIGNING_PFX)
    message(FATAL_ERROR "Sign with ORVANTA_SIGNING_CERT and ORVANTA_SIGNING_KEY together, or ORVANTA_SIGNING_PFX alone")
  endif()
  set(orvanta_signing_credentials pem ${ORVANTA_SIGNING_CERT} ${ORVANTA_SIGNING_KEY})
elseif(ORVANTA_SIGNING_PFX)
  set(orvanta_signing_credentials pfx ${ORVANTA_SIGNING_PFX})
endif()
if(orvanta_signing_credentials)
  find_program(ORVANTA_OSSLSIGNCODE osslsigncode REQUIRED)
  # ORVANTA_SIGN: the command that signs the file named after it in place.
  set(ORVANTA_SIGN ${CMAKE_SOURCE_DIR}/scripts/authenticode-sign.sh)
  set(orvanta_sign_arguments ${ORVANTA_EPOCH} ${orvanta_signing_credentials})
  message(STATUS "Signing the module and the package (${orvanta_signing_credentials})")
endif()
# orvanta_sign_command(<variable> <file>): the command list that signs <file>,
# empty when the build is unsigned.
function(orvanta_sign_command variable file)
  if(orvanta_signing_credentials)
    set(${variable} COMMAND ${ORVANTA_SIGN} ${file} ${orvanta_sign_arguments} PARENT_SCOPE)
  else()
    set(${variable} "" PARENT_SCOPE)
  endif()
endfunction()
