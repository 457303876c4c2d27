# The tools as their users meet them: the xvr binary, the simulator's
# instrument files, the demo script and the three example hosts.
set(XVR_TOOLS_TEST_DIR ${CMAKE_CURRENT_SOURCE_DIR}/tools)

if(TARGET xvr_sim_instrument)
  xvr_add_test_program(xvr_tools_tests ${XVR_TOOLS_TEST_DIR}/instrument_test.cpp)
  target_link_libraries(xvr_tools_tests PRIVATE xvr_sim_instrument)
endif()

if(TARGET xvr_cli)
  xvr_add_test_program(xvr_cli_tests ${XVR_TOOLS_TEST_DIR}/cli_parts_test.cpp)
  target_link_libraries(xvr_cli_tests PRIVATE xvr_cli)
endif()

# Examples: built like any host program, run against the simulator (Linux)
# and against the simulated GPIB bus (both sides).
add_executable(xvr_example_c ${CMAKE_SOURCE_DIR}/examples/c/identify.c)
target_link_libraries(xvr_example_c PRIVATE quvxvr)
add_executable(xvr_example_cpp ${CMAKE_SOURCE_DIR}/examples/cpp/identify.cpp)
target_link_libraries(xvr_example_cpp PRIVATE quvxvr)
foreach(example xvr_example_c xvr_example_cpp)
  add_dependencies(${example} xvr_simbus2)
  add_test(NAME ${example}_gpib COMMAND ${example} "KX GPIB" "Dev 5")
  set_tests_properties(${example}_gpib PROPERTIES TIMEOUT 120
    PASS_REGULAR_EXPRESSION "XVR-SIMBUS,DEV5" ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin")
endforeach()

if(NOT XVR_PYTHON OR NOT TARGET xvr)
  return()
endif()

set(XVR_CLI_ARGS --xvr $<TARGET_FILE:xvr>)
foreach(arg IN LISTS CMAKE_CROSSCOMPILING_EMULATOR)
  list(APPEND XVR_CLI_ARGS --emulator ${arg})
endforeach()
add_test(NAME xvr_cli COMMAND ${XVR_PYTHON} ${XVR_TOOLS_TEST_DIR}/cli_test.py ${XVR_CLI_ARGS})
# Every run of the program under wine costs seconds.
set_tests_properties(xvr_cli PROPERTIES TIMEOUT 900)

if(TARGET xvr-sim)
  set_property(TEST xvr_cli PROPERTY ENVIRONMENT "XVR_CLI_SIM=${CMAKE_BINARY_DIR}/bin")
  set(with_sim ${XVR_PYTHON} ${XVR_TOOLS_TEST_DIR}/with_sim.py ${CMAKE_BINARY_DIR}/bin)
  add_test(NAME xvr_example_c_tcp COMMAND ${with_sim} $<TARGET_FILE:xvr_example_c> TCP/IP {tcp})
  add_test(NAME xvr_example_cpp_udp COMMAND ${with_sim} $<TARGET_FILE:xvr_example_cpp> UDP {udp})
  set_tests_properties(xvr_example_c_tcp xvr_example_cpp_udp PROPERTIES
    TIMEOUT 120 PASS_REGULAR_EXPRESSION "XVR-SIM,Simulated instrument")
  # A sanitized library cannot be loaded into an interpreter built without
  # the sanitizer runtime.
  if(NOT XVR_SANITIZE)
    add_test(NAME xvr_example_python_tcp
             COMMAND ${CMAKE_COMMAND} -E env QUVXVR_LIBRARY=$<TARGET_FILE:quvxvr>
                     PYTHONPATH=${CMAKE_SOURCE_DIR}/python PYTHONDONTWRITEBYTECODE=1
                     ${with_sim} ${XVR_PYTHON} ${CMAKE_SOURCE_DIR}/examples/python/identify.py TCP/IP {tcp})
    set_tests_properties(xvr_example_python_tcp PROPERTIES
      TIMEOUT 120 PASS_REGULAR_EXPRESSION "XVR-SIM,Simulated instrument")
  endif()

  add_test(NAME xvr_sim COMMAND ${XVR_PYTHON} ${XVR_TOOLS_TEST_DIR}/sim_test.py ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(xvr_sim PROPERTIES TIMEOUT 120)

  add_test(NAME xvr_demo COMMAND ${CMAKE_SOURCE_DIR}/scripts/demo ${CMAKE_BINARY_DIR})
  set_tests_properties(xvr_demo PROPERTIES TIMEOUT 180
    PASS_REGULAR_EXPRESSION "All six instruments answered")
endif()

# The benchmark table prints (a short run; the figures are not judged).
if(TARGET xvr-compare AND TARGET xvr-sim)
  add_test(NAME xvr_bench_compare COMMAND ${XVR_PYTHON} ${CMAKE_SOURCE_DIR}/bench/compare/compare
           ${CMAKE_BINARY_DIR} -n 20)
  set_tests_properties(xvr_bench_compare PROPERTIES TIMEOUT 300
    PASS_REGULAR_EXPRESSION "TCP query \\*IDN\\?.*raw socket.*Serial query.*call log functions\\+data")
endif()
