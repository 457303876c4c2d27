// The same host in C++: a small RAII wrapper that turns failed calls into
// exceptions carrying the library's status and text, then a query.
//
//   identify_cpp [DRIVER [ADDRESS]]    default: TCP/IP 127.0.0.1:5025
#include <quvxvr.h>

#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void Check(int32_t status, const char *what) {
    if (status >= 0) return;
    char text[512];
    flXVRErrorTextGet(0, text, static_cast<int32_t>(sizeof text));
    throw std::runtime_error(std::string(what) + " failed with status " + std::to_string(status) +
                             ": " + text);
}

class Library {
public:
    Library() {
        Check(flXVRInit(nullptr, &m_handle, XVR_INTERFACE_VERSION, XVR_INTERFACE_VERSION), "init");
    }
    ~Library() { flXVRDeInit(m_handle); }
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
    uint32_t handle() const { return m_handle; }

private:
    uint32_t m_handle = 0;
};

class Device {
public:
    Device(const Library &library, const std::string &driver, const std::string &address) {
        Check(flXVROpenWithTimeout(library.handle(), &m_handle, driver.c_str(), address.c_str(),
                                   2000),
              "open");
    }
    ~Device() { flXVRClose(m_handle); }
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    std::string Query(const std::string &command) {
        int32_t length = static_cast<int32_t>(command.size());
        Check(flXVRWrite(m_handle, reinterpret_cast<const uint8_t *>(command.data()), &length,
                         XVR_WRITE_APPEND_DELIMITER),
              "write");
        std::vector<uint8_t> buffer(4096);
        length = static_cast<int32_t>(buffer.size());
        Check(flXVRRead(m_handle, buffer.data(), &length, XVR_READ_STOP_AT_DELIMITER), "read");
        return std::string(buffer.begin(), buffer.begin() + length);
    }

    std::string Get(const std::string &name) {
        char value[256];
        Check(flXVRParamGet(m_handle, name.c_str(), value, static_cast<int32_t>(sizeof value)),
              "get");
        return value;
    }

private:
    uint32_t m_handle = 0;
};

}  // namespace

int main(int argc, char **argv) {
    try {
        Library library;
        Device device(library, argc > 1 ? argv[1] : "TCP/IP",
                      argc > 2 ? argv[2] : "127.0.0.1:5025");
        std::cout << device.Query("*IDN?") << "\n";
        std::cout << "delimiter " << device.Get("DELIMITER") << "\n";
        return 0;
    } catch (const std::exception &e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
