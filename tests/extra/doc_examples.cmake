# Every example of README.md and docs/*.md is taken from its page and run
# against the simulator (tests/tools/doc_examples.py says how), so the pages
# cannot rot.  C examples are built here like any host program.
if(NOT XVR_PYTHON)
  message(WARNING "No Python: the examples of the documentation are not tested")
  return()
endif()
file(GLOB XVR_DOC_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md)
set(XVR_DOC_PAGES ${CMAKE_SOURCE_DIR}/README.md ${XVR_DOC_PAGES})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${XVR_DOC_PAGES})
set(XVR_DOC_EXAMPLES ${CMAKE_BINARY_DIR}/generated/doc-examples)
set(XVR_DOC_TOOL ${CMAKE_SOURCE_DIR}/tests/tools/doc_examples.py)
execute_process(COMMAND ${XVR_PYTHON} ${XVR_DOC_TOOL} extract ${XVR_DOC_EXAMPLES} ${XVR_DOC_PAGES}
                OUTPUT_VARIABLE _examples ERROR_VARIABLE _error RESULT_VARIABLE _failed)
if(_failed)
  message(FATAL_ERROR "The examples of the documentation: ${_error}")
endif()
string(REPLACE "\n" ";" _examples "${_examples}")
find_package(Threads REQUIRED)
foreach(example IN LISTS _examples)
  if(NOT example)
    continue()
  endif()
  string(REGEX REPLACE "[^A-Za-z0-9_]" "_" id "${example}")
  set(program)
  if(example MATCHES "\\.c$")
    add_executable(xvr_doc_${id} ${XVR_DOC_EXAMPLES}/${example})
    target_link_libraries(xvr_doc_${id} PRIVATE quvxvr Threads::Threads)
    set(program $<TARGET_FILE:xvr_doc_${id}>)
  elseif(example MATCHES "\\.py$" AND (XVR_SANITIZE OR NOT XVR_SYSTEM_PYTHON))
    # A sanitized library cannot be loaded into an interpreter built without
    # the sanitizer runtime.
    continue()
  endif()
  if(TARGET xvr-sim AND TARGET xvr)
    add_test(NAME doc_example_${id}
             COMMAND ${XVR_PYTHON} ${XVR_DOC_TOOL} run ${CMAKE_BINARY_DIR}/bin ${XVR_DOC_EXAMPLES} ${example}
                     ${program})
    set_tests_properties(doc_example_${id} PROPERTIES TIMEOUT 180)
  endif()
endforeach()
