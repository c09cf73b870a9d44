# Run after a test program is built: asks it for its tests and writes a ctest
# file with one entry per test fixture (GoogleTest's test suite), named
# "<suite>.<Fixture>", which runs that fixture's tests in one process.
#
# Variables: TEST_EXECUTABLE, TEST_SUITE (the program's name), TEST_TIMEOUT,
# TEST_PROCESSORS, CTEST_FILE (written).
execute_process(COMMAND "${TEST_EXECUTABLE}" --gtest_list_tests
                OUTPUT_VARIABLE listing RESULT_VARIABLE failed TIMEOUT 60)
if(failed)
  message(FATAL_ERROR "${TEST_EXECUTABLE} did not list its tests: ${failed}")
endif()
set(extra "")
if(TEST_PROPERTIES_FILE AND EXISTS "${TEST_PROPERTIES_FILE}")
  file(READ "${TEST_PROPERTIES_FILE}" extra)
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(script "")
foreach(line IN LISTS lines)
  # A fixture's line starts in the first column and ends with a dot (a
  # parameterised one may carry a comment after it); tests are indented.
  if(line MATCHES "^([A-Za-z0-9_/]+)\\.( *#.*)?$")
    set(fixture "${CMAKE_MATCH_1}")
    string(APPEND script
      "add_test([==[${TEST_SUITE}.${fixture}]==] [==[${TEST_EXECUTABLE}]==] [==[--gtest_filter=${fixture}.*]==])\n"
      "set_tests_properties([==[${TEST_SUITE}.${fixture}]==] PROPERTIES TIMEOUT ${TEST_TIMEOUT} PROCESSORS ${TEST_PROCESSORS} ${extra})\n")
  endif()
endforeach()
file(WRITE "${CTEST_FILE}" "${script}")
