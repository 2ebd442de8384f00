# add_wine_test(NAME <test> TARGET <exe target> [TUNERS <n>] [UNPRIVILEGED] [ARGS ...])
# Runs a cross-built test program under wine (i686 programs in the win32 build, x86_64 ones in
# win64) in the build tree's private prefix, with <n> simulated serial tuners attached (see
# tests/wine/run-under-wine.sh); UNPRIVILEGED runs it without the capabilities that let root
# ignore exclusive terminals and read-only files. A program that exits with 77 (a case skipped,
# none failed: tests/wine/TestMain.cpp) is reported as Skipped.
set(TUNERS_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
function(add_wine_test)
  cmake_parse_arguments(W "UNPRIVILEGED" "NAME;TARGET;TUNERS" "ARGS" ${ARGN})
  if(NOT W_TUNERS)
    set(W_TUNERS 0)
  endif()
  set(W_PRIVILEGES "")
  if(W_UNPRIVILEGED)
    set(W_PRIVILEGES --unprivileged)
  endif()
  add_test(NAME ${W_NAME}
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/run-under-wine.sh --prefix ${TUNERS_WINEPREFIX}
      --tuners ${W_TUNERS} ${W_PRIVILEGES} --workdir ${CMAKE_CURRENT_BINARY_DIR}/${W_NAME}.run
      -- $<TARGET_FILE:${W_TARGET}> ${W_ARGS})
  set_tests_properties(${W_NAME} PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
endfunction()
