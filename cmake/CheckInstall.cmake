# Checks an installed tree as a user meets it, with nothing of the build tree
# on the library path: xvr against the installed xvr-sim on TCP, UDP, the
# serial port and the simulated GPIB bus, and the README's C host built with
# pkg-config and with find_package and run against the simulator.  The tree
# comes from cmake --install, or from the Debian package built by cpack and
# unpacked with dpkg-deb.
# Usage: cmake -DBUILD=... -DSOURCE=... -DWORK=... -DPYTHON=... -DCC=...
#              -DHOST_SOURCE=readme_host.c [-DDEB=ON] -P CheckInstall.cmake
file(REMOVE_RECURSE "${WORK}")
unset(ENV{LD_LIBRARY_PATH})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

if(DEB)
  run("cpack" ${CMAKE_CPACK_COMMAND} -G DEB --config "${BUILD}/CPackConfig.cmake" -B "${WORK}/deb")
  file(GLOB deb "${WORK}/deb/quvxvr_*.deb")
  if(NOT deb)
    message(FATAL_ERROR "cpack made no quvxvr_*.deb")
  endif()
  run("dpkg-deb -f" dpkg-deb -f "${deb}" Package Depends)
  if(NOT out MATCHES "Package: quvxvr\n" OR NOT out MATCHES "Depends: .*libc6")
    message(FATAL_ERROR "unexpected control fields:\n${out}")
  endif()
  run("dpkg-deb -x" dpkg-deb -x "${deb}" "${WORK}/root")
  set(prefix "${WORK}/root/usr")
else()
  run("install" ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${WORK}/prefix")
  set(prefix "${WORK}/prefix")
endif()

# The library under its SONAME, with the usual links.
file(GLOB_RECURSE so LIST_DIRECTORIES false "${prefix}/lib*/libquvxvr.so")
get_filename_component(libdir "${so}" DIRECTORY)
foreach(link libquvxvr.so libquvxvr.so.1)
  if(NOT IS_SYMLINK "${libdir}/${link}")
    message(FATAL_ERROR "${libdir}/${link} is not a link")
  endif()
endforeach()
run("readelf" readelf -d "${libdir}/libquvxvr.so.1")
if(NOT out MATCHES "SONAME\\)[^\n]*\\[libquvxvr.so.1\\]")
  message(FATAL_ERROR "no SONAME libquvxvr.so.1:\n${out}")
endif()
# A real bus library is never shadowed: the simulated ones are not on the
# library's own search path.
file(GLOB shadow "${libdir}/libquviec*")
if(shadow)
  message(FATAL_ERROR "simulated bus library beside the library: ${shadow}")
endif()

# Both tools have their manual page.
foreach(page xvr xvr-sim)
  if(NOT EXISTS "${prefix}/share/man/man1/${page}.1")
    message(FATAL_ERROR "no manual page share/man/man1/${page}.1")
  endif()
  run("man -l ${page}" man -l "${prefix}/share/man/man1/${page}.1")
  if(NOT out MATCHES "NAME")
    message(FATAL_ERROR "man -l ${page}.1:\n${out}")
  endif()
endforeach()

run("xvr drivers" "${prefix}/bin/xvr" drivers)
if(NOT out MATCHES "KX GPIB")
  message(FATAL_ERROR "xvr drivers:\n${out}")
endif()

# Runs COMMAND... next to the installed simulator; the output must match.
function(with_sim expected)
  run("${ARGN}" ${PYTHON} "${SOURCE}/tests/tools/with_sim.py" "${prefix}/bin" ${ARGN})
  if(NOT out MATCHES "${expected}")
    message(FATAL_ERROR "${ARGN}: unexpected output:\n${out}")
  endif()
endfunction()
set(sim_idn "XVR-SIM,Simulated instrument")
foreach(device "TCP/IP;{tcp};${sim_idn}" "UDP;{udp};${sim_idn}" "COM;COM7;${sim_idn}"
               "KX GPIB;Dev 5;XVR-SIMBUS,DEV5")
  list(GET device 0 driver)
  list(GET device 1 address)
  list(GET device 2 expected)
  with_sim("^${expected}" "${prefix}/bin/xvr" query "${driver}" "${address}" "*IDN?" --timeout 2000)
endforeach()

# The Python package, where the interpreter of a Debian system looks for the
# .deb's, loads the installed library through its own relative path.
file(GLOB init "${prefix}/lib/python3*/*-packages/quvxvr/__init__.py")
if(NOT init)
  message(FATAL_ERROR "no Python package quvxvr under ${prefix}/lib")
endif()
if(DEB AND NOT init MATCHES "/usr/lib/python3/dist-packages/")
  message(FATAL_ERROR "the .deb's Python package is not in lib/python3/dist-packages: ${init}")
endif()
get_filename_component(site "${init}" DIRECTORY)
get_filename_component(site "${site}" DIRECTORY)
set(ENV{PYTHONPATH} "${site}")
run("python -m quvxvr" ${PYTHON} -m quvxvr --library --drivers)
unset(ENV{PYTHONPATH})
file(REAL_PATH "${prefix}" real_prefix)
if(NOT out MATCHES "^(${prefix}|${real_prefix})/.*libquvxvr.so.1\n.*KX GPIB")
  message(FATAL_ERROR "the Python package did not load the installed library:\n${out}")
endif()

# The README's host with pkg-config; its run path from the .pc file's libdir.
file(GLOB_RECURSE pc "${prefix}/*/quvxvr.pc")
get_filename_component(pcdir "${pc}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} "${pcdir}")
# The package's file names /usr, where it was not installed: move it here.
set(relocate "")
if(DEB)
  run("pkg-config prefix" pkg-config --variable=prefix quvxvr)
  if(NOT out STREQUAL "/usr\n")
    message(FATAL_ERROR "the package's quvxvr.pc names the prefix ${out}")
  endif()
  set(relocate --define-prefix)
endif()
run("pkg-config" pkg-config ${relocate} --cflags --libs quvxvr)
if(out MATCHES "\\.\\.")
  message(FATAL_ERROR "pkg-config flags with '..': ${out}")
endif()
separate_arguments(flags UNIX_COMMAND "${out}")
run("pkg-config libdir" pkg-config ${relocate} --variable=libdir quvxvr)
string(STRIP "${out}" pc_libdir)
run("cc with pkg-config" ${CC} "${HOST_SOURCE}" -o "${WORK}/host_pkgconfig" ${flags} "-Wl,-rpath,${pc_libdir}")
with_sim("^${sim_idn}" "${WORK}/host_pkgconfig" {tcp})

# The same host from CMake with find_package(quvxvr).
run("find_package(quvxvr)" ${CMAKE_COMMAND} -S "${SOURCE}/tests/install_consumer" -B "${WORK}/consumer"
    -DCMAKE_PREFIX_PATH=${prefix} -DHOST_SOURCE=${HOST_SOURCE} -DCMAKE_C_COMPILER=${CC})
run("consumer build" ${CMAKE_COMMAND} --build "${WORK}/consumer")
with_sim("^${sim_idn}" "${WORK}/consumer/host" {tcp})

file(REMOVE_RECURSE "${WORK}")
