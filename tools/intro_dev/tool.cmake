# The player reads the shaders and the song's text from a source tree (this
# one unless told otherwise) and compiles the song with songc's code.
target_link_libraries(${parts} PUBLIC tool_replay songc_parts)
target_compile_definitions(${name} PRIVATE INTRO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
