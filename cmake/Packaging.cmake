# Installation and packaging of the Windows builds. `cpack` in the build directory makes two ZIPs:
#
#   tuners-<version>-<system>.zip
#       the release, install component "release": varnel.dll, ostrin.dll, varnelprobe.exe, the
#       headers, the MinGW import libraries, the .def files, doc/USAGE.txt and examples/host.c.
#       A plain `cmake --install` lays out exactly this.
#   tuners-kivactl-standin-dev-<version>-<system>.zip
#       component "kivactl_standin_dev": the kivactl stand-in with its import library, .def,
#       test-control header and a README. For development and tests only, never shipped; the
#       component is left out of a plain `cmake --install` (tools/kivactl/CMakeLists.txt).
#
# <system> is win32 for the i686 product build and win64 for the x86_64 test build.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TUNERS_PACKAGE_SYSTEM win64)
  set(TUNERS_PACKAGE_MACHINE "64-bit Windows (x64)")
  set(TUNERS_PACKAGE_GCC x86_64-w64-mingw32-gcc)
  set(TUNERS_PACKAGE_LIB_MACHINE x64)
else()
  set(TUNERS_PACKAGE_SYSTEM win32)
  set(TUNERS_PACKAGE_MACHINE "32-bit Windows (x86)")
  set(TUNERS_PACKAGE_GCC i686-w64-mingw32-gcc)
  set(TUNERS_PACKAGE_LIB_MACHINE x86)
endif()

# The usage text names the build's machine and compiler.
configure_file(${PROJECT_SOURCE_DIR}/doc/USAGE.txt.in ${PROJECT_BINARY_DIR}/doc/USAGE.txt @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/doc/USAGE.txt DESTINATION doc COMPONENT release)
install(FILES ${PROJECT_SOURCE_DIR}/examples/host.c DESTINATION examples COMPONENT release)

set(CPACK_PACKAGE_NAME tuners)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tuner-control libraries varnel and ostrin")
set(CPACK_SYSTEM_NAME ${TUNERS_PACKAGE_SYSTEM})
set(CPACK_GENERATOR ZIP)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
# Only these two; anything installed without a component stays out of both ZIPs.
set(CPACK_COMPONENTS_ALL release kivactl_standin_dev)
# The files sit at the top of each ZIP: bin/, lib/, include/ ...
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_RELEASE_FILE_NAME
  ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${TUNERS_PACKAGE_SYSTEM})
set(CPACK_ARCHIVE_KIVACTL_STANDIN_DEV_FILE_NAME
  ${CPACK_PACKAGE_NAME}-kivactl-standin-dev-${PROJECT_VERSION}-${TUNERS_PACKAGE_SYSTEM})
include(CPack)
