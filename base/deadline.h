// The deadline type lives in platform/deadline.h, where the serial ports use
// it too; this name stays for code written against it here.
#pragma once

#include "platform/deadline.h"
