# Turns resources/error_texts.txt into the two forms the builds compile:
#   OUT_INC  entries {id, u"text"} for the Linux table
#   OUT_RC   a German STRINGTABLE for the Windows resource
# Usage: cmake -DIN=... -DOUT_INC=... -DOUT_RC=... -P GenerateTexts.cmake
file(STRINGS "${IN}" lines ENCODING UTF-8)
set(inc "// Generated from error_texts.txt; do not edit.\n")
set(rc "// Generated from error_texts.txt; do not edit.\n#pragma code_page(65001)\nLANGUAGE 0x07, 0x01\nSTRINGTABLE\nBEGIN\n")
foreach(line IN LISTS lines)
  if(line MATCHES "^#" OR line STREQUAL "")
    continue()
  endif()
  if(NOT line MATCHES "^([0-9]+)\t(.*)$")
    message(FATAL_ERROR "bad line in ${IN}: ${line}")
  endif()
  set(id "${CMAKE_MATCH_1}")
  set(text "${CMAKE_MATCH_2}")
  string(REPLACE "\"" "\\\"" ctext "${text}")
  string(REPLACE "\"" "\"\"" rctext "${text}")
  string(APPEND inc "{${id}, u\"${ctext}\"},\n")
  string(APPEND rc "  ${id}, \"${rctext}\"\n")
endforeach()
string(APPEND rc "END\n")
file(WRITE "${OUT_INC}" "${inc}")
file(WRITE "${OUT_RC}" "${rc}")
