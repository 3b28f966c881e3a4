# Writes a C++ source holding the bytes of every resource and the table that
# embedded_resources.cpp searches.
#   cmake -D LIST_FILE=... -D OUTPUT=... -P embed_resources.cmake
# LIST_FILE sets ENTRIES, a list of "TYPE|ID|FILE".

include(${LIST_FILE})

# One line of source per 32 bytes keeps the file readable for the compiler's diagnostics.
string(REPEAT "[0-9a-f][0-9a-f]" 32 line_pattern)

set(arrays "")
set(table "")
set(index 0)
foreach(entry IN LISTS ENTRIES)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 type)
  list(GET fields 1 id)
  list(GET fields 2 file)
  file(SIZE ${file} size)
  file(READ ${file} hex HEX)
  string(REGEX REPLACE "(${line_pattern})" "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  if(size EQUAL 0)
    set(bytes "0")
  endif()
  string(APPEND arrays "// ${file}\nalignas(8) const uint8_t data${index}[] = {\n${bytes}};\n\n")
  string(APPEND table "    {\"${type}\", ${id}, data${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(source "// Generated from the pack's files at build time; do not edit.\n\n")
string(APPEND source "#include \"embedded_resource_table.h\"\n\nnamespace resources {\n\nnamespace {\n\n")
string(APPEND source "${arrays}}  // namespace\n\n")
string(APPEND source "const EmbeddedResource embeddedResources[] = {\n${table}};\n\n")
string(APPEND source "const size_t embeddedResourceCount = ${index};\n\n}  // namespace resources\n")

file(WRITE ${OUTPUT} "${source}")
