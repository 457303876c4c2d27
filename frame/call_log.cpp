#include "frame/call_log.h"

#include <cstdio>
#include <string>

#include "base/parameter_file.h"
#include "base/strings.h"
#include "platform/platform.h"

namespace xvr {

namespace {

bool SwitchOn(const platform::Profile &paramFile, const char16_t *key) {
    // Ten characters of room: at most nine are compared.
    std::u16string v = paramFile.String(u"XVR", key, u"No", 10);
    return ToUpper(v) == u"YES";
}

void PutUnit(std::string &out, char16_t c) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
}

const char kBom[] = "\xFF\xFE";

}  // namespace

void CallLog::Setup(uint32_t initCount) {
    if (initCount != 0) return;
    const platform::Profile paramFile(ParameterFilePath());
    uint32_t flags = 0;
    if (SwitchOn(paramFile, u"LogFunctions")) flags |= kFunctions;
    if (SwitchOn(paramFile, u"LogData")) flags |= kData;
    std::lock_guard<std::mutex> lock(m_Lock);
    m_lLogFlags.store(flags, std::memory_order_relaxed);
    if (flags == 0) return;
    m_sLogFile = LogFilePath();
    if (std::FILE *f = platform::OpenFile(m_sLogFile, "wb")) {
        std::fwrite(kBom, 1, 2, f);
        std::fclose(f);
    }
}

void CallLog::Write(const std::u16string &entry) const {
    if (m_lLogFlags.load(std::memory_order_relaxed) & kFunctions) Append(&entry, nullptr);
}

void CallLog::Write(const std::u16string &entry, const uint8_t *data, int32_t count) const {
    const uint32_t flags = m_lLogFlags.load(std::memory_order_relaxed);
    if (flags == 0) return;
    const std::u16string dataLine = (flags & kData) ? DataLine(data, count) : std::u16string();
    Append((flags & kFunctions) ? &entry : nullptr, (flags & kData) ? &dataLine : nullptr);
}

void CallLog::Append(const std::u16string *entry, const std::u16string *dataLine) const {
    std::string bytes;
    for (const std::u16string *line : {entry, dataLine}) {
        if (!line) continue;
        bytes.reserve(bytes.size() + line->size() * 2 + 4);
        for (char16_t c : *line) {
            if (c == u'\n') PutUnit(bytes, u'\r');
            PutUnit(bytes, c);
        }
        PutUnit(bytes, u'\r');
        PutUnit(bytes, u'\n');
    }
    if (bytes.empty()) return;
    std::lock_guard<std::mutex> lock(m_Lock);
    // A file that is new or was emptied behind our back starts with a BOM too.
    platform::AppendToFile(m_sLogFile, std::string_view(kBom, 2), bytes);
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
