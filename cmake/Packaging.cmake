# Installation and packaging of the Windows builds. `cpack` in the build directory makes three
# ZIPs, each of which unpacks into one folder named after it, and a SHA-256 checksum file beside
# each (<zip>.sha256, checked with `sha256sum -c`):
#
#   tuners-<version>-<system>.zip
#       the release, install component "release": varnel.dll, ostrin.dll, varnelprobe.exe and
#       tunerctl.exe (stripped), the headers, the MinGW and the Microsoft-format import libraries, the .def
#       files, doc/USAGE.txt, the examples, LICENSE and CHANGELOG.md.
#   tuners-<version>-<system>-debug-symbols.zip
#       component "debug_symbols": the debug information split off the four binaries
#       (bin/<name>.debug, which the binaries name in their .gnu_debuglink section), and LICENSE.
#   tuners-kivactl-standin-dev-<version>-<system>.zip
#       component "kivactl_standin_dev": the kivactl stand-in with its import library, .def,
#       test-control header, a README and LICENSE. For development and tests only, never shipped;
#       the component is left out of a plain `cmake --install` (tools/kivactl/CMakeLists.txt).
#
# A plain `cmake --install` lays out the release with the .debug files beside the binaries.
# <system> is win32 for the i686 build and win64 for the x86_64 build: two products, the second
# for 64-bit hosts (a 64-bit process cannot load a 32-bit DLL).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TUNERS_PACKAGE_SYSTEM win64)
  set(TUNERS_PACKAGE_MACHINE "64-bit Windows (x64)")
  set(TUNERS_PACKAGE_GCC x86_64-w64-mingw32-gcc)
  set(TUNERS_PACKAGE_LIB_MACHINE x64)
  set(TUNERS_DLLTOOL_MACHINE i386:x86-64)
  set(TUNERS_PACKAGE_KIVACTL_NOTE
    "ostrin.dll x64 needs a 64-bit kivactl.dll from the device's maker: a 32-bit kivactl.dll\n\
cannot be loaded into a 64-bit process.")
else()
  set(TUNERS_PACKAGE_SYSTEM win32)
  set(TUNERS_PACKAGE_MACHINE "32-bit Windows (x86)")
  set(TUNERS_PACKAGE_GCC i686-w64-mingw32-gcc)
  set(TUNERS_PACKAGE_LIB_MACHINE x86)
  set(TUNERS_DLLTOOL_MACHINE i386)
  set(TUNERS_PACKAGE_KIVACTL_NOTE "This 32-bit ostrin.dll needs the 32-bit kivactl.dll.")
endif()
set(TUNERS_RELEASE_NAME tuners-${PROJECT_VERSION}-${TUNERS_PACKAGE_SYSTEM})

# The usage text names the build's machine and compiler.
configure_file(${PROJECT_SOURCE_DIR}/doc/USAGE.txt.in ${PROJECT_BINARY_DIR}/doc/USAGE.txt @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/doc/USAGE.txt DESTINATION doc COMPONENT release)
install(FILES ${PROJECT_SOURCE_DIR}/examples/host.c ${PROJECT_SOURCE_DIR}/examples/ostrin_host.c
  ${PROJECT_SOURCE_DIR}/examples/channel.c DESTINATION examples COMPONENT release)
install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION . COMPONENT release)
foreach(component release debug_symbols)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . COMPONENT ${component})
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . COMPONENT kivactl_standin_dev
  EXCLUDE_FROM_ALL)

# Import libraries for the Microsoft linker, made from the .def files. For i686 the tool gives
# each name the leading underscore of a cdecl symbol and imports it under its plain name.
find_program(TUNERS_LLVM_DLLTOOL NAMES llvm-dlltool REQUIRED)
set(TUNERS_MSVC_IMPORT_LIBS "")
foreach(library varnel ostrin)
  set(lib ${PROJECT_BINARY_DIR}/lib/${library}.lib)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/lib
    COMMAND ${TUNERS_LLVM_DLLTOOL} -m ${TUNERS_DLLTOOL_MACHINE}
      -d ${PROJECT_SOURCE_DIR}/${library}/${library}.def -l ${lib}
    DEPENDS ${PROJECT_SOURCE_DIR}/${library}/${library}.def
    COMMENT "Microsoft-format import library ${library}.lib")
  list(APPEND TUNERS_MSVC_IMPORT_LIBS ${lib})
