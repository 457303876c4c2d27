// The last error text that flXVRErrorTextGet hands out.  Every export call
// but flXVRErrorTextGet ends by publishing its text (empty on success).  A
// thread whose own last call failed reads that call's text, whatever other
// threads did since; any other thread reads the text of the latest call of
// any thread.  Used from one thread, or from several that take turns, this
// is simply the text of the last call.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace xvr {

class LastErrorText {
public:
    void Publish(const std::u16string &text, bool failed);
    std::u16string Get() const;

private:
    mutable std::mutex m_Lock;
    std::u16string m_sLatest;
    std::atomic<bool> m_bLatestEmpty{true};
};

}  // namespace xvr
