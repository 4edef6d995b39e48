# Read by CTest before it runs any test (the top directory's TEST_INCLUDE_FILES):
# every program a test starts, the simulator under the Wine scenarios included,
# stops at the first report of the address, leak, undefined-behaviour or thread
# sanitizer and exits with a failure, so no report can scroll by in a passing
# test. Other options already in the environment are kept; these come last and
# so win.
foreach(var ASAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS)
  set(ours "halt_on_error=1")
  if(var STREQUAL "UBSAN_OPTIONS")
    string(APPEND ours ":print_stacktrace=1")
  endif()
  if(DEFINED ENV{${var}} AND NOT "$ENV{${var}}" STREQUAL "")
    set(ENV{${var}} "$ENV{${var}}:${ours}")
  else()
    set(ENV{${var}} "${ours}")
  endif()
endforeach()
