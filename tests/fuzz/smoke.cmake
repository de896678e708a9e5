# A short run of the song decoder fuzzer from the fuzz build (preset "fuzz",
# build-fuzz/), checked when the test runs: skipped when that build is absent.
# New inputs go to a scratch folder in this build, never into the source tree.
set(song_fuzz_dir ${CMAKE_SOURCE_DIR}/build-fuzz/tests/fuzz)
set(song_fuzz_scratch ${CMAKE_BINARY_DIR}/fuzz_song_format_smoke)
add_test(NAME fuzz_song_format_smoke
  COMMAND sh -c "test -x \"$0/song_format_fuzz\" || exit 77; mkdir -p \"$1\" && exec \"$0/song_format_fuzz\" -max_total_time=20 -dict=\"$0/song_format.dict\" \"$1\" \"$0/corpus\""
          ${song_fuzz_dir} ${song_fuzz_scratch})
set_tests_properties(fuzz_song_format_smoke PROPERTIES LABELS slow TIMEOUT 120 SKIP_RETURN_CODE 77)
