# The GPIB tests load the simulated bus libraries from the bin directory.
if(NOT TARGET xvr_simbus)
  return()
endif()
foreach(program xvr_unit_tests xvr_host_tests)
  add_dependencies(${program} xvr_simbus xvr_simbus2 xvr_simbus_nodeinit)
endforeach()

# A host in a directory of its own whose only bus library lacks an entry
# point (under the name of the first) and which has no second one: both
# refusals reach the host through the exports.
set(XVR_GPIB_UNBOUND_DIR ${CMAKE_BINARY_DIR}/gpib-unbound)
add_executable(xvr_gpib_unbound_tests extra/gpib_unbound_test.cpp)
target_link_libraries(xvr_gpib_unbound_tests PRIVATE xvr_test_support xvr_test_main GTest::gtest)
set_target_properties(xvr_gpib_unbound_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${XVR_GPIB_UNBOUND_DIR})
add_dependencies(xvr_gpib_unbound_tests quvxvr xvr_simbus_nodeinit)
add_custom_command(TARGET xvr_gpib_unbound_tests POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:xvr_simbus_nodeinit>
          ${XVR_GPIB_UNBOUND_DIR}/$<TARGET_FILE_NAME:xvr_simbus>)
if(WIN32)
  # Windows finds the library and the bus library beside the program.
  add_custom_command(TARGET xvr_gpib_unbound_tests POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quvxvr> ${XVR_GPIB_UNBOUND_DIR}/)
endif()
add_test(NAME xvr_gpib_unbound_tests COMMAND xvr_gpib_unbound_tests)
set_tests_properties(xvr_gpib_unbound_tests PROPERTIES TIMEOUT 300
  ENVIRONMENT "LD_LIBRARY_PATH=${XVR_GPIB_UNBOUND_DIR}")
