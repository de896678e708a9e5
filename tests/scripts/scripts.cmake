# Tests of the scripts in scripts/, in Python (the language of those scripts).
find_program(PYTHON3 python3 REQUIRED)
add_test(NAME scripts_render_video_test COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/render_video_test.py)
set_tests_properties(scripts_render_video_test PROPERTIES LABELS unit TIMEOUT 120)
