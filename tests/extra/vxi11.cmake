# The VXI-11 driver through the exports against xvr-sim's VXI-11 server.
if(NOT XVR_PYTHON)
  return()
endif()
xvr_add_sim_host_test(vxi11_host xvr_vxi11_host_tests ${CMAKE_CURRENT_SOURCE_DIR}/extra/vxi11_host_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/extra/vxi11_instrument.txt)

# lxi-tools, pyvisa-py and tshark against the simulator and our client, in a
# network namespace of their own (Linux only; skipped where none can be made).
if(NOT CMAKE_CROSSCOMPILING AND TARGET xvr-sim AND NOT XVR_SANITIZE)
  add_test(NAME vxi11_external
    COMMAND ${XVR_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/vxi11_external.py ${CMAKE_BINARY_DIR}/bin
            ${CMAKE_CURRENT_SOURCE_DIR}/extra/vxi11_instrument.txt)
  set_tests_properties(vxi11_external PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()
