# Makes every other form of the tables in resources/ (statuses.txt,
# parameters.txt) and of the project version:
#   OUT/include/quvxvr.h            the public header, its status block filled in
#   OUT/tables/status_table.inc     XVR_STATUS_MAP, XVR_STATUS_CALL_MAP (C/C++)
#   OUT/tables/param_table.inc      XVR_PARAM_MAP, XVR_PARAM_DRIVERS (C/C++)
#   OUT/xvr.bash                    the bash completion of xvr
#   OUT/committed/...               files kept in the source tree because they
#                                   must exist without a build (the Python
#                                   package, docs/parameters.md); a test
#                                   compares them, the target update_tables
#                                   copies them over
# Usage: cmake -DSOURCE=<tree> -DOUT=<dir> -DVERSION=<x.y.z> [-DCHECK=<files>] -P GenerateTables.cmake
# CHECK: fail unless these files of the tree (relative paths, separated by
# commas) equal what the tables make now.
cmake_minimum_required(VERSION 3.25)

set(_note_table "Generated from resources/%s by cmake/GenerateTables.cmake; do not edit.")

# Writes only a changed file, so that an unchanged table rebuilds nothing.
function(_emit path content)
  string(REPLACE "<semi>" ";" content "${content}")
  if(EXISTS "${path}")
    file(READ "${path}" old)
    if(old STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE "${path}" "${content}")
endfunction()

