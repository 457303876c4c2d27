#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "options.h"

#ifdef _WIN32
#include <process.h>
#define XVR_GETPID _getpid
#else
#include <unistd.h>
#define XVR_GETPID getpid
#endif

namespace xvrcli {

namespace fs = std::filesystem;

namespace {
std::string Reason(int error) { return std::strerror(error); }
}  // namespace

void WriteChecked(std::FILE *to, const std::string &data, const std::string &name) {
    errno = 0;
    if (std::fwrite(data.data(), 1, data.size(), to) != data.size() || std::ferror(to))
        throw DeviceError("cannot write " + name + ": " + Reason(errno ? errno : EIO));
}

void FlushChecked(std::FILE *to, const std::string &name) {
    errno = 0;
    if (std::fflush(to) != 0 || std::ferror(to))
        throw DeviceError("cannot write " + name + ": " + Reason(errno ? errno : EIO));
}

OutputFile::OutputFile(std::string name) : m_name(std::move(name)) {
    std::error_code error;
    const fs::file_status status = fs::status(m_name, error);
    if (fs::is_directory(status))
        throw DeviceError("cannot create " + m_name + ": it is a directory");
    // Devices and pipes are written as they are; they cannot be replaced.
    const bool inPlace = fs::exists(status) && !fs::is_regular_file(status);
    if (!inPlace) m_temporary = m_name + ".xvr-" + std::to_string(XVR_GETPID()) + ".part";
    const std::string &open = inPlace ? m_name : m_temporary;
    errno = 0;
    m_file = std::fopen(open.c_str(), "wb");
    if (!m_file) throw DeviceError("cannot create " + open + ": " + Reason(errno ? errno : EIO));
}

OutputFile::~OutputFile() {
    if (m_file) std::fclose(m_file);
    if (!m_temporary.empty()) std::remove(m_temporary.c_str());
}

void OutputFile::Commit() {
    FlushChecked(m_file, m_name);
    errno = 0;
    const int closed = std::fclose(m_file);
    m_file = nullptr;
    if (closed != 0)
        throw DeviceError("cannot write " + m_name + ": " + Reason(errno ? errno : EIO));
    if (m_temporary.empty()) return;
    std::error_code error;
    fs::rename(m_temporary, m_name, error);
    if (error) throw DeviceError("cannot replace " + m_name + ": " + error.message());
    m_temporary.clear();
}

}  // namespace xvrcli
