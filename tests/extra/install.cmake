# cmake --install gives a usable package: find_package(quvxvr) and pkg-config.
if(NOT CMAKE_CROSSCOMPILING AND NOT XVR_SANITIZE)
  add_test(NAME install_gives_a_usable_package
    COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DSOURCE=${CMAKE_SOURCE_DIR}
            -DWORK=${CMAKE_BINARY_DIR}/install-check -P ${CMAKE_SOURCE_DIR}/cmake/CheckInstall.cmake)
  set_tests_properties(install_gives_a_usable_package PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
