# Run by cpack before it packs: the zip's entries take the release time of
# the build (cmake/release.cmake) unless SOURCE_DATE_EPOCH says otherwise.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_ORVANTA_EPOCH})
endif()
