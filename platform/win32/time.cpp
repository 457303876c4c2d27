#include "platform/platform.h"
#include "platform/win32/own_module.h"

namespace xvr::platform {

uint64_t MonotonicMs() { return GetTickCount64(); }

void SleepMs(uint32_t ms) { Sleep(ms); }

}  // namespace xvr::platform
