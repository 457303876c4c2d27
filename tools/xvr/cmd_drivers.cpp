// xvr drivers: the library's catalogue, as a host would offer it.
#include <quvxvr.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"

namespace xvrcli {

namespace {

std::vector<std::string> ListValues(uint32_t module, const std::string &driver) {
    std::vector<std::string> values;
    char text[64];
    // The lists are short (255 at most); the bound only guards a runaway.
    for (int32_t i = 0; i < 4096; ++i) {
        if (flXVREnumGet(module, driver.c_str(), i, text, sizeof text) < 0) break;
        text[sizeof text - 1] = '\0';
        values.emplace_back(text);
    }
    return values;
}

void PrintDriver(uint32_t module, const std::string &driver, bool all, const char *note) {
    char param[64] = {};
    uint32_t type = 0, param1 = 0, param2 = 0;
    const int32_t status =
        flXVRDriverParamGet(module, driver.c_str(), param, sizeof param, &type, &param1, &param2);
    if (status < 0) Fail("cannot describe driver " + driver, status, Call::Catalogue);
    param[sizeof param - 1] = '\0';
    std::printf("%-9s %-12s", driver.c_str(), param);
    if (type != 2) {
        const char *form = "text";
        for (const auto &d : Drivers())
            if (driver == d.name) form = d.address;
        std::printf(" %s%s\n", form, note);
        return;
    }
    std::vector<std::string> values = ListValues(module, driver);
    std::string gpibNote;
    bool gpib = false;
    for (const auto &known : Drivers())
        gpib = gpib || (driver == known.name && known.transport == Transport::Gpib);
    if (gpib && !values.empty()) {
        // The catalogue counts from Dev 1 to Dev31, but a bus has the
        // addresses 0 to 30 and the open is checked against them.
        gpibNote = " (the catalogue lists " + values.front() + " .. " + values.back() + ")";
        values.clear();
        for (int address = 0; address <= 30; ++address) {
            char text[16];
            std::snprintf(text, sizeof text, "Dev%2d", address);
            values.emplace_back(text);
        }
    }
    const std::string noteText = gpibNote + note;
    note = noteText.c_str();
    if (values.empty()) {
        std::printf(" list (empty)%s\n", note);
    } else if (all) {
        std::printf(" list of %zu%s:\n", values.size(), note);
        for (const auto &v : values) std::printf("  %s\n", v.c_str());
    } else {
        std::printf(" %s .. %s (%zu values)%s\n", values.front().c_str(), values.back().c_str(),
                    values.size(), note);
    }
}

}  // namespace

int RunDrivers(const Options &o) {
    Library library;
    uint32_t count = 0;
    int32_t status = flXVRDriverCountGet(library.handle(), &count);
    if (status < 0) Fail("cannot count the drivers", status, Call::Catalogue);
    std::vector<std::string> listed;
    for (uint32_t i = 0; i < count && i < 256; ++i) {
        char name[64] = {};
        status = flXVRDriverNameGet(library.handle(), i, name, sizeof name);
        if (status < 0) Fail("cannot name driver " + std::to_string(i), status, Call::Catalogue);
        name[sizeof name - 1] = '\0';
        PrintDriver(library.handle(), name, o.all, "");
        listed.push_back(name);
    }
    // Opens also take this driver, although the catalogue does not list it.
    PrintDriver(library.handle(), "QUV GPIB", o.all, " (not listed by the catalogue)");
    // And those it lists only with Catalogue=all in section XVR, where the
    // library has them.
    for (const auto &d : Drivers()) {
        char param[64];
        uint32_t type = 0, param1 = 0, param2 = 0;
        if (d.name == std::string("QUV GPIB") ||
            std::find(listed.begin(), listed.end(), d.name) != listed.end() ||
            flXVRDriverParamGet(library.handle(), d.name, param, sizeof param, &type, &param1,
                                &param2) < 0)
            continue;
        PrintDriver(library.handle(), d.name, o.all,
                    " (listed by the catalogue with Catalogue=all)");
    }
    return kExitOk;
}

}  // namespace xvrcli
