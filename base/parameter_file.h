// Where the parameter file "XVR.XVR" and the call log "XVR.log" live.
#pragma once

#include <string>

namespace xvr {

std::u16string ParameterFilePath();  // directory + "XVR.XVR", computed afresh
std::u16string LogFilePath();        // directory + "XVR.log"

}  // namespace xvr
