# Tests of a Windows build run under Wine, in a private prefix inside the build
# folder (never ~/.wine): a pure 32-bit one for x86, a 64-bit one for x64. The
# prefix is made on first use.
set(QUORVEX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)

configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE
               @ONLY)
set(QUORVEX_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVEX_WINE_RUN})

# Wine's server and its helper processes must not inherit CTest's output pipes
# (CTest would wait for them): start them once, detached, and stop them at the end.
add_test(NAME wine.start COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh start ${QUORVEX_WINEPREFIX} ${QUORVEX_ARCH})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
add_test(NAME wine.stop COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh stop ${QUORVEX_WINEPREFIX} ${QUORVEX_ARCH})
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)

# quorvex_register_for_tests(<dll target>): registers the DLL in the prefix
# (regsvr32) before the tests that use FIXTURE registered. Registration tests
# that unregister must register again before they end.
function(quorvex_register_for_tests target)
  add_test(NAME register.${target}
           COMMAND ${QUORVEX_WINE_RUN} regsvr32 /s "Z:$<TARGET_FILE:${target}>")
  set_tests_properties(register.${target} PROPERTIES
                       FIXTURES_SETUP registered FIXTURES_REQUIRED wine TIMEOUT 120)
endfunction()

# quorvex_add_script_test(<name> <script> PASS <regex> [FAIL <regex>] [ARGS ...])
# Runs a VBScript or JScript client with cscript against the registered DLLs.
# Wine's cscript ends with 0 even after a script error, so a script passes
# only by printing its final success line.
function(quorvex_add_script_test name script)
  cmake_parse_arguments(ARG "" "PASS;FAIL" "ARGS" ${ARGN})
  string(REPLACE "/" "\\" script_windows "Z:${script}")
  add_test(NAME ${name} COMMAND ${QUORVEX_WINE_RUN} cscript //nologo ${script_windows} ${ARG_ARGS})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "wine;registered"
                       PASS_REGULAR_EXPRESSION "${ARG_PASS}" TIMEOUT 120)
  if(ARG_FAIL)
    set_tests_properties(${name} PROPERTIES FAIL_REGULAR_EXPRESSION "${ARG_FAIL}")
  endif()
endfunction()
