# The library exports the 17 functions and nothing else, undecorated.
find_program(XVR_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump)
add_test(NAME library_exports_exactly_the_interface
  COMMAND ${CMAKE_COMMAND} -DLIB=$<TARGET_FILE:quvxvr> -DLIST=${CMAKE_SOURCE_DIR}/resources/exports.txt
          -DWINDOWS=${WIN32} -DOBJDUMP=${XVR_OBJDUMP} -P ${CMAKE_SOURCE_DIR}/cmake/CheckExports.cmake)
