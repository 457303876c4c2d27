#include "platform/platform.h"
#include "platform/win32/own_module.h"

namespace xvr::platform {

uint64_t MonotonicMs() { return GetTickCount64(); }

uint32_t TickCount() { return GetTickCount(); }

void SleepMs(uint32_t ms) { Sleep(ms); }

}  // namespace xvr::platform