endforeach()
add_custom_target(msvc_import_libs ALL DEPENDS ${TUNERS_MSVC_IMPORT_LIBS})
install(FILES ${TUNERS_MSVC_IMPORT_LIBS} DESTINATION lib COMPONENT release)

# Debug information: the shipped binaries are compiled with it, and installing them splits it off.
# The release gets each binary stripped, with a .gnu_debuglink naming <name>.debug; the
# debug_symbols component gets <name>.debug. Both take the file from the same split of the
# unstripped binary in the build tree, so the checksum in the link matches the shipped file.
# Source paths in it are relative to the top of the sources, not the build machine's folders.
set(TUNERS_DEBUG_FLAGS -g -fdebug-prefix-map=${PROJECT_SOURCE_DIR}=.)
foreach(core varnel_core ostrin_core tunerctl_core)
  target_compile_options(${core} PRIVATE ${TUNERS_DEBUG_FLAGS})
endforeach()
set(TUNERS_DEBUG_DIR ${PROJECT_BINARY_DIR}/debug-symbols)
foreach(target varnel ostrin varnelprobe tunerctl)
  set(debug_file ${TUNERS_DEBUG_DIR}/$<TARGET_FILE_NAME:${target}>.debug)
  # objcopy stamps its output with the time, so the split is made once for each link.
  set(split "if(\"$<TARGET_FILE:${target}>\" IS_NEWER_THAN \"${debug_file}\")
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --only-keep-debug \"$<TARGET_FILE:${target}>\"
    \"${debug_file}\" COMMAND_ERROR_IS_FATAL ANY)
endif()")
  target_compile_options(${target} PRIVATE ${TUNERS_DEBUG_FLAGS})
  install(CODE "file(MAKE_DIRECTORY \"${TUNERS_DEBUG_DIR}\")\n${split}
execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --strip-all \"--add-gnu-debuglink=${debug_file}\"
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/$<TARGET_FILE_NAME:${target}>\"
  COMMAND_ERROR_IS_FATAL ANY)" COMPONENT release)
  install(CODE "file(MAKE_DIRECTORY \"${TUNERS_DEBUG_DIR}\")\n${split}" COMPONENT debug_symbols)
  install(FILES ${debug_file} DESTINATION bin COMPONENT debug_symbols)
endforeach()
# The stand-in is a test tool built without debug information: it is only stripped.
install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --strip-all
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/$<TARGET_FILE_NAME:kivactl>\"
  COMMAND_ERROR_IS_FATAL ANY)" COMPONENT kivactl_standin_dev EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME tuners)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tuner-control libraries varnel and ostrin")
set(CPACK_SYSTEM_NAME ${TUNERS_PACKAGE_SYSTEM})
set(CPACK_GENERATOR ZIP)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
# Only these three; anything installed without a component stays out of every ZIP. One cpack
# run makes one of them (cmake/CPackZip.cmake); scripts/package.sh runs it for each.
set(CPACK_COMPONENTS_ALL release debug_symbols kivactl_standin_dev)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackZip.cmake)
# Each ZIP holds one folder named after the ZIP, and bin/, lib/, include/ ... inside it.
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_RELEASE_FILE_NAME ${TUNERS_RELEASE_NAME})
set(CPACK_ARCHIVE_DEBUG_SYMBOLS_FILE_NAME ${TUNERS_RELEASE_NAME}-debug-symbols)
set(CPACK_ARCHIVE_KIVACTL_STANDIN_DEV_FILE_NAME
  ${CPACK_PACKAGE_NAME}-kivactl-standin-dev-${PROJECT_VERSION}-${TUNERS_PACKAGE_SYSTEM})
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
