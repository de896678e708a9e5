# capture writes the sound track of its videos through libsndfile.
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
target_link_libraries(${parts} PUBLIC PkgConfig::SNDFILE tool_replay)
target_link_libraries(${parts} PUBLIC bench_shaders)
