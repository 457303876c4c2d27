# Linux install extras and the Debian package (cpack -G DEB in the build tree).

# xvr finds the library relative to itself, wherever the tree is installed.
if(TARGET xvr)
  file(RELATIVE_PATH _bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(xvr PROPERTIES INSTALL_RPATH "$ORIGIN/${_bin_to_lib}")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quvxvr)
set(CPACK_PACKAGE_VENDOR "QUVXVR")
set(CPACK_PACKAGE_CONTACT "QUVXVR maintainers <maintainers@quvxvr.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Device-communication library for serial, TCP/UDP, GPIB, VXI-11 and HiSLIP instruments, with xvr and xvr-sim")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Depends from the binaries; shlibs and the ldconfig trigger for the library.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
