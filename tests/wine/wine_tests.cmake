# End-to-end scenarios of the real programs under Wine, registered in the
# native build: -DKVL_WIN_BUILD_DIR=<the Windows build> turns them on. They
# share one Wine prefix under this build and so run one at a time.
if(KVL_WIN_BUILD_DIR)
  if(NOT EXISTS ${KVL_WIN_BUILD_DIR}/CMakeCache.txt)
    message(FATAL_ERROR "KVL_WIN_BUILD_DIR=${KVL_WIN_BUILD_DIR} is not a configured Windows "
      "build: configure it first with -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake")
  endif()
  set(KVL_WINE_SCENARIOS ${CMAKE_CURRENT_LIST_DIR}/scenarios)
  set(KVL_WINE_ENV "KVL_WIN_BUILD_DIR=${KVL_WIN_BUILD_DIR};KVL_WINE_WORK=${CMAKE_BINARY_DIR}/wine-e2e")

  # kvl_wine_test(NAME SCRIPT ARGS...): one scenario, labelled "wine".
  function(kvl_wine_test name script)
    set(path ${KVL_WINE_SCENARIOS}/${script}.sh)
    if(NOT EXISTS ${path})
      message(FATAL_ERROR "Wine scenario ${name}: no ${path}")
    endif()
    add_test(NAME ${name} COMMAND ${path} ${ARGN})
    set_tests_properties(${name} PROPERTIES LABELS wine TIMEOUT 300
      RESOURCE_LOCK kvl_wine_e2e ENVIRONMENT "${KVL_WINE_ENV}")
  endfunction()

  set(regsim $<TARGET_FILE:regsim>)
  foreach(program regnet9 regnet5)
    foreach(scenario start_without_config close_sequence about_box)
      kvl_wine_test(wine_${scenario}_${program} ${scenario} ${program})
    endforeach()
    # Network scenarios and device commands with the simulator.
    foreach(scenario network_monitor setup_dialog net_monitor_follow net_check_restore
        net_modbus_single cmd_setup_line cmd_valve_family cmd_zero_setpoint cmd_old_format)
      kvl_wine_test(wine_${scenario}_${program} ${scenario} ${program} ${regsim})
    endforeach()
  endforeach()
  kvl_wine_test(wine_cmd_mode_regnet5 cmd_mode_regnet5 ${regsim})
  kvl_wine_test(wine_about_box_regsolo about_box regsolo)
  kvl_wine_test(wine_shell_binding shell_binding)
  kvl_wine_test(wine_program_files program_files)
  # The release zip made from the same Windows build.
  add_test(NAME release_package COMMAND ${PROJECT_SOURCE_DIR}/tests/release/package_check.sh)
  set_tests_properties(release_package PROPERTIES LABELS wine TIMEOUT 120
    ENVIRONMENT "KVL_WIN_BUILD_DIR=${KVL_WIN_BUILD_DIR}")
  kvl_wine_test(wine_solo_unconnected solo_unconnected)
  foreach(scenario solo_session solo_commands solo_polling solo_zero_formats solo_settings solo_csv
      regctl_exe)
    kvl_wine_test(wine_${scenario} ${scenario} ${regsim})
  endforeach()
  # The line pulled away while polling, and back again, in all three programs.
  foreach(program regnet9 regnet5 regsolo)
    kvl_wine_test(wine_port_lost_${program} port_lost ${program} ${regsim})
  endforeach()
  # The core and logic suites cross-built with mingw-w64, run under Wine: the
  # same checks where long is 32 bits. Their own prefix, one suite at a time.
  foreach(suite tests/core_tests tests/logic/net_logic_tests tests/logic/solo_logic_tests
      tests/logic/line_logic_tests)
    get_filename_component(name ${suite} NAME)
    add_test(NAME wine_width_${name} COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_suite.sh
      ${CMAKE_BINARY_DIR}/wine-suites ${KVL_WIN_BUILD_DIR}/${suite}.exe)
    set_tests_properties(wine_width_${name} PROPERTIES LABELS wine TIMEOUT 300
      RESOURCE_LOCK kvl_wine_suites)
  endforeach()
  # Two minutes of the soak (scripts/soak.sh): regnet9 on a line whose faults rotate.
  add_test(NAME wine_soak COMMAND ${PROJECT_SOURCE_DIR}/scripts/soak.sh 2 --regsim ${regsim})
  set_tests_properties(wine_soak PROPERTIES LABELS "wine;soak" TIMEOUT 420
    RESOURCE_LOCK kvl_wine_e2e ENVIRONMENT "${KVL_WINE_ENV}")
endif()
