// The one way to bound a wait: a point on the monotonic clock, in 64-bit
// milliseconds, so no arithmetic wraps and every transport measures alike.
// It lives in the lowest layer so that the platform's own waits (serial
// ports) use it too; it is xvr::Deadline for every layer.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace xvr {

class Deadline {
public:
    // A deadline ms from now; 0 or less is already due.
    static Deadline In(int64_t ms) {
        return Deadline(platform::MonotonicMs(), ms < 0 ? 0 : static_cast<uint64_t>(ms));
    }

    uint64_t Start() const { return m_start; }
    uint64_t Elapsed() const { return platform::MonotonicMs() - m_start; }
    // Milliseconds left, 0 once due; fits a 32-bit wait.
    uint32_t Remaining() const {
        const uint64_t elapsed = Elapsed();
        if (elapsed >= m_span) return 0;
        const uint64_t left = m_span - elapsed;
        return left > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(left);
    }
    bool Expired() const { return Elapsed() >= m_span; }

private:
    Deadline(uint64_t start, uint64_t span) : m_start(start), m_span(span) {}
    uint64_t m_start;
    uint64_t m_span;
};

}  // namespace xvr
