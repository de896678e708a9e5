# Fuzz runs from the fuzz build (preset "fuzz", build-fuzz/), checked when the
# test runs: skipped when that build is absent. Each starts from a corpus kept
# in the source tree (replayed without the fuzzer by a unit test); new inputs
# go to a scratch folder in this build, never into the source tree (merge them
# by hand, see README). The cache variable named `seconds_var` sets the length.
set(song_fuzz_dir ${CMAKE_SOURCE_DIR}/build-fuzz/tests/fuzz)
function(fuzz_smoke_test name fuzzer dictionary corpus seconds_var)
  set(scratch ${CMAKE_BINARY_DIR}/${name})
  add_test(NAME ${name}
    COMMAND sh -c "test -x \"$0/${fuzzer}\" || exit 77; mkdir -p \"$1\" && exec \"$0/${fuzzer}\" -max_total_time=$3 -print_final_stats=1 -dict=\"$0/${dictionary}\" \"$1\" \"$2\""
            ${song_fuzz_dir} ${scratch} ${CMAKE_SOURCE_DIR}/tests/fuzz/${corpus} ${${seconds_var}})
  set_tests_properties(${name} PROPERTIES LABELS slow TIMEOUT 600 SKIP_RETURN_CODE 77)
endfunction()

# The song decoder (synth_song_corpus_replay_test replays its corpus).
set(INTRO_FUZZ_SECONDS 30 CACHE STRING "Seconds the fuzz_song_format_smoke test fuzzes the song decoder")
fuzz_smoke_test(fuzz_song_format_smoke song_format_fuzz song_format.dict corpus INTRO_FUZZ_SECONDS)

# The song compiler's text reader (tools_song_source_corpus_replay_test replays its corpus).
set(INTRO_SOURCE_FUZZ_SECONDS 30 CACHE STRING "Seconds the fuzz_song_source_smoke test fuzzes the song source reader")
fuzz_smoke_test(fuzz_song_source_smoke song_source_fuzz song_source.dict song_source_corpus INTRO_SOURCE_FUZZ_SECONDS)
