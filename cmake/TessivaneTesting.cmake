# Test registration. Each test executable is one CTest test: under Wine every process start costs
# time, so cases are grouped inside executables rather than listed one by one.
#
#   tessivane_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>]
#                      [NEEDS_DISPLAY] [TIMEOUT <s>])

if(WIN32)
  # One Wine prefix for the whole build tree, never the user's ~/.wine.
  set(TESSIVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(TESSIVANE_WINE_ENV
      WINEPREFIX=${TESSIVANE_WINEPREFIX}
      WINEDEBUG=-all                  # Wine's fixme/err chatter would drown the test output
      WINEDLLOVERRIDES=mscoree,mshtml=  # no Mono/Gecko installer prompts in a fresh prefix
  )
  # Prefix creation and a persistent wineserver, shared by all tests through a fixture; the
  # cleanup test stops the server so nothing of Wine outlives the run.
  add_test(NAME wine_prefix_up
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh up ${TESSIVANE_WINEPREFIX})
  add_test(NAME wine_prefix_down
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh down ${TESSIVANE_WINEPREFIX})
  set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
  set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
endif()

function(tessivane_add_test name)
  cmake_parse_arguments(T "NEEDS_DISPLAY" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main tessivane_options)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(WIN32)
    # Under Wine through a script that, when the program fails, adds Wine's own error messages
    # and the exit status, so that even a failure without output says how it ended.
    add_test(NAME ${name}
             COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/wine-test.sh $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  if(WIN32)
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "${TESSIVANE_WINE_ENV};WINE=${CMAKE_CROSSCOMPILING_EMULATOR}"
      FIXTURES_REQUIRED wine
      RUN_SERIAL TRUE)   # one Wine process at a time keeps the shared wineserver predictable
  endif()
endfunction()

# A script-driven test (end to end): runs a shell script with the Wine environment.
function(tessivane_add_script_test name script)
  cmake_parse_arguments(T "" "TIMEOUT" "ARGS;DEPENDS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND bash ${script} ${T_ARGS})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS e2e)
  if(WIN32)
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "${TESSIVANE_WINE_ENV};WINE=${CMAKE_CROSSCOMPILING_EMULATOR};BUILD_DIR=${CMAKE_BINARY_DIR}"
      FIXTURES_REQUIRED wine RUN_SERIAL TRUE)
  endif()
endfunction()
