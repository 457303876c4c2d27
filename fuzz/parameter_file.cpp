// The parameter file as anyone may write it: any bytes, byte-order marks,
// odd lengths, huge lines.  The reader returns a value or the default, cut
// to the size asked for, and never reads or writes beyond what it holds.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "platform/platform.h"

namespace {

const std::string &FilePath() {
    static const std::string path = "/tmp/xvr-fuzz-profile-" + std::to_string(getpid()) + ".XVR";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace xvr;
    fuzz::Input input(data, size);
    const uint32_t limit = input.Byte();
    const std::u16string section = input.WideText();
    const std::u16string key = input.WideText();
    {
        std::ofstream file(FilePath(), std::ios::binary | std::ios::trunc);
        const std::string body = input.Rest();
        file.write(body.data(), static_cast<std::streamsize>(body.size()));
    }
    const platform::Profile profile(platform::AnsiToWide(FilePath()));
    for (const auto &[s, k] :
         {std::pair{section, key}, std::pair{std::u16string(u"XVR"), std::u16string(u"LogData")},
          std::pair{std::u16string(u"COM"), std::u16string(u"COM3")}}) {
        const std::u16string value = profile.String(s, k, u"default", limit);
        if (limit == 0 ? !value.empty() : value.size() > limit - 1) std::abort();
        const std::string narrow =
            profile.StringA(platform::WideToAnsi(s), platform::WideToAnsi(k), "default", limit);
        if (limit == 0 ? !narrow.empty() : narrow.size() > limit - 1) std::abort();
    }
    return 0;
}
