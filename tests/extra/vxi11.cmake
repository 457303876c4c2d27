# The VXI-11 driver through the exports against xvr-sim's VXI-11 server,
# started by with_sim.py.  The cross build runs the DLL's test program under
# wine beside the Linux simulator of a native build (XVR_NATIVE_BIN, by
# default build/native/bin); without one the test is skipped.
find_program(XVR_VXI11_PYTHON NAMES python3 python)
if(NOT XVR_VXI11_PYTHON)
  return()
endif()
add_executable(xvr_vxi11_host_tests ${CMAKE_CURRENT_SOURCE_DIR}/extra/vxi11_host_test.cpp)
target_link_libraries(xvr_vxi11_host_tests PRIVATE xvr_test_support xvr_test_main GTest::gtest)
add_dependencies(xvr_vxi11_host_tests quvxvr)
if(CMAKE_CROSSCOMPILING)
  set(XVR_NATIVE_BIN ${CMAKE_SOURCE_DIR}/build/native/bin CACHE PATH "bin directory of a native build (xvr-sim)")
  set(_sim_bin ${XVR_NATIVE_BIN})
  set(_run ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:xvr_vxi11_host_tests>)
else()
  set(_sim_bin ${CMAKE_BINARY_DIR}/bin)
  set(_run $<TARGET_FILE:xvr_vxi11_host_tests>)
endif()
add_test(NAME vxi11_host
  COMMAND ${XVR_VXI11_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/with_sim.py ${_sim_bin}
          --instrument ${CMAKE_CURRENT_SOURCE_DIR}/extra/vxi11_instrument.txt ${_run})
set_tests_properties(vxi11_host PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
  ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin")
if(CMAKE_CROSSCOMPILING)
  set_tests_properties(vxi11_host PROPERTIES FIXTURES_REQUIRED xvr_wine_prefix)
endif()

# lxi-tools, pyvisa-py and tshark against the simulator and our client, in a
# network namespace of their own (Linux only; skipped where none can be made).
if(NOT CMAKE_CROSSCOMPILING AND TARGET xvr-sim AND NOT XVR_SANITIZE)
  add_test(NAME vxi11_external
    COMMAND ${XVR_VXI11_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/vxi11_external.py ${CMAKE_BINARY_DIR}/bin
            ${CMAKE_CURRENT_SOURCE_DIR}/extra/vxi11_instrument.txt)
  set_tests_properties(vxi11_external PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()
