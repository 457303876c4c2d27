#include "frame/last_error.h"

namespace xvr {

namespace {

// The calling thread's own last call, when it failed.
struct OwnFailure {
    bool failed = false;
    std::u16string text;
};
// Initial-exec on ELF: a few bytes of the static TLS that the loader keeps
// for libraries opened later, so hosts that dlopen the library find it at a
// fixed offset instead of through __tls_get_addr.
#if defined(__ELF__)
__attribute__((tls_model("initial-exec")))
#endif
thread_local OwnFailure t_Own;

}  // namespace

void LastErrorText::Publish(const std::u16string &text, bool failed) {
    t_Own.failed = failed;
    if (failed) t_Own.text = text;
    // Most calls succeed after calls that succeeded: nothing changes then.
    if (text.empty() && m_bLatestEmpty.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(m_Lock);
    m_sLatest = text;
    m_bLatestEmpty.store(text.empty(), std::memory_order_release);
}

std::u16string LastErrorText::Get() const {
    if (t_Own.failed) return t_Own.text;
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_sLatest;
}

}  // namespace xvr
