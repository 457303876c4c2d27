# The HiSLIP host tests against xvr-sim's HiSLIP server.  The Windows build
# runs the DLL under wine against the Linux simulator of the native build
# (XVR_NATIVE_BIN_DIR; the test is skipped while that has no xvr-sim).
find_program(XVR_HISLIP_PYTHON NAMES python3 python)
if(NOT XVR_HISLIP_PYTHON OR (NOT CMAKE_CROSSCOMPILING AND NOT TARGET xvr-sim) OR WIN32 AND NOT CMAKE_HOST_UNIX)
  return()
endif()
if(CMAKE_CROSSCOMPILING)
  set(XVR_NATIVE_BIN_DIR ${CMAKE_SOURCE_DIR}/build/native/bin CACHE PATH "bin directory of a native build (xvr-sim)")
  set(_sim_bin ${XVR_NATIVE_BIN_DIR})
else()
  set(_sim_bin ${CMAKE_BINARY_DIR}/bin)
endif()
add_test(NAME hislip_sim
  COMMAND ${XVR_HISLIP_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/with_sim.py ${_sim_bin}
          --instrument ${CMAKE_CURRENT_SOURCE_DIR}/extra/hislip_instrument.txt
          ${CMAKE_COMMAND} -E env XVR_HISLIP_SIM={hislip}
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:xvr_host_tests> --gtest_filter=HislipSim.*)
set_tests_properties(hislip_sim PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
  ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin" FIXTURES_REQUIRED xvr_wine_prefix)

# tshark judges a capture of the same tests (Linux, in a network namespace).
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME hislip_capture
    COMMAND ${XVR_HISLIP_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/hislip_capture.py ${CMAKE_BINARY_DIR}/bin
            ${CMAKE_CURRENT_SOURCE_DIR}/extra/hislip_instrument.txt
            $<TARGET_FILE:xvr_host_tests>
            # Without the 16 MiB block: on a busy machine the capture drops
            # segments of it and then of what follows.
            --gtest_filter=HislipSim.*-HislipSim.QueriesBlocksContinuationAndDelimiter)
  set_tests_properties(hislip_capture PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
    ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin" PASS_REGULAR_EXPRESSION "capture clean")
endif()
