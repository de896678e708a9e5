# Writes each shaders/*.glsl as `extern const char kShader_<name>[]` (file name
# without .glsl, dots as underscores) plus a header declaring them all. A line
# `#include "<file>.glsl"` is replaced by that file's text (path relative to the
# including file, nested includes resolved too), so each constant is a complete
# program text; shaders/lib/ holds such shared pieces, which are not programs.
# With -DMINIFY=ON comments, indentation and trailing blanks are dropped
# from the texts (the show carries them; GLSL does not need them); every line
# is kept, so that the line numbers below stay true.
#
# So that a compile log points at the file a line came from, every file gets a
# number f (its place in kShaderFileNames, also written here) and the text
# carries `#line` directives: after the #version line for the program's own
# file, before each included piece, and after it to return to the includer.
# Line l of file f is numbered (f + 1) x 10000 + l: Mesa ignores the source
# number of `#line` in its messages, but keeps the line number, so the file
# travels in the line number (the source number is set to f all the same).
# Before GLSL 3.30 a directive `#line n` makes the next line n + 1, so for
# those versions every number written is one less. locateShaderLog
# (render/programs.h) turns "0:40006(12)" back into "shaders/lib/hsv.glsl:6(12)".
# Run as a script (cmake -P), so it sets the policies the project uses.
cmake_minimum_required(VERSION 3.25)
file(GLOB files ${SOURCE_DIR}/*.glsl)
list(SORT files)
file(GLOB_RECURSE pieces ${SOURCE_DIR}/lib/*.glsl)
list(SORT pieces)
set(numbered ${files} ${pieces})

# Sets ${out} to the number of `file` in kShaderFileNames.
function(file_number file out)
  list(FIND numbered ${file} at)
  if(at LESS 0)
    message(FATAL_ERROR "${file}: included from outside ${SOURCE_DIR} and ${SOURCE_DIR}/lib")
  endif()
  set(${out} ${at} PARENT_SCOPE)
endfunction()

# Sets ${out} to the number of line breaks in `text`.
function(count_lines text out)
  string(REGEX MATCHALL "\n" breaks "${text}")
  list(LENGTH breaks n)
  set(${out} ${n} PARENT_SCOPE)
endfunction()

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
  file_number(${file} number)
  file(READ ${file} rest)
  set(text "")
  set(lines 0)  # line breaks of this file passed so far
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
    get_filename_component(included ${dir}/${name} ABSOLUTE)
    resolve_includes(${included} "${chain}" piece)
    file_number(${included} piece_number)
    # The directive's own line number, and the line after it.
    count_lines("${before}${lead}" passed)
    math(EXPR lines "${lines} + ${passed} + 1")
    math(EXPR next "${lines} + 1")
    # The piece replaces the directive's line between two #line directives:
    # its lines count from 1 in its own file, the includer's go on after it.
    string(REGEX REPLACE "\r?\n$" "" piece "${piece}")
    math(EXPR first "(${piece_number} + 1) * 10000 + 1 - ${line_shift}")
    math(EXPR next "(${number} + 1) * 10000 + ${next} - ${line_shift}")
    string(APPEND text "${before}${lead}#line ${first} ${piece_number}\n${piece}\n#line ${next} ${number}${tail}")
  endwhile()
  string(APPEND text "${rest}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(NOT HEADER_NAME)
  set(HEADER_NAME shader_sources.h)
endif()
set(cpp "// Generated from shaders/*.glsl; do not edit.\n#include \"shaders/${HEADER_NAME}\"\n")
set(h "// Generated from shaders/*.glsl; do not edit. The GLSL texts of the show.\n#pragma once\n")
list(LENGTH numbered file_count)
string(APPEND h "// The file of each #line source number in the texts below, as shaders/<path>.\n")
# A second set of texts (the tools' shaders) names its table apart, so both
# can be linked into one program.
if(NOT FILE_TABLE)
  set(FILE_TABLE kShaderFile)
endif()
string(APPEND h "constexpr int ${FILE_TABLE}Count = ${file_count};\nextern const char* const ${FILE_TABLE}Names[${FILE_TABLE}Count];\n")
if(FILE_TABLE STREQUAL "kShaderFile")
  string(APPEND h "// Line l of file f is numbered (f + 1) x kShaderLineStride + l in the texts.\nconstexpr int kShaderLineStride = 10000;\n")
endif()
string(APPEND cpp "const char* const ${FILE_TABLE}Names[${FILE_TABLE}Count] = {\n")
foreach(file ${numbered})
  file(RELATIVE_PATH relative ${SOURCE_DIR} ${file})
  string(APPEND cpp "    \"shaders/${relative}\",\n")
endforeach()
string(APPEND cpp "};\n")
foreach(file ${files})
  get_filename_component(name ${file} NAME)
  string(REGEX REPLACE "\\.glsl$" "" name ${name})
  string(REPLACE "." "_" name ${name})
  # Before GLSL 3.30 `#line n` numbers the line after it n + 1, from 3.30 on
  # n: line_shift is what the directives leave off.
  file(READ ${file} head LIMIT 200)
  set(line_shift 0)
  if(head MATCHES "^[ \t]*#[ \t]*version[ \t]+([0-9]+)" AND CMAKE_MATCH_1 LESS 330)
    set(line_shift 1)
  endif()
  resolve_includes(${file} "" text)
  # The program's own file number, after the #version line (nothing but
  # comments may come before that), or at the very top without one.
  file_number(${file} number)
  if(text MATCHES "^[ \t]*#[ \t]*version[^\n]*\n")
    string(LENGTH "${CMAKE_MATCH_0}" head)
    string(SUBSTRING "${text}" 0 ${head} version)
    string(SUBSTRING "${text}" ${head} -1 body)
    math(EXPR second "(${number} + 1) * 10000 + 2 - ${line_shift}")
    set(text "${version}#line ${second} ${number}\n${body}")
  else()
    math(EXPR first "(${number} + 1) * 10000 + 1 - ${line_shift}")
    set(text "#line ${first} ${number}\n${text}")
  endif()
  if(MINIFY)
    # GLSL has no string literals, so // always starts a comment.
    string(REGEX REPLACE "//[^\n]*" "" text "${text}")
    string(REGEX REPLACE "[ \t]+\n" "\n" text "${text}")
    string(REGEX REPLACE "\n[ \t]+" "\n" text "${text}")
  endif()
  string(APPEND cpp "extern const char kShader_${name}[] = R\"glsl(${text})glsl\";\n")
  string(APPEND h "extern const char kShader_${name}[];\n")
endforeach()
file(WRITE ${OUTPUT_CPP} "${cpp}")
file(WRITE ${OUTPUT_H} "${h}")
