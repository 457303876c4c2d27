// The call log: "XVR.log" beside the parameter file, UTF-16LE with a BOM and
// CRLF line ends.  Each export's entry (its function line and, with LogData,
// its data line) goes out in one open, one write and one close, so the file
// is complete even if the host dies, and entries of calls on several threads
// never interleave.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace xvr {

class CallLog {
public:
    static constexpr uint32_t kFunctions = 1;  // switch "LogFunctions"
    static constexpr uint32_t kData = 2;       // switch "LogData"

    // Reads the switches from the parameter file and empties the log when one
    // is on.  Does nothing unless this is the first Init (initCount 0).
    void Setup(uint32_t initCount);
    bool Enabled() const { return m_lLogFlags.load(std::memory_order_relaxed) != 0; }
    // The function entry (with LogFunctions).
    void Write(const std::u16string &entry) const;
    // The function entry (with LogFunctions) and "  Data: " with the bytes
    // (with LogData), together.
    void Write(const std::u16string &entry, const uint8_t *data, int32_t count) const;

private:
    void Append(const std::u16string *entry, const std::u16string *dataLine) const;

    std::atomic<uint32_t> m_lLogFlags{0};
    mutable std::mutex m_Lock;  // guards m_sLogFile and keeps entries whole
    std::u16string m_sLogFile;
};

// "  Data: " and "%02X " for each byte.
std::u16string DataLine(const uint8_t *data, int32_t count);

}  // namespace xvr
