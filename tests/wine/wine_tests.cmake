# End-to-end scenarios of the real programs under Wine, registered in the
# native build: -DKVL_WIN_BUILD_DIR=<the Windows build> turns them on. They
# share one Wine prefix under this build and so run one at a time.
if(KVL_WIN_BUILD_DIR)
  set(KVL_WINE_SCENARIOS ${CMAKE_CURRENT_LIST_DIR}/scenarios)
  foreach(program regnet9 regnet5)
    foreach(scenario start_without_config close_sequence about_box)
      add_test(NAME wine_${scenario}_${program}
        COMMAND ${KVL_WINE_SCENARIOS}/${scenario}.sh ${program})
      set_tests_properties(wine_${scenario}_${program} PROPERTIES
        LABELS wine TIMEOUT 300 RESOURCE_LOCK kvl_wine_e2e
        ENVIRONMENT "KVL_WIN_BUILD_DIR=${KVL_WIN_BUILD_DIR};KVL_WINE_WORK=${CMAKE_BINARY_DIR}/wine-e2e")
    endforeach()
  endforeach()
endif()
