# The Windows intro under wine (tests/windows/wine_run.sh): the test build
# intro_probe.exe from the Windows build (preset "windows", build-windows/),
# on a private 1600 x 900 Xvfb. Skipped when that build or wine is absent.
set(wine_exe_dir ${CMAKE_SOURCE_DIR}/build-windows/driver)
add_test(NAME windows_wine_show
  COMMAND ${XVFB_RUN} -a -s "-screen 0 1600x900x24" ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh
          ${wine_exe_dir} ${CMAKE_BINARY_DIR}/windows_wine_show)
set_tests_properties(windows_wine_show PROPERTIES LABELS windows TIMEOUT 300 SKIP_RETURN_CODE 77
  RUN_SERIAL TRUE)
