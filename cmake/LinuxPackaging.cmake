# Installation and Debian packages of the Linux build (the linux preset). `cmake --install` lays
# out the library with its soname links, the header, varnel.pc, the CMake package and the
# programs; `cpack` in the build directory makes three packages:
#
#   libvarnel1     component runtime: libvarnel.so.1 and the file it links to
#   libvarnel-dev  component dev: the header, the libvarnel.so link, varnel.pc, the CMake package
#   varnel-tools   component tools: varnelprobe, tunerctl and its manual page
include(CMakePackageConfigHelpers)

set(VARNEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/varnel)

install(TARGETS varnel EXPORT varnelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/include/varnel.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT dev)

# The prefix is found from where varnel.pc lies, so that an install under any --prefix works.
file(RELATIVE_PATH VARNEL_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" VARNEL_PC_TO_PREFIX "${VARNEL_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/linux/varnel.pc.in ${PROJECT_BINARY_DIR}/varnel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/varnel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT dev)

install(EXPORT varnelTargets NAMESPACE varnel:: DESTINATION ${VARNEL_CMAKE_DIR} COMPONENT dev)
configure_file(${CMAKE_CURRENT_LIST_DIR}/linux/varnelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/varnelConfig.cmake COPYONLY)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/varnelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/varnelConfig.cmake ${PROJECT_BINARY_DIR}/varnelConfigVersion.cmake
  DESTINATION ${VARNEL_CMAKE_DIR} COMPONENT dev)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "varnel maintainers <varnel@localhost>")
# No CPACK_PACKAGE_DESCRIPTION_SUMMARY: cpack would put it before each package's description, as
# the one synopsis of all three. The first line of each description below is its synopsis; cpack
# starts the lines after it with the one blank of the control file's extended description.
set(CPACK_DEB_COMPONENT_INSTALL ON)
# The packaged library and programs are stripped (the build tree keeps its symbols).
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvarnel1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "Control of a serial-attached TV tuner (library)
libvarnel finds tuners attached through their USB-to-serial bridge and switches them, selects
channels and reads the programme name and the signal state. Users must be in the group that
owns the serial ttys (dialout).")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvarnel-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libvarnel1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION "Control of a serial-attached TV tuner (development files)
The header, the link library, the pkg-config file varnel.pc and the CMake package
(find_package(varnel), target varnel::varnel).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME varnel-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libvarnel1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "Control of a serial-attached TV tuner (programs)
tunerctl switches a tuner, selects a channel or reads the programme name or the signal state,
one operation a run with an exit status, for scripts and recorders; varnelprobe runs a fixed
sequence of tests against every tuner found.")
# The programs' own library is in the build tree, not yet known to dpkg.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/bin)

include(CPack)
