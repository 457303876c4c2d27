#include "drivers/control.h"

#include "base/strings.h"

namespace xvr {

namespace {

constexpr size_t kMaxLockKey = 256;

std::u16string Keyword(std::u16string_view value) { return ToUpper(TrimBlanks(value)); }

}  // namespace

bool ParseLock(std::u16string_view value, bool sharedAllowed, LockRequest *lock) {
    const std::u16string trimmed = TrimBlanks(value);
    const std::u16string word = ToUpper(trimmed);
    if (word == u"NONE" || word == u"EXCLUSIVE") {
        lock->kind = word == u"NONE" ? LockRequest::kNone : LockRequest::kExclusive;
        lock->key.clear();
        return true;
    }
    constexpr std::u16string_view kShared = u"SHARED:";
    if (!sharedAllowed || word.compare(0, kShared.size(), kShared) != 0) return false;
    const std::u16string_view key = std::u16string_view(trimmed).substr(kShared.size());
    if (key.empty() || key.size() > kMaxLockKey) return false;
    std::string narrow;
    for (char16_t c : key) {
        if (c < 0x21 || c > 0x7E) return false;
        narrow += static_cast<char>(c);
    }
    lock->kind = LockRequest::kShared;
    lock->key = std::move(narrow);
    return true;
}

std::u16string LockText(const LockRequest &lock) {
    switch (lock.kind) {
    case LockRequest::kExclusive: return u"EXCLUSIVE";
    case LockRequest::kShared: return u"SHARED:" + std::u16string(lock.key.begin(), lock.key.end());
    case LockRequest::kNone: break;
    }
    return u"NONE";
}

bool ParseRemote(std::u16string_view value, RemoteRequest *request) {
    const std::u16string word = Keyword(value);
    if (word == u"REMOTE")
        *request = RemoteRequest::kRemote;
    else if (word == u"LOCAL")
        *request = RemoteRequest::kLocal;
    else if (word == u"LOCKOUT")
        *request = RemoteRequest::kLockout;
    else
        return false;
    return true;
}

bool ParseSrqEnable(std::u16string_view value, bool *enable) {
    const std::u16string word = Keyword(value);
    if (word != u"ENABLE" && word != u"DISABLE") return false;
    *enable = word == u"ENABLE";
    return true;
}

}  // namespace xvr
