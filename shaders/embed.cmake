# Writes each shaders/*.glsl as `extern const char kShader_<name>[]` (file name
# without .glsl, dots as underscores) plus a header declaring them all. A line
# `#include "<file>.glsl"` is replaced by that file's text (path relative to the
# including file, nested includes resolved too), so each constant is a complete
# program text; shaders/lib/ holds such shared pieces, which are not programs.
# With -DMINIFY=ON comments, indentation, trailing blanks and empty lines
# are dropped from the texts (the show carries them; GLSL does not need them).
# Run as a script (cmake -P), so it sets the policies the project uses.
cmake_minimum_required(VERSION 3.25)
file(GLOB files ${SOURCE_DIR}/*.glsl)
list(SORT files)

# Sets ${out} to the text of `file` with its #include lines resolved. `chain`
# is the list of files being resolved around it, to refuse an include cycle.
function(resolve_includes file chain out)
  if(NOT EXISTS ${file} OR IS_DIRECTORY ${file})
    list(GET chain -1 parent)
    message(FATAL_ERROR "${parent}: included file ${file} does not exist")
  endif()
  if(file IN_LIST chain)
    message(FATAL_ERROR "${file}: included again from itself (${chain})")
  endif()
  list(APPEND chain ${file})
  get_filename_component(dir ${file} DIRECTORY)
  file(READ ${file} rest)
  set(text "")
  # The directive must stand alone on its line; the text is searched piece by
  # piece (GLSL is full of semicolons, so it cannot be a CMake list of lines).
  set(directive "(^|\n)[ \t]*#[ \t]*include[ \t]+\"([^\"\n]*)\"[ \t]*(\r?\n|$)")
  while(rest MATCHES "${directive}")
    set(line "${CMAKE_MATCH_0}")
    set(name "${CMAKE_MATCH_2}")
    set(lead "${CMAKE_MATCH_1}")
    set(tail "${CMAKE_MATCH_3}")
    string(FIND "${rest}" "${line}" at)
    string(SUBSTRING "${rest}" 0 ${at} before)
    string(LENGTH "${line}" length)
    math(EXPR after "${at} + ${length}")
    string(SUBSTRING "${rest}" ${after} -1 rest)
    if(name STREQUAL "")
      message(FATAL_ERROR "${file}: #include without a file name")
    endif()
    resolve_includes(${dir}/${name} "${chain}" piece)
    # The piece replaces the directive's line, keeping the line break after it.
    if(NOT tail STREQUAL "")
      string(REGEX REPLACE "\r?\n$" "" piece "${piece}")
    endif()
    string(APPEND text "${before}${lead}${piece}${tail}")
  endwhile()
  string(APPEND text "${rest}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(NOT HEADER_NAME)
  set(HEADER_NAME shader_sources.h)
endif()
set(cpp "// Generated from shaders/*.glsl; do not edit.\n#include \"shaders/${HEADER_NAME}\"\n")
set(h "// Generated from shaders/*.glsl; do not edit. The GLSL texts of the show.\n#pragma once\n")
foreach(file ${files})
  get_filename_component(name ${file} NAME)
  string(REGEX REPLACE "\\.glsl$" "" name ${name})
  string(REPLACE "." "_" name ${name})
  resolve_includes(${file} "" text)
  if(MINIFY)
    # GLSL has no string literals, so // always starts a comment; lines are
    # kept, for the preprocessor's sake.
    string(REGEX REPLACE "//[^\n]*" "" text "${text}")
    string(REGEX REPLACE "[ \t]+\n" "\n" text "${text}")
    string(REGEX REPLACE "\n[ \t]+" "\n" text "${text}")
    string(REGEX REPLACE "\n\n+" "\n" text "${text}")
  endif()
  string(APPEND cpp "extern const char kShader_${name}[] = R\"glsl(${text})glsl\";\n")
  string(APPEND h "extern const char kShader_${name}[];\n")
endforeach()
file(WRITE ${OUTPUT_CPP} "${cpp}")
file(WRITE ${OUTPUT_H} "${h}")
