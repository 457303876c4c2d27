#include "frame/call_log.h"

#include <cstdio>
#include <string>

#include "base/parameter_file.h"
#include "base/strings.h"
#include "platform/platform.h"

namespace xvr {

namespace {

bool SwitchOn(const std::u16string &paramFile, const char16_t *key) {
    // Ten characters of room: at most nine are compared.
    std::u16string v = platform::ProfileString(paramFile, u"XVR", key, u"No", 10);
    return ToUpper(v) == u"YES";
}

void PutUnit(std::string &out, char16_t c) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
}

const char kBom[] = "\xFF\xFE";

}  // namespace

void CallLog::Setup(uint32_t initCount) {
    std::u16string paramFile = ParameterFilePath();
    if (initCount != 0) return;
    m_lLogFlags = 0;
    if (SwitchOn(paramFile, u"LogFunctions")) m_lLogFlags |= kFunctions;
    if (SwitchOn(paramFile, u"LogData")) m_lLogFlags |= kData;
    if (m_lLogFlags == 0) return;
    m_sLogFile = LogFilePath();
    if (std::FILE *f = platform::OpenFile(m_sLogFile, "wb")) {
        std::fwrite(kBom, 1, 2, f);
        std::fclose(f);
    }
}

void CallLog::Write(const std::u16string &entry, uint32_t kind) const {
    if ((m_lLogFlags & kind) == 0) return;
    std::FILE *f = platform::OpenFile(m_sLogFile, "ab");
    if (!f) return;
    std::string bytes;
    bytes.reserve(entry.size() * 2 + 8);
    // A file that is new or was emptied behind our back starts with a BOM too.
    std::fseek(f, 0, SEEK_END);
    if (std::ftell(f) == 0) bytes.append(kBom, 2);
    for (char16_t c : entry) {
        if (c == u'\n') PutUnit(bytes, u'\r');
        PutUnit(bytes, c);
    }
    PutUnit(bytes, u'\r');
    PutUnit(bytes, u'\n');
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::u16string DataLine(const uint8_t *data, int32_t count) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string line = u"  Data: ";
    if (count <= 0 || !data) return line;
    line.reserve(line.size() + static_cast<size_t>(count) * 3);
    for (int32_t i = 0; i < count; ++i) {
        line.push_back(kHex[data[i] >> 4]);
        line.push_back(kHex[data[i] & 0xF]);
        line.push_back(u' ');
    }
    return line;
}

}  // namespace xvr
