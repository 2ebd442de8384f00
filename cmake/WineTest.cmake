# add_wine_test(NAME <test> TARGET <exe target> [TUNERS <n>] [ARGS ...])
# Runs a cross-built test program under wine64 in the build tree's private prefix, with <n>
# simulated serial tuners attached (see tests/wine/run-under-wine.sh).
set(TUNERS_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
function(add_wine_test)
  cmake_parse_arguments(W "" "NAME;TARGET;TUNERS" "ARGS" ${ARGN})
  if(NOT W_TUNERS)
    set(W_TUNERS 0)
  endif()
  add_test(NAME ${W_NAME}
    COMMAND ${PROJECT_SOURCE_DIR}/tests/wine/run-under-wine.sh --prefix ${TUNERS_WINEPREFIX}
      --tuners ${W_TUNERS} --workdir ${CMAKE_CURRENT_BINARY_DIR}/${W_NAME}.run
      -- $<TARGET_FILE:${W_TARGET}> ${W_ARGS})
  set_tests_properties(${W_NAME} PROPERTIES RUN_SERIAL TRUE)
endfunction()