# The lines of a table, comments and blank lines left out.  A ";" in the text
# is kept as <semi> while the lines are a CMake list.
function(_read_table file out)
  file(READ "${file}" text)
  string(REPLACE ";" "<semi>" text "${text}")
  string(REPLACE "\r" "" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(kept "")
  foreach(line IN LISTS lines)
    if(NOT line STREQUAL "" AND NOT line MATCHES "^#")
      list(APPEND kept "${line}")
    endif()
  endforeach()
  set(${out} "${kept}" PARENT_SCOPE)
endfunction()

# A C or Python string literal's inside.
function(_quoted text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(_pad text width out)
  string(LENGTH "${text}" n)
  while(n LESS width)
    string(APPEND text " ")
    math(EXPR n "${n} + 1")
  endwhile()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# "/* text */" broken into lines of at most 100 columns, the first starting at
# column `indent`.
function(_c_comment text indent out)
  string(REPLACE " " ";" words "${text}")
  string(REPEAT " " ${indent} blank)
  set(result "/*")
  set(column ${indent})
  math(EXPR column "${column} + 2")
  foreach(word IN LISTS words)
    string(REPLACE "<semi>" ";" plain " ${word}")
    string(LENGTH "${plain}" n)
    math(EXPR next "${column} + ${n}")
    if(next GREATER 97 AND NOT result STREQUAL "/*")
      string(APPEND result "\n${blank}  ")
      math(EXPR column "${indent} + 2")
      math(EXPR next "${column} + ${n}")
    endif()
    string(APPEND result " ${word}")
    set(column ${next})
  endforeach()
  set(${out} "${result} */" PARENT_SCOPE)
endfunction()

# --- Statuses -----------------------------------------------------------------
_read_table("${SOURCE}/resources/statuses.txt" lines)
set(defines "")
set(c_map "")
set(c_calls "")
set(py_values "")
set(py_all "")
set(py_meanings "")
set(py_calls "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\t([a-z ]+)\t([^\t]+)$")
    set(calls "${CMAKE_MATCH_1}")
    _quoted("${CMAKE_MATCH_2}" meaning)
    if(NOT name)
      message(FATAL_ERROR "statuses.txt: a meaning for some calls before any status: ${line}")
    endif()
    string(APPEND c_calls "    XX(${name}, \" ${calls} \", \"${meaning}\") \\\n")
    string(REPLACE " " ";" call_list "${calls}")
    foreach(call IN LISTS call_list)
      if(NOT call MATCHES "^(init|open|close|read|write|get|set|catalogue)$")
        message(FATAL_ERROR "statuses.txt: unknown call '${call}' in: ${line}")
      endif()
      string(APPEND py_calls "    (\"${call}\", ${name}): \"${meaning}\",\n")
    endforeach()
  elseif(line MATCHES "^(-?[0-9]+)\t(XVR_[A-Z0-9_]+)\t(kStatus[A-Za-z0-9]+)\t([^\t]+)$")
    set(value "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    set(enum "${CMAKE_MATCH_3}")
    set(text "${CMAKE_MATCH_4}")
    _quoted("${text}" meaning)
    if(value LESS 0)
      set(c_value "(${value})")
    else()
      set(c_value "${value}")
    endif()
    _pad("#define ${name}" 35 head)
    _pad("${c_value}" 5 c_value_padded)
    _c_comment("${text}" 41 comment)
    string(APPEND defines "${head}${c_value_padded} ${comment}\n")
    string(APPEND c_map "    XX(${value}, ${name}, ${enum}, \"${meaning}\") \\\n")
    string(APPEND py_values "${name} = ${value}\n")
    string(APPEND py_all "    \"${name}\",\n")
    string(APPEND py_meanings "    ${name}: \"${meaning}\",\n")
  else()
    message(FATAL_ERROR "statuses.txt: not a status line: ${line}")
  endif()
endforeach()
string(REGEX REPLACE "\n$" "" defines "${defines}")

string(REPLACE "%s" "statuses.txt" note "${_note_table}")
file(READ "${SOURCE}/include/quvxvr.h.in" header)
string(REPLACE "@XVR_STATUS_DEFINES@" "${defines}" header "${header}")
string(REPLACE "@XVR_GENERATED_NOTE@"
       "Generated from include/quvxvr.h.in and resources/statuses.txt; edit those." header "${header}")
_emit("${OUT}/include/quvxvr.h" "${header}")

_emit("${OUT}/tables/status_table.inc" "// ${note}
// XX(value, public name, internal name, English meaning): every status.
#define XVR_STATUS_MAP(XX) \\
${c_map}
// XX(public name, \" calls \", English meaning): the meaning for these calls
// (init open close read write get set catalogue), where the call tells two
// meanings of a status apart.
#define XVR_STATUS_CALL_MAP(XX) \\
${c_calls}
")

_emit("${OUT}/committed/python/quvxvr/status.py" "\"\"\"The library's statuses under the names of its public header, with an
English sentence for each (the library's own texts are German).

${note}
\"\"\"

${py_values}
__all__ = [
${py_all}    \"status_meaning\",
    \"status_name\",
]

_MEANINGS = {
${py_meanings}}

# Where the operation tells two meanings of a status apart.
_MEANINGS_IN = {
${py_calls}}

_NAMES = {value: name for name, value in globals().items() if name.startswith(\"XVR_\")}


def status_name(status: int) -> str:
    \"\"\"The header's name of a status (\"XVR_ERR_TRANSFER\"), or the number as text.\"\"\"
    return _NAMES.get(status, str(status))


def status_meaning(status: int, operation: str = \"\") -> str:
    \"\"\"An English sentence for a status; operation (\"open\", \"close\", ...) picks
    the meaning of a status that has two.\"\"\"
    meaning = _MEANINGS_IN.get((operation, status))
    return meaning if meaning is not None else _MEANINGS.get(status, \"unknown status\")
")

# --- Parameters -------------------------------------------------------------
_read_table("${SOURCE}/resources/parameters.txt" lines)
set(drivers "")
set(c_map "")
set(py_rows "")
set(md_rows "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^([A-Z][A-Z0-9_]*)\t([^\t]+)\t(get|set|get set|wait set)\t([^\t]+)\t([^\t]+)\t([^\t]*)$")
    message(FATAL_ERROR "parameters.txt: not a parameter line: ${line}")
  endif()
  set(name "${CMAKE_MATCH_1}")
  set(on "${CMAKE_MATCH_2}")
  set(access "${CMAKE_MATCH_3}")
  set(rule "${CMAKE_MATCH_4}")
  set(values "${CMAKE_MATCH_5}")
  set(default "${CMAKE_MATCH_6}")
  if(NOT rule MATCHES "^(ms [0-9]+|number [0-9]+ [0-9]+|words [^ ].*|delimiter|any|-)$")
    message(FATAL_ERROR "parameters.txt: unknown rule '${rule}' in: ${line}")
  endif()
  if((access MATCHES "set" AND rule STREQUAL "-") OR (NOT access MATCHES "set" AND NOT rule STREQUAL "-"))
    message(FATAL_ERROR "parameters.txt: a parameter that can be set needs a rule, one that cannot none: ${line}")
  endif()
  string(REPLACE "," ";" on_list "${on}")
  set(py_on "")
  foreach(driver IN LISTS on_list)
    if(NOT driver IN_LIST drivers)
      list(APPEND drivers "${driver}")
    endif()
    string(APPEND py_on "\"${driver}\", ")
    list(APPEND params_of_${driver} "${name}")
    if(rule MATCHES "^words (.*)$")
      string(REGEX REPLACE ":<[^>]*>" ":" words "${CMAKE_MATCH_1}")
      set(words_${driver}_${name} "${words}")
    endif()
  endforeach()
  string(REPLACE " " "\", \"" py_access "${access}")
  _quoted("${values}" q_values)
  _quoted("${default}" q_default)
  string(REPLACE "," "|" c_on "|${on}|")
  string(APPEND c_map "    XX(\"${name}\", \"${c_on}\", \"${access}\", \"${rule}\", \"${q_values}\", \"${q_default}\") \\\n")
  string(APPEND py_rows "    Parameter(\"${name}\", (${py_on}), (\"${py_access}\",), \"${rule}\",\n"
                        "              \"${q_values}\",\n              \"${q_default}\"),\n")
  string(REPLACE "," ", " md_on "${on}")
  set(md_access_get "get only")
  set(md_access_set "set only")
  set("md_access_get set" "get, set")
  set("md_access_wait set" "get (waits), set")
  set(md_access "${md_access_${access}}")
  foreach(var values default)
    string(REPLACE "<semi>" ";" md_${var} "${${var}}")
    string(REPLACE "|" "\\|" md_${var} "${md_${var}}")
    string(REPLACE "<" "&lt;" md_${var} "${md_${var}}")
  endforeach()
  if(NOT md_default STREQUAL "")
    set(md_default "`${md_default}`")
  endif()
  string(APPEND md_rows "| `${name}` | ${md_on} | ${md_access} | ${md_values} | ${md_default} |\n")
endforeach()

string(REPLACE "%s" "parameters.txt" note "${_note_table}")
set(c_drivers "")
set(py_drivers "")
set(sh_drivers "")
set(sh_params "")
set(sh_values "")
foreach(driver IN LISTS drivers)
  string(APPEND c_drivers "\"${driver}\", ")
  string(APPEND py_drivers "\"${driver}\", ")
  string(APPEND sh_drivers " \"${driver}\"")
  string(TOUPPER "${driver}" upper)
  list(REMOVE_DUPLICATES params_of_${driver})
  list(JOIN params_of_${driver} " " names)
  string(APPEND sh_params "        \"${upper}\") echo \"${names}\" ;;\n")
  foreach(name IN LISTS params_of_${driver})
    if(DEFINED words_${driver}_${name})
      string(APPEND sh_values "        \"${upper} ${name}\") echo \"${words_${driver}_${name}}\" ;;\n")
    endif()
  endforeach()
endforeach()
string(STRIP "${sh_drivers}" sh_drivers)

_emit("${OUT}/tables/param_table.inc" "// ${note}
// XX(name, \"|driver|...|\", access, rule, values, default): every parameter.
#define XVR_PARAM_MAP(XX) \\
${c_map}
// The drivers, in the order of the table.
#define XVR_PARAM_DRIVERS ${c_drivers}
")

_emit("${OUT}/committed/python/quvxvr/param_table.py" "\"\"\"Every parameter of every driver: ${note}\"\"\"
from typing import NamedTuple, Tuple


class Parameter(NamedTuple):
    name: str
    drivers: Tuple[str, ...]
    access: Tuple[str, ...]  # \"get\", \"set\"; \"wait\": a get that waits for an event
    rule: str                # what a set takes: \"ms MIN\", \"number MIN MAX\", \"words ...\", \"delimiter\", \"any\", \"-\"
    values: str              # for people
    default: str             # after the open, where there is one


DRIVERS = (${py_drivers})

PARAMETERS = (
${py_rows})
")

_emit("${OUT}/committed/docs/parameters.md" "# Driver parameters

<!-- ${note} -->

Every parameter of every driver, as `flXVRParamGet` and `flXVRParamSet` take
it. Names and words are matched regardless of case; values are texts. A
driver answers a name it does not have with `XVR_ERR_UNKNOWN_PARAM` (-11).
`xvr params DRIVER` prints the same table for one driver.

| Parameter | Drivers | Get / set | Values | After the open |
|---|---|---|---|---|
${md_rows}")

file(READ "${SOURCE}/tools/xvr/xvr.bash.in" bash)
string(REPLACE "@XVR_GENERATED_NOTE@" "Generated from tools/xvr/xvr.bash.in and resources/parameters.txt; edit those."
       bash "${bash}")
string(REPLACE "@XVR_DRIVERS@" "${sh_drivers}" bash "${bash}")
string(REPLACE "@XVR_PARAM_CASES@" "${sh_params}" bash "${bash}")
string(REPLACE "@XVR_VALUE_CASES@" "${sh_values}" bash "${bash}")
_emit("${OUT}/xvr.bash" "${bash}")

# --- Version ------------------------------------------------------------------
_emit("${OUT}/committed/python/quvxvr/_version.py"
      "# Generated from the project version in CMakeLists.txt by cmake/GenerateTables.cmake; do not edit.\n__version__ = \"${VERSION}\"\n")

# --- The files kept in the tree -------------------------------------------------
if(CHECK)
  string(REPLACE "," ";" check "${CHECK}")
  set(stale "")
  foreach(f IN LISTS check)
    file(READ "${OUT}/committed/${f}" made)
    set(kept "")
    if(EXISTS "${SOURCE}/${f}")
      file(READ "${SOURCE}/${f}" kept)
    endif()
    if(NOT made STREQUAL kept)
      list(APPEND stale "${f}")
    endif()
  endforeach()
  if(stale)
    list(JOIN stale ", " stale)
    message(FATAL_ERROR "${stale}: not what resources/ and the project version make now; "
                        "run 'cmake --build <build dir> --target update_tables' and commit the result")
  endif()
endif()
