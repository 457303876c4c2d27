# The installed tree and the Debian package, used as a user would use them.
find_program(XVR_DPKG_DEB dpkg-deb)
if(NOT CMAKE_CROSSCOMPILING AND NOT XVR_SANITIZE AND TARGET xvr-sim AND XVR_PYTHON)
  set(check ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DSOURCE=${CMAKE_SOURCE_DIR}
            -DPYTHON=${XVR_PYTHON} -DCC=${CMAKE_C_COMPILER}
            -DHOST_SOURCE=${CMAKE_BINARY_DIR}/generated/doc-examples/host.c)
  add_test(NAME install_gives_a_usable_package
           COMMAND ${check} -DWORK=${CMAKE_BINARY_DIR}/install-check -P ${CMAKE_SOURCE_DIR}/cmake/CheckInstall.cmake)
  set_tests_properties(install_gives_a_usable_package PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
  if(XVR_DPKG_DEB)
    add_test(NAME debian_package_gives_working_tools
             COMMAND ${check} -DWORK=${CMAKE_BINARY_DIR}/deb-check -DDEB=ON
                     -P ${CMAKE_SOURCE_DIR}/cmake/CheckInstall.cmake)
    set_tests_properties(debian_package_gives_working_tools PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
  else()
    message(WARNING "dpkg-deb not found: the Debian package is not tested")
  endif()
endif()
