// The control vocabulary: parameters beside read and write that every driver
// answers alike (device clear, trigger, status byte, locks, service requests,
// remote/local).  A driver that cannot honour a name answers -11.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xvr {

inline constexpr std::u16string_view kParamClear = u"CLEAR";
inline constexpr std::u16string_view kParamTrigger = u"TRIGGER";
inline constexpr std::u16string_view kParamStb = u"STB";
inline constexpr std::u16string_view kParamLock = u"LOCK";
inline constexpr std::u16string_view kParamLockTimeout = u"LOCK_TIMEOUT";
inline constexpr std::u16string_view kParamSrq = u"SRQ";
inline constexpr std::u16string_view kParamRemote = u"REMOTE";
inline constexpr std::u16string_view kParamMaxRecv = u"MAXRECV";
inline constexpr std::u16string_view kParamMode = u"MODE";

// LOCK values: "EXCLUSIVE", "SHARED:<key>", "NONE" (keywords in any case,
// blanks around them ignored; the key is kept as written).
struct LockRequest {
    enum Kind { kNone, kExclusive, kShared } kind = kNone;
    std::string key;  // kShared only; never empty
};
// False for anything else, and for SHARED where the driver has no shared
// locks or the key is empty, longer than 256 bytes or not printable ASCII.
bool ParseLock(std::u16string_view value, bool sharedAllowed, LockRequest *lock);
std::u16string LockText(const LockRequest &lock);

// REMOTE values: "REMOTE", "LOCAL", "LOCKOUT".
enum class RemoteRequest { kRemote, kLocal, kLockout };
bool ParseRemote(std::u16string_view value, RemoteRequest *request);

// SRQ set values: "ENABLE", "DISABLE".
bool ParseSrqEnable(std::u16string_view value, bool *enable);

// The service request a record received while nobody waited: one is kept,
// a later one replaces it (the status byte is the newer).
class KeptServiceRequest {
public:
    void Keep(uint8_t statusByte) {
        m_bKept = true;
        m_nStatusByte = statusByte;
    }
    bool Take(uint8_t *statusByte) {
        if (!m_bKept) return false;
        m_bKept = false;
        *statusByte = m_nStatusByte;
        return true;
    }
    void Drop() { m_bKept = false; }

private:
    bool m_bKept = false;
    uint8_t m_nStatusByte = 0;
};

}  // namespace xvr
