# The C host shown in the README is compiled from the README itself and run
# against the simulator, so the example cannot rot.
find_program(XVR_PYTHON NAMES python3 python)
file(READ ${CMAKE_SOURCE_DIR}/README.md XVR_README)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md)
if(XVR_README MATCHES "```c\n(#include <quvxvr.h>[^`]*)```")
  file(WRITE ${CMAKE_BINARY_DIR}/generated/readme_host.c "${CMAKE_MATCH_1}")
  add_executable(xvr_readme_host ${CMAKE_BINARY_DIR}/generated/readme_host.c)
  target_link_libraries(xvr_readme_host PRIVATE quvxvr)
  if(TARGET xvr-sim AND XVR_PYTHON)
    add_test(NAME xvr_readme_host
             COMMAND ${XVR_PYTHON} ${CMAKE_SOURCE_DIR}/tests/tools/with_sim.py ${CMAKE_BINARY_DIR}/bin
                     $<TARGET_FILE:xvr_readme_host> {tcp})
    set_tests_properties(xvr_readme_host PROPERTIES TIMEOUT 120
      PASS_REGULAR_EXPRESSION "XVR-SIM,Simulated instrument")
  endif()
else()
  message(FATAL_ERROR "README.md has no C host example")
endif()
