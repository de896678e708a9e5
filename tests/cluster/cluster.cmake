# The chunked video on a real single-node Slurm started by the test itself
# (slurm-wlm and munge, everything on loopback and in a temporary folder):
# the whole show at 192 x 108, 10 frames a second, as a job array of four
# chunks and a join job, against one process; then a chunk killed mid-render
# and a re-run that renders it alone. Capture draws offscreen (EGL), so no X
# server is needed.
find_program(PYTHON3 python3 REQUIRED)
add_test(NAME cluster_render_video
  COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/render_video_cluster_test.py --build ${CMAKE_BINARY_DIR})
set_tests_properties(cluster_render_video PROPERTIES LABELS cluster TIMEOUT 1500 RUN_SERIAL TRUE)
