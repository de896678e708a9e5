# The report compiles the song's source as songc does and measures it with the meters.
target_link_libraries(${parts} PUBLIC songc_parts meters)
