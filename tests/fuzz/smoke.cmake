# A run of the song decoder fuzzer from the fuzz build (preset "fuzz",
# build-fuzz/), checked when the test runs: skipped when that build is absent.
# It starts from the corpus kept in tests/fuzz/corpus (replayed without the
# fuzzer by synth_song_corpus_replay_test); new inputs go to a scratch folder
# in this build, never into the source tree (merge them by hand, see
# README). INTRO_FUZZ_SECONDS sets the length.
set(INTRO_FUZZ_SECONDS 60 CACHE STRING "Seconds the fuzz_song_format_smoke test fuzzes the song decoder")
set(song_fuzz_dir ${CMAKE_SOURCE_DIR}/build-fuzz/tests/fuzz)
set(song_fuzz_scratch ${CMAKE_BINARY_DIR}/fuzz_song_format_smoke)
add_test(NAME fuzz_song_format_smoke
  COMMAND sh -c "test -x \"$0/song_format_fuzz\" || exit 77; mkdir -p \"$1\" && exec \"$0/song_format_fuzz\" -max_total_time=$3 -print_final_stats=1 -dict=\"$0/song_format.dict\" \"$1\" \"$2\""
          ${song_fuzz_dir} ${song_fuzz_scratch} ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus ${INTRO_FUZZ_SECONDS})
set_tests_properties(fuzz_song_format_smoke PROPERTIES LABELS slow TIMEOUT 900 SKIP_RETURN_CODE 77)

# The same for the song compiler's text reader, from tests/fuzz/song_source_corpus
# (replayed without the fuzzer by tools_song_source_corpus_replay_test).
set(INTRO_SOURCE_FUZZ_SECONDS 30 CACHE STRING "Seconds the fuzz_song_source_smoke test fuzzes the song source reader")
set(source_fuzz_scratch ${CMAKE_BINARY_DIR}/fuzz_song_source_smoke)
add_test(NAME fuzz_song_source_smoke
  COMMAND sh -c "test -x \"$0/song_source_fuzz\" || exit 77; mkdir -p \"$1\" && exec \"$0/song_source_fuzz\" -max_total_time=$3 -print_final_stats=1 -dict=\"$0/song_source.dict\" \"$1\" \"$2\""
          ${song_fuzz_dir} ${source_fuzz_scratch} ${CMAKE_SOURCE_DIR}/tests/fuzz/song_source_corpus ${INTRO_SOURCE_FUZZ_SECONDS})
set_tests_properties(fuzz_song_source_smoke PROPERTIES LABELS slow TIMEOUT 600 SKIP_RETURN_CODE 77)
