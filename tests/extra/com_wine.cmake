# Serial tests of the Windows build: wine cannot make a pseudo-terminal, so a
# small Linux program (built with the build machine's own compiler) makes one,
# links it into the wine prefix as COM42 and runs the serial host tests.
if(NOT (CMAKE_CROSSCOMPILING AND WIN32 AND CMAKE_HOST_UNIX))
  return()
endif()
find_program(XVR_NATIVE_CXX NAMES c++ g++)
if(NOT XVR_NATIVE_CXX)
  message(STATUS "No native C++ compiler: the serial tests under wine are left out")
  return()
endif()
set(XVR_COM_PEER ${CMAKE_BINARY_DIR}/native/com_wine_peer)
set(XVR_COM_PEER_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/extra/com_wine_peer.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/support/pty_pair.cpp)
add_custom_command(OUTPUT ${XVR_COM_PEER}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/native
  COMMAND ${XVR_NATIVE_CXX} -std=c++17 -O2 -pthread -I${CMAKE_CURRENT_SOURCE_DIR}
          -o ${XVR_COM_PEER} ${XVR_COM_PEER_SOURCES}
  DEPENDS ${XVR_COM_PEER_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/support/pty_pair.h
  COMMENT "Building the Linux-side serial instrument")
add_custom_target(xvr_com_wine_peer ALL DEPENDS ${XVR_COM_PEER})
# wine sets up a prefix only where it finds none, so it must exist before the
# link goes in.
add_test(NAME com_wine_prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot)
set_tests_properties(com_wine_prefix PROPERTIES TIMEOUT 300 FIXTURES_SETUP xvr_wine_prefix)
add_test(NAME com_wine
  COMMAND ${XVR_COM_PEER} ${CMAKE_BINARY_DIR}/wineprefix 42 timeout 240 ${CMAKE_CROSSCOMPILING_EMULATOR}
          $<TARGET_FILE:xvr_host_tests> --gtest_filter=ComHost.*)
set_tests_properties(com_wine PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED xvr_wine_prefix)
