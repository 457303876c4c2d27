# The layers only point down: a source of one layer compiles against its own
# headers and those below, and fails on a header of the layer above.  Each
# probe is compiled with exactly the include roots its layer builds with.
set(_layer_probes
  "platform|platform/platform.h|base/strings.h"
  "base|base/texts.h|drivers/driver.h"
  "drivers|drivers/device_list.h|frame/module.h")
foreach(probe IN LISTS _layer_probes)
  string(REPLACE "|" ";" probe "${probe}")
  list(GET probe 0 layer)
  list(GET probe 1 own)
  list(GET probe 2 above)
  foreach(kind own above)
    set(src ${CMAKE_CURRENT_BINARY_DIR}/layer_probes/${layer}_${kind}.cpp)
    file(WRITE ${src} "#include \"${${kind}}\"\n")
    add_test(NAME layer_${layer}_includes_${kind}
             COMMAND ${CMAKE_CXX_COMPILER} -std=c++17 -fsyntax-only
                     -I${XVR_LAYER_ROOT_${layer}} -I${XVR_GEN}/include -I${CMAKE_SOURCE_DIR}/include -I${XVR_GEN} -I${XVR_GEN}/tables
                     ${src})
    if(kind STREQUAL "above")
      set_tests_properties(layer_${layer}_includes_${kind} PROPERTIES WILL_FAIL TRUE)
    endif()
  endforeach()
endforeach()
