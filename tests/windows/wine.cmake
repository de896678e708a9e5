# The Windows intro under wine, each on a private 1600 x 900 Xvfb: the test
# build intro_probe.exe of each Windows build (presets "windows" in
# build-windows/ and "windows32" in build-windows32/; wine_run.sh), the
# shipped 32-bit intro.exe, packed and unpacked (wine_intro.sh), and the
# music of both builds
# against this build's songrender (music_bits.sh). Each is skipped when its
# build or wine is absent.
set(wine_builds windows windows32)
foreach(build ${wine_builds})
  add_test(NAME ${build}_wine_show
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1600x900x24" ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh
            ${CMAKE_SOURCE_DIR}/build-${build}/driver ${CMAKE_BINARY_DIR}/${build}_wine_show)
  set_tests_properties(${build}_wine_show PROPERTIES LABELS windows TIMEOUT 300 SKIP_RETURN_CODE 77
    RUN_SERIAL TRUE)
endforeach()
# The shipped file is the packed one; the unpacked image must behave the same.
foreach(test_and_exe windows32_wine_intro:intro.exe windows32_wine_intro_unpacked:exepack/intro.exe)
  string(REPLACE ":" ";" pair ${test_and_exe})
  list(GET pair 0 test)
  list(GET pair 1 exe)
  add_test(NAME ${test}
    COMMAND ${XVFB_RUN} -a -s "-screen 0 1600x900x24" ${CMAKE_CURRENT_LIST_DIR}/wine_intro.sh
            ${CMAKE_SOURCE_DIR}/build-windows32/${exe} ${CMAKE_BINARY_DIR}/${test})
  set_tests_properties(${test} PROPERTIES LABELS windows TIMEOUT 300 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
endforeach()
if(TARGET songrender)
  add_test(NAME windows_music_bits
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/music_bits.sh $<TARGET_FILE:songrender> ${CMAKE_BINARY_DIR}/windows_music_bits
            ${CMAKE_SOURCE_DIR}/build-windows/tests/windows/song_stream.exe
            ${CMAKE_SOURCE_DIR}/build-windows32/tests/windows/song_stream.exe)
  set_tests_properties(windows_music_bits PROPERTIES LABELS windows TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

# The application icon in the shipped files, read from their resources
# (no wine needed; skipped without a Windows build).
add_executable(windows_icon_resource_test ${CMAKE_CURRENT_LIST_DIR}/icon_resource_test.cpp)
target_link_libraries(windows_icon_resource_test PRIVATE test_support)
add_test(NAME windows_icon_resource_test COMMAND windows_icon_resource_test)
set_tests_properties(windows_icon_resource_test PROPERTIES LABELS windows TIMEOUT 60
  SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
