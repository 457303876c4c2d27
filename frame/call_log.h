// The call log: "XVR.log" beside the parameter file, UTF-16LE with a BOM and
// CRLF line ends, every entry appended by open-write-close so that the file is
// complete even if the host dies.
#pragma once

#include <cstdint>
#include <string>

namespace xvr {

class CallLog {
public:
    static constexpr uint32_t kFunctions = 1;  // switch "LogFunctions"
    static constexpr uint32_t kData = 2;       // switch "LogData"

    // Reads the switches from the parameter file and empties the log when one
    // is on.  Does nothing unless this is the first Init (initCount 0).
    void Setup(uint32_t initCount);
    // Appends the entry and a line feed when the switch of its kind is on.
    void Write(const std::u16string &entry, uint32_t kind) const;
    bool Enabled() const { return m_lLogFlags != 0; }

private:
    uint32_t m_lLogFlags = 0;
    std::u16string m_sLogFile;
};

// "  Data: " and "%02X " for each byte.
std::u16string DataLine(const uint8_t *data, int32_t count);

}  // namespace xvr
