# Read by cpack after CPackConfig.cmake (CPACK_PROJECT_CONFIG_FILE). One cpack run makes one ZIP,
# chosen with -D TUNERS_ZIP=release, debug_symbols or kivactl_standin_dev, so that each ZIP's
# single top-level folder carries that ZIP's own name (with several components in one run,
# cpack would name every folder after the release). scripts/package.sh makes all three.
cmake_policy(SET CMP0057 NEW)
if(NOT TUNERS_ZIP IN_LIST CPACK_COMPONENTS_ALL)
  message(FATAL_ERROR "cpack: choose one ZIP with -D TUNERS_ZIP=<one of: ${CPACK_COMPONENTS_ALL}>"
    " (scripts/package.sh makes them all)")
endif()
string(TOUPPER ${TUNERS_ZIP} component)
set(CPACK_COMPONENTS_ALL ${TUNERS_ZIP})
set(CPACK_PACKAGE_FILE_NAME ${CPACK_ARCHIVE_${component}_FILE_NAME})
