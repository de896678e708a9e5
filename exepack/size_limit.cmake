# Prints the size of FILE, and fails (removing FILE, so that the next build
# makes it again) when it is larger than LIMIT bytes.
file(SIZE ${FILE} size)
if(size GREATER LIMIT)
  file(REMOVE ${FILE})
  message(FATAL_ERROR "${FILE}: ${size} bytes, over the limit of ${LIMIT}")
endif()
message(STATUS "${FILE}: ${size} bytes (limit ${LIMIT})")
