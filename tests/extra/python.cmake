# The Python package and the PyVISA backend, run by pytest with the
# interpreter that sees Debian's python3-pytest and python3-pyvisa.  A
# sanitized library cannot be loaded into an interpreter built without the
# sanitizer runtime, and the DLL not at all.
if(CMAKE_CROSSCOMPILING OR XVR_SANITIZE OR NOT TARGET xvr-sim)
  return()
endif()
if(XVR_SYSTEM_PYTHON)
  execute_process(COMMAND ${XVR_SYSTEM_PYTHON} -c "import pytest"
                  RESULT_VARIABLE _no_pytest OUTPUT_QUIET ERROR_QUIET)
endif()
if(NOT XVR_SYSTEM_PYTHON OR _no_pytest)
  message(STATUS "python3-pytest not found: the Python tests are left out (scripts/test-all installs it)")
  return()
endif()

set(XVR_PYTHON_TEST_ENV
  XVR_BIN_DIR=${CMAKE_BINARY_DIR}/bin
  XVR_BUILD_DIR=${CMAKE_BINARY_DIR}
  XVR_PYTHON_INSTALL_DIR=${XVR_PYTHON_INSTALL_DIR}
  QUVXVR_LIBRARY=$<TARGET_FILE:quvxvr>
  LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin
  PYTHONDONTWRITEBYTECODE=1)
foreach(part quvxvr pyvisa_xvr install tables)
  add_test(NAME python_${part}
           COMMAND ${XVR_SYSTEM_PYTHON} -m pytest -p no:cacheprovider -q
                   ${CMAKE_CURRENT_SOURCE_DIR}/python/test_${part}.py)
  set_tests_properties(python_${part} PROPERTIES TIMEOUT 300 ENVIRONMENT "${XVR_PYTHON_TEST_ENV}")
endforeach()
# It installs the build tree, as the install test does.
set_tests_properties(python_install PROPERTIES RUN_SERIAL TRUE)

# The Python benchmark runs (a short run; the figures are not judged).
add_test(NAME python_bench COMMAND ${XVR_SYSTEM_PYTHON} ${CMAKE_SOURCE_DIR}/bench/python_bench.py
         ${CMAKE_BINARY_DIR} -n 20 -r 3)
set_tests_properties(python_bench PROPERTIES TIMEOUT 300 ENVIRONMENT "${XVR_PYTHON_TEST_ENV}"
  PASS_REGULAR_EXPRESSION "raw Python socket.*quvxvr query.*PyVISA @xvr")
