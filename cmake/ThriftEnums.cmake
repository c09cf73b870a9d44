# Gives every enum of the generated service types the fixed underlying type
# int32_t, the type that carries it on the wire. A service may send any
# number where an enum travels (a code this client does not know yet); with
# a fixed type every such number is a value of the enum, where without one a
# number outside the range of the enumerators is undefined once it is read.
#
# Run by the build right after the service compiler:
#   cmake -DFILE=<generated types header> -P ThriftEnums.cmake
file(READ "${FILE}" text)
string(REPLACE "  enum type {" "  enum type : int32_t {" fixed "${text}")
if(fixed STREQUAL text)
  message(FATAL_ERROR "${FILE}: no enum of the expected form \"  enum type {\"")
endif()
file(WRITE "${FILE}" "${fixed}")
