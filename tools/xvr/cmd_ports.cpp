// xvr ports: the serial ports this machine has, and on Linux the COM names
// that the parameter file maps onto them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "param_rules.h"
#include "system.h"
#include "trim.h"
#include "utf.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace xvrcli {

namespace {

#ifdef _WIN32
std::string Narrow(const wchar_t *text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return "";
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// Port name and the system's device name, from the registry's list of
// serial ports.
std::vector<std::pair<std::string, std::string>> SystemPorts() {
    std::vector<std::pair<std::string, std::string>> ports;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0; i < 4096; ++i) {
        wchar_t name[256], data[256];
        DWORD nameSize = 256, dataSize = sizeof data - sizeof(wchar_t), type = 0;
        const LONG r = RegEnumValueW(key, i, name, &nameSize, nullptr, &type,
                                     reinterpret_cast<BYTE *>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataSize / sizeof(wchar_t)] = L'\0';
        ports.emplace_back(Narrow(data), Narrow(name));
    }
    RegCloseKey(key);
    return ports;
}

// Without the registry's list: the COMn names among the system's device names.
std::vector<std::pair<std::string, std::string>> DosDevicePorts() {
    std::vector<std::pair<std::string, std::string>> ports;
    std::vector<char> names(1 << 16);
    const DWORD n = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
    for (const char *p = names.data(); p < names.data() + n && *p; p += std::strlen(p) + 1) {
        const std::string name = p;
        if (name.size() > 3 && name.compare(0, 3, "COM") == 0 &&
            name.find_first_not_of("0123456789", 3) == std::string::npos) {
            char target[1024] = {};
            QueryDosDeviceA(name.c_str(), target, sizeof target - 1);
            ports.emplace_back(name, target);
        }
    }
    return ports;
}

void PrintPorts() {
    auto ports = SystemPorts();
    if (ports.empty()) ports = DosDevicePorts();
    if (ports.empty()) std::printf("No serial ports are known to the system.\n");
    for (const auto &p : ports) std::printf("%-8s %s\n", p.first.c_str(), p.second.c_str());
}
#else
std::string ReadTrimmed(const std::string &path) {
    std::string text;
    if (!ReadWholeFile(path, &text)) return "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// The driver of the port's device.  Newer kernels put a generic "port"
// device of the serial-base bus between a UART and its driver: look past it.
std::string DriverName(const std::string &devicePath) {
    char real[PATH_MAX];
    if (!realpath(devicePath.c_str(), real)) return "";
    std::string dir = real;
    for (int level = 0; level < 4 && dir.size() > 1; ++level, dir.resize(dir.rfind('/'))) {
        char target[PATH_MAX];
        const ssize_t n = readlink((dir + "/driver").c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        const std::string t(target, static_cast<size_t>(n));
        if (t.find("/serial-base/") == std::string::npos) return t.substr(t.rfind('/') + 1);
    }
    return "";
}

// "USB 0403:6001" of the nearest USB device above the port, if any.
std::string UsbIds(const std::string &devicePath) {
    char real[PATH_MAX];
    if (!realpath(devicePath.c_str(), real)) return "";
    for (std::string dir = real; dir.size() > 1 && dir.rfind("/sys/devices", 0) == 0;
         dir.resize(dir.rfind('/'))) {
        const std::string vendor = ReadTrimmed(dir + "/idVendor");
        const std::string product = ReadTrimmed(dir + "/idProduct");
        if (!vendor.empty() && !product.empty()) return "USB " + vendor + ":" + product;
    }
    return "";
}

void PrintPorts() {
    const std::string root = "/sys/class/tty/";
    std::vector<std::string> names;
    if (DIR *dir = opendir(root.c_str())) {
        while (const dirent *e = readdir(dir))
            if (e->d_name[0] != '.' && access((root + e->d_name + "/device").c_str(), F_OK) == 0)
                names.emplace_back(e->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    size_t unused = 0;
    std::printf("Serial ports (/sys/class/tty):\n");
    for (const auto &name : names) {
        const std::string device = root + name + "/device";
        const std::string driver = DriverName(device);
        // The 8250 driver lists every port it could drive; type 0 has no UART.
        if (ReadTrimmed(root + name + "/type") == "0") {
            ++unused;
            continue;
        }
        std::printf("  /dev/%-12s %-14s %s\n", name.c_str(), driver.empty() ? "-" : driver.c_str(),
                    UsbIds(device).c_str());
    }
    if (names.size() == unused) std::printf("  none found\n");
    if (unused) std::printf("  (%zu ports without a UART not shown)\n", unused);
}
#endif

#ifndef _WIN32
void PrintMappings() {
    const std::string path = ParameterDirectory() + "XVR.XVR";
    bool found = false;
    const auto mappings = ComMappings(&found);
    if (!found) {
        std::printf("\nNo parameter file %s: COMn means /dev/ttyS<n-1>.\n", path.c_str());
        return;
    }
    std::printf("\nCOM names in %s (others: COMn means /dev/ttyS<n-1>):\n", path.c_str());
    for (const auto &m : mappings) std::printf("  %-8s -> %s\n", m.first.c_str(), m.second.c_str());
    if (mappings.empty()) std::printf("  none\n");
}
#endif

}  // namespace

std::vector<std::pair<std::string, std::string>> ComMappings(bool *found) {
    std::vector<std::pair<std::string, std::string>> mappings;
    std::string bytes;
    *found = ReadWholeFile(ParameterDirectory() + "XVR.XVR", &bytes);
    Encoding encoding;
    std::istringstream in(DecodeFile(bytes, &encoding));
    bool inCom = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string trimmed = NormalizedName(line);
        if (!trimmed.empty() && trimmed[0] == '[') {
            inCom = trimmed.rfind("[COM]", 0) == 0;
            continue;
        }
        const auto eq = line.find('=');
        if (!inCom || eq == std::string::npos || trimmed[0] == ';') continue;
        mappings.emplace_back(NormalizedName(line.substr(0, eq)),
                              Trim(line.substr(eq + 1, line.find(';', eq) - eq - 1)));
    }
    return mappings;
}

std::string ComMapping(const std::string &name) {
    bool found = false;
    for (const auto &m : ComMappings(&found))
        if (m.first == NormalizedName(name)) return m.second;
    return "";
}

int RunPorts(const Options &) {
    PrintPorts();
#ifndef _WIN32
    PrintMappings();
#endif
    return kExitOk;
}

}  // namespace xvrcli
