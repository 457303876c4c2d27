# The GPIB tests load the simulated bus libraries from the bin directory.
if(TARGET xvr_simbus)
  foreach(program xvr_unit_tests xvr_host_tests)
    add_dependencies(${program} xvr_simbus xvr_simbus2 xvr_simbus_nodeinit)
  endforeach()
endif()
