# The HiSLIP driver through the exports against xvr-sim's HiSLIP server,
# started by with_sim.py.  The cross build runs the DLL's test program under
# wine beside the Linux simulator of a native build (XVR_NATIVE_BIN, by
# default build/native/bin); without one the test is skipped.
find_program(XVR_HISLIP_PYTHON NAMES python3 python)
if(NOT XVR_HISLIP_PYTHON)
  return()
endif()
add_executable(xvr_hislip_host_tests ${CMAKE_CURRENT_SOURCE_DIR}/extra/hislip_host_test.cpp)
target_link_libraries(xvr_hislip_host_tests PRIVATE xvr_test_support xvr_test_main GTest::gtest)
add_dependencies(xvr_hislip_host_tests quvxvr)
if(CMAKE_CROSSCOMPILING)
  set(XVR_NATIVE_BIN ${CMAKE_SOURCE_DIR}/build/native/bin CACHE PATH "bin directory of a native build (xvr-sim)")
  set(_sim_bin ${XVR_NATIVE_BIN})
  set(_run ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:xvr_hislip_host_tests>)
else()
  set(_sim_bin ${CMAKE_BINARY_DIR}/bin)
  set(_run $<TARGET_FILE:xvr_hislip_host_tests>)
endif()
add_test(NAME hislip_sim
  COMMAND ${XVR_HISLIP_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/with_sim.py ${_sim_bin}
          --instrument ${CMAKE_CURRENT_SOURCE_DIR}/extra/hislip_instrument.txt
          ${CMAKE_COMMAND} -E env XVR_HISLIP_SIM={hislip} ${_run})
set_tests_properties(hislip_sim PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
  ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin")
if(CMAKE_CROSSCOMPILING)
  set_tests_properties(hislip_sim PROPERTIES FIXTURES_REQUIRED xvr_wine_prefix)
endif()

# tshark judges a capture of the same tests (Linux, in a network namespace).
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME hislip_capture
    COMMAND ${XVR_HISLIP_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/hislip_capture.py ${CMAKE_BINARY_DIR}/bin
            ${CMAKE_CURRENT_SOURCE_DIR}/extra/hislip_instrument.txt
            $<TARGET_FILE:xvr_hislip_host_tests>
            # Without the 16 MiB block: on a busy machine the capture drops
            # segments of it and then of what follows.
            --gtest_filter=-HislipSim.QueriesBlocksContinuationAndDelimiter)
  set_tests_properties(hislip_capture PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
    ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin" PASS_REGULAR_EXPRESSION "capture clean")
endif()
