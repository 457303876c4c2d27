#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"

namespace xvr::platform {

std::FILE *OpenFile(const std::u16string &path, const char *mode) {
    if (mode == nullptr) return nullptr;
    const std::string name = WideToAnsi(path);
    // A path with a NUL in it would name a different file.
    if (name.find('\0') != std::string::npos) return nullptr;
    // "e": the descriptor must not leak into programs the host starts.
    std::string flags = mode;
    if (flags.find('e') == std::string::npos) flags += 'e';
    return std::fopen(name.c_str(), flags.c_str());
}

bool AppendToFile(const std::u16string &path, std::string_view header, std::string_view bytes) {
    const std::string name = WideToAnsi(path);
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat st;
    std::string block;
    std::string_view out = bytes;
    if (!header.empty() && fstat(fd, &st) == 0 && st.st_size == 0) {
        block.reserve(header.size() + bytes.size());
        block.append(header).append(bytes);
        out = block;
    }
    bool ok = true;
    while (!out.empty()) {
        const ssize_t n = ::write(fd, out.data(), out.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        out.remove_prefix(static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
}

}  // namespace xvr::platform
