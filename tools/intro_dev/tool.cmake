# The player reads the shaders and the song's text from a source tree (this
# one unless told otherwise), compiles the song with songc's code and shows
# the level of what plays with the song report's loudness meter.
target_link_libraries(${parts} PUBLIC tool_replay songc_parts meters)
target_compile_definitions(${name} PRIVATE INTRO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
