# End-to-end scenarios of the real programs under Wine, registered in the
# native build: -DKVL_WIN_BUILD_DIR=<the Windows build> turns them on. They
# share one Wine prefix under this build and so run one at a time.
if(KVL_WIN_BUILD_DIR)
  set(KVL_WINE_SCENARIOS ${CMAKE_CURRENT_LIST_DIR}/scenarios)
  set(KVL_WINE_ENV "KVL_WIN_BUILD_DIR=${KVL_WIN_BUILD_DIR};KVL_WINE_WORK=${CMAKE_BINARY_DIR}/wine-e2e")
  foreach(program regnet9 regnet5)
    set(scenarios start_without_config close_sequence about_box)
    if(TARGET regsim)
      list(APPEND scenarios network_monitor setup_dialog)
    endif()
    foreach(scenario ${scenarios})
      set(name wine_${scenario}_${program})
      if(scenario MATCHES "network_monitor|setup_dialog")
        add_test(NAME ${name} COMMAND ${KVL_WINE_SCENARIOS}/${scenario}.sh ${program}
          $<TARGET_FILE:regsim>)
      else()
        add_test(NAME ${name} COMMAND ${KVL_WINE_SCENARIOS}/${scenario}.sh ${program})
      endif()
      set_tests_properties(${name} PROPERTIES LABELS wine TIMEOUT 300
        RESOURCE_LOCK kvl_wine_e2e ENVIRONMENT "${KVL_WINE_ENV}")
    endforeach()
  endforeach()
  add_test(NAME wine_shell_binding COMMAND ${KVL_WINE_SCENARIOS}/shell_binding.sh)
  set_tests_properties(wine_shell_binding PROPERTIES LABELS wine TIMEOUT 300
    RESOURCE_LOCK kvl_wine_e2e ENVIRONMENT "${KVL_WINE_ENV}")
  if(TARGET regsim)
    add_test(NAME wine_solo_session
      COMMAND ${KVL_WINE_SCENARIOS}/solo_session.sh $<TARGET_FILE:regsim>)
    set_tests_properties(wine_solo_session PROPERTIES LABELS wine TIMEOUT 300
      RESOURCE_LOCK kvl_wine_e2e ENVIRONMENT "${KVL_WINE_ENV}")
  endif()
  add_test(NAME wine_solo_unconnected COMMAND ${KVL_WINE_SCENARIOS}/solo_unconnected.sh)
  set_tests_properties(wine_solo_unconnected PROPERTIES LABELS wine TIMEOUT 300
    RESOURCE_LOCK kvl_wine_e2e ENVIRONMENT "${KVL_WINE_ENV}")
  if(TARGET regsim)
    foreach(scenario solo_commands solo_polling solo_zero_formats solo_settings)
      add_test(NAME wine_${scenario}
        COMMAND ${KVL_WINE_SCENARIOS}/${scenario}.sh $<TARGET_FILE:regsim>)
      set_tests_properties(wine_${scenario} PROPERTIES LABELS wine TIMEOUT 300
        RESOURCE_LOCK kvl_wine_e2e ENVIRONMENT "${KVL_WINE_ENV}")
    endforeach()
  endif()
  # Network scenarios with the simulator, each on both network programs.
  if(TARGET regsim)
    foreach(program regnet9 regnet5)
      foreach(scenario net_monitor_follow net_check_restore net_modbus_single)
        add_test(NAME wine_${scenario}_${program}
          COMMAND ${KVL_WINE_SCENARIOS}/${scenario}.sh ${program} $<TARGET_FILE:regsim>)
        set_tests_properties(wine_${scenario}_${program} PROPERTIES LABELS wine TIMEOUT 300
          RESOURCE_LOCK kvl_wine_e2e ENVIRONMENT "${KVL_WINE_ENV}")
      endforeach()
    endforeach()
  endif()
  # Device commands from the menus and the setup dialog against the simulator.
  if(TARGET regsim)
    foreach(program regnet9 regnet5)
      foreach(scenario cmd_setup_line cmd_valve_family cmd_zero_setpoint cmd_old_format)
        add_test(NAME wine_${scenario}_${program}
          COMMAND ${KVL_WINE_SCENARIOS}/${scenario}.sh ${program} $<TARGET_FILE:regsim>)
        set_tests_properties(wine_${scenario}_${program} PROPERTIES LABELS wine TIMEOUT 300
          RESOURCE_LOCK kvl_wine_e2e ENVIRONMENT "${KVL_WINE_ENV}")
      endforeach()
    endforeach()
    add_test(NAME wine_cmd_mode_regnet5
      COMMAND ${KVL_WINE_SCENARIOS}/cmd_mode_regnet5.sh $<TARGET_FILE:regsim>)
    set_tests_properties(wine_cmd_mode_regnet5 PROPERTIES LABELS wine TIMEOUT 300
      RESOURCE_LOCK kvl_wine_e2e ENVIRONMENT "${KVL_WINE_ENV}")
  endif()
endif()
