# Fails, printing them, when the sanitizer build's runs left reports
# (cmake -DREPORTS=<folder> -P SanitizerReports.cmake).
file(GLOB reports "${REPORTS}/report*")
if(NOT reports)
  message(STATUS "No sanitizer reports")
  return()
endif()
foreach(report IN LISTS reports)
  file(READ "${report}" text)
  message("==== ${report}\n${text}")
endforeach()
list(LENGTH reports count)
message(FATAL_ERROR "${count} sanitizer report(s)")
