# The HiSLIP driver through the exports against xvr-sim's HiSLIP server.
if(NOT XVR_PYTHON)
  return()
endif()
xvr_add_sim_host_test(hislip_sim xvr_hislip_host_tests ${CMAKE_CURRENT_SOURCE_DIR}/extra/hislip_host_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/extra/hislip_instrument.txt ${CMAKE_COMMAND} -E env XVR_HISLIP_SIM={hislip})

# tshark judges a capture of the same tests (Linux, in a network namespace).
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME hislip_capture
    COMMAND ${XVR_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/hislip_capture.py ${CMAKE_BINARY_DIR}/bin
            ${CMAKE_CURRENT_SOURCE_DIR}/extra/hislip_instrument.txt
            $<TARGET_FILE:xvr_hislip_host_tests>
            # Without the 16 MiB block: on a busy machine the capture drops
            # segments of it and then of what follows.
            --gtest_filter=-HislipSim.QueriesBlocksContinuationAndDelimiter)
  set_tests_properties(hislip_capture PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
    ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin" PASS_REGULAR_EXPRESSION "capture clean")
endif()
