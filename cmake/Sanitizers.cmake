# The sanitizer build's test environment: the options of
# tools/sanitizers/options for every test entry, with every report also
# written to <build>/sanitizer-reports/, where the entry "sanitizer_reports"
# (run after all others) finds the reports of programs the tests started.
#
# lum_sanitize_test(<test>) gives a test entry the options and the report
# check; tests/CMakeLists.txt calls it for every suite.

set(LUM_SANITIZER_DIR ${CMAKE_SOURCE_DIR}/tools/sanitizers)
set(LUM_SANITIZER_REPORTS ${CMAKE_BINARY_DIR}/sanitizer-reports)
set(LUM_SANITIZER_ENV "")
file(STRINGS ${LUM_SANITIZER_DIR}/options _lines REGEX "^[A-Z_]+=")
foreach(_line IN LISTS _lines)
  string(REPLACE "@DIR@" "${LUM_SANITIZER_DIR}" _line "${_line}")
  string(REGEX MATCH "^([A-Z_]+)=(.*)$" _ "${_line}")
  list(APPEND LUM_SANITIZER_ENV
       "${CMAKE_MATCH_1}=set:${CMAKE_MATCH_2}:log_path=${LUM_SANITIZER_REPORTS}/report:log_exe_name=1")
endforeach()
# GLib's slices come from malloc, so that the sanitizer sees them too.
list(APPEND LUM_SANITIZER_ENV "G_SLICE=set:always-malloc")

# The same as properties text for a generated ctest file (one entry per
# fixture): ENVIRONMENT_MODIFICATION and FIXTURES_REQUIRED, quoted.
function(lum_sanitize_properties out)
  set(text "ENVIRONMENT_MODIFICATION [==[${LUM_SANITIZER_ENV}]==] FIXTURES_REQUIRED sanitizer_reports")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(lum_sanitize_test name)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT_MODIFICATION "${LUM_SANITIZER_ENV}"
                                          FIXTURES_REQUIRED sanitizer_reports)
endfunction()

# Run before the first and after the last test of any ctest run.
function(lum_sanitizer_report_tests)
  add_test(NAME sanitizer_reports_clear
           COMMAND ${CMAKE_COMMAND} -E rm -rf ${LUM_SANITIZER_REPORTS})
  add_test(NAME sanitizer_reports
           COMMAND ${CMAKE_COMMAND} -DREPORTS=${LUM_SANITIZER_REPORTS} -P ${CMAKE_SOURCE_DIR}/cmake/SanitizerReports.cmake)
  set_tests_properties(sanitizer_reports_clear PROPERTIES FIXTURES_SETUP sanitizer_reports)
  set_tests_properties(sanitizer_reports PROPERTIES FIXTURES_CLEANUP sanitizer_reports)
endfunction()
