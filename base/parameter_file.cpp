#include "base/parameter_file.h"

#include "platform/platform.h"

namespace xvr {

std::u16string ParameterFilePath() { return platform::ParameterDirectory() + u"XVR.XVR"; }

std::u16string LogFilePath() { return platform::ParameterDirectory() + u"XVR.log"; }

}  // namespace xvr
