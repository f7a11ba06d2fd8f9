# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a C++ source holding every res/bitmaps/<id>.bmp as a byte array and a
# table of them sorted by identifier.
#   cmake -DINPUT_DIR=<res/bitmaps> -DOUTPUT=<file.cpp> -P embed_bitmaps.cmake
file(GLOB files ${INPUT_DIR}/*.bmp)
list(FILTER files INCLUDE REGEX "/[0-9]+\\.bmp$")
list(SORT files COMPARE NATURAL)

set(body "// Generated from res/bitmaps by res/embed_bitmaps.cmake; do not edit.\n")
string(APPEND body "#include \"res/bitmap_table.h\"\n\nnamespace solvari {\nnamespace {\n\n")
set(table "")
set(count 0)
foreach(f IN LISTS files)
  get_filename_component(id ${f} NAME_WE)
  file(READ ${f} hex HEX)
  string(LENGTH "${hex}" len)
  math(EXPR size "${len} / 2")
  if(size EQUAL 0)
    message(FATAL_ERROR "${f} is empty")
  endif()
  string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])"
         "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(APPEND body "const std::uint8_t kBitmap${id}[${size}] = {\n${hex}\n};\n\n")
  string(APPEND table "    {${id}, kBitmap${id}, sizeof kBitmap${id}},\n")
  math(EXPR count "${count} + 1")
endforeach()

if(count EQUAL 0)
  message(FATAL_ERROR "no bitmaps found in ${INPUT_DIR}")
endif()
string(APPEND body "}  // namespace\n\nconst BitmapEntry kBitmapTable[] = {\n${table}};\n")
string(APPEND body "const std::size_t kBitmapTableSize = ${count};\n\n}  // namespace solvari\n")

file(WRITE ${OUTPUT} "${body}")
