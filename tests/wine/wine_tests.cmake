# Tests of the Windows build under Wine, registered in the native build:
# -DKVL_WIN_BUILD_DIR=<the Windows build> turns them on.
if(NOT KVL_WIN_BUILD_DIR)
  return()
endif()
if(NOT EXISTS ${KVL_WIN_BUILD_DIR}/CMakeCache.txt)
  message(FATAL_ERROR "KVL_WIN_BUILD_DIR=${KVL_WIN_BUILD_DIR} is not a configured Windows "
    "build: configure it first with -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake")
endif()
set(KVL_WINE_SCENARIOS ${CMAKE_CURRENT_LIST_DIR}/scenarios)

# kvl_wine_test(NAME COMMAND PROGRAM ARGS... [TIMEOUT s] [LOCK name] [LABELS ...]):
# one test labelled "wine" (and LABELS), with the Windows build and the work
# folder of the scenarios in its environment. Tests that share a Wine prefix
# share a LOCK and so run one at a time (default: the scenarios' prefix; 300 s).
function(kvl_wine_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TIMEOUT;LOCK" "COMMAND;LABELS")
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 300)
  endif()
  if(NOT arg_LOCK)
    set(arg_LOCK kvl_wine_e2e)
  endif()
  list(GET arg_COMMAND 0 program)
  if(NOT EXISTS ${program})
    message(FATAL_ERROR "Wine test ${name}: no ${program}")
  endif()
  add_test(NAME ${name} COMMAND ${arg_COMMAND})
  set_tests_properties(${name} PROPERTIES LABELS "wine;${arg_LABELS}" TIMEOUT ${arg_TIMEOUT}
    RESOURCE_LOCK ${arg_LOCK} ENVIRONMENT
    "KVL_WIN_BUILD_DIR=${KVL_WIN_BUILD_DIR};KVL_WINE_WORK=${CMAKE_BINARY_DIR}/wine-e2e")
endfunction()

# End-to-end scenarios of the real programs, driven by kvlauto.exe.
foreach(program regnet9 regnet5)
  foreach(scenario start_without_config close_sequence about_box)
    kvl_wine_test(wine_${scenario}_${program}
      COMMAND ${KVL_WINE_SCENARIOS}/${scenario}.sh ${program})
  endforeach()
  # Network scenarios and device commands with the simulator.
  foreach(scenario network_monitor setup_dialog net_monitor_follow net_check_restore
      net_modbus_single cmd_setup_line cmd_valve_family cmd_zero_setpoint cmd_old_format)
    kvl_wine_test(wine_${scenario}_${program}
      COMMAND ${KVL_WINE_SCENARIOS}/${scenario}.sh ${program} ${KVL_REGSIM})
  endforeach()
endforeach()
kvl_wine_test(wine_cmd_mode_regnet5 COMMAND ${KVL_WINE_SCENARIOS}/cmd_mode_regnet5.sh ${KVL_REGSIM})
kvl_wine_test(wine_about_box_regsolo COMMAND ${KVL_WINE_SCENARIOS}/about_box.sh regsolo)
kvl_wine_test(wine_shell_binding COMMAND ${KVL_WINE_SCENARIOS}/shell_binding.sh)
kvl_wine_test(wine_program_files COMMAND ${KVL_WINE_SCENARIOS}/program_files.sh)
kvl_wine_test(wine_solo_unconnected COMMAND ${KVL_WINE_SCENARIOS}/solo_unconnected.sh)
foreach(scenario solo_session solo_commands solo_polling solo_zero_formats solo_settings solo_csv
    regctl_exe)
  kvl_wine_test(wine_${scenario} COMMAND ${KVL_WINE_SCENARIOS}/${scenario}.sh ${KVL_REGSIM})
endforeach()
# The line pulled away while polling, and back again, in all three programs.
foreach(program regnet9 regnet5 regsolo)
  kvl_wine_test(wine_port_lost_${program}
    COMMAND ${KVL_WINE_SCENARIOS}/port_lost.sh ${program} ${KVL_REGSIM})
endforeach()

# The release zip made from the same Windows build.
kvl_wine_test(release_package COMMAND ${PROJECT_SOURCE_DIR}/tests/release/package_check.sh
  TIMEOUT 120)

# The Win32 serial backend itself against the simulator (a prefix of its own).
kvl_wine_test(wine_serial_link
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/serial/run.sh
    ${KVL_WIN_BUILD_DIR}/tests/wine/serial/link_check.exe ${KVL_REGSIM}
    ${CMAKE_BINARY_DIR}/wine-prefix-serial)

# The core and logic suites cross-built with mingw-w64, run under Wine: the
# same checks where long is 32 bits. Their own prefix, one suite at a time.
foreach(suite tests/core_tests tests/logic/net_logic_tests tests/logic/solo_logic_tests
    tests/logic/line_logic_tests)
  get_filename_component(name ${suite} NAME)
  kvl_wine_test(wine_width_${name}
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_suite.sh ${CMAKE_BINARY_DIR}/wine-suites
      ${KVL_WIN_BUILD_DIR}/${suite}.exe
    LOCK kvl_wine_suites)
endforeach()

# Two minutes of the soak (scripts/soak.sh): regnet9 on a line whose faults rotate.
kvl_wine_test(wine_soak COMMAND ${PROJECT_SOURCE_DIR}/scripts/soak.sh 2 --regsim ${KVL_REGSIM}
  TIMEOUT 420 LABELS soak)
