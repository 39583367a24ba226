# Writes a C++ source file that holds files as byte arrays, each returned by a
# function of its own as a std::string_view.
#
#   cmake -DOUTPUT=out.cpp -DNAMESPACE=a::b -DHEADER=path/to/header.h
#         "-DENTRIES=FunctionName=path;OtherName=path" -P embed_files.cmake
cmake_minimum_required(VERSION 3.22)

foreach(var OUTPUT NAMESPACE HEADER ENTRIES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "embed_files.cmake: ${var} is not set")
  endif()
endforeach()

set(text "// Generated at build time by cmake/embed_files.cmake; edit the files named below.\n")
string(APPEND text "#include \"${HEADER}\"\n\nnamespace ${NAMESPACE} {\nnamespace {\n\n")
set(functions "")
foreach(entry IN LISTS ENTRIES)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  # One byte more than the file, so that an empty file still gives an array.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line)
  string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  string(APPEND text "// ${path}\nconstexpr unsigned char k${name}[] = {\n    ${bytes}0x00};\n\n")
  string(APPEND functions "std::string_view ${name}() {\n"
         "  return {reinterpret_cast<const char*>(k${name}), ${size}};\n}\n\n")
endforeach()
string(APPEND text "}  // namespace\n\n${functions}}  // namespace ${NAMESPACE}\n")

# Rewritten only when it changes, so that nothing is rebuilt without need.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
