// The tables in resources/ against what was built from them: the public
// header, the library's status enum, xvr's status names and meanings, its
// parameter rules and 'xvr params'.  The tables are read as they are now, so
// a stale or hand-edited form shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/status.h"
#include "options.h"
#include "param_rules.h"
#include "status.h"

namespace xvrcli {
namespace {

std::vector<std::vector<std::string>> Rows(const char *table) {
    std::ifstream in(std::string(XVR_SOURCE_DIR) + "/resources/" + table);
    EXPECT_TRUE(in) << table;
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (line.back() == '\t') fields.emplace_back();
        rows.push_back(fields);
    }
    return rows;
}

std::vector<std::string> Words(const std::string &text, char separator = ' ') {
    std::vector<std::string> words;
    std::istringstream split(text);
    for (std::string w; std::getline(split, w, separator);)
        if (!w.empty()) words.push_back(w);
    return words;
}

struct Built {
    int32_t table;
    const char *name;
    int32_t header;
    int32_t internal;
};

TEST(Tables, StatusesAgreeInHeaderEnumAndXvr) {
    const Built built[] = {
#define XVR_BUILT(value, name, internal, meaning) {value, #name, name, xvr::internal},
        XVR_STATUS_MAP(XVR_BUILT)
#undef XVR_BUILT
    };
    const std::map<std::string, Call> calls = {
        {"init", Call::Init},   {"open", Call::Open},    {"close", Call::Close}, {"read", Call::Read},
        {"write", Call::Write}, {"get", Call::ParamGet}, {"set", Call::ParamSet}, {"catalogue", Call::Catalogue}};
    size_t n = 0;
    std::map<Call, std::string> special;
    std::string general;
    int32_t value = 0;
    auto checkMeanings = [&] {
        for (const auto &[word, call] : calls) {
            const auto it = special.find(call);
            EXPECT_EQ(StatusMeaning(value, call), it == special.end() ? general : it->second)
                << value << " " << word;
        }
    };
    for (const auto &row : Rows("statuses.txt")) {
        if (row[0].empty()) {  // the meaning for some calls
            ASSERT_EQ(row.size(), 3u);
            for (const auto &word : Words(row[1])) special[calls.at(word)] = row[2];
            continue;
        }
        if (n > 0) checkMeanings();
        ASSERT_EQ(row.size(), 4u) << row[0];
        ASSERT_LT(n, std::size(built)) << row[1] << " is in the table but was not built";
        value = std::stoi(row[0]);
        general = row[3];
        special.clear();
        EXPECT_EQ(built[n].name, row[1]);
        EXPECT_EQ(built[n].table, value) << row[1];
        EXPECT_EQ(built[n].header, value) << row[1];
        EXPECT_EQ(built[n].internal, value) << row[1];
        EXPECT_EQ(StatusName(value), row[1]);
        ++n;
    }
    checkMeanings();
    EXPECT_EQ(n, std::size(built));
    EXPECT_STREQ(StatusName(-5), "");
}

TEST(Tables, ParametersAgreeWithXvrsRulesAndList) {
    const auto rows = Rows("parameters.txt");
    std::vector<std::string> drivers;
    std::set<std::string> names;
    for (const auto &row : rows) {
        ASSERT_EQ(row.size(), 6u) << row[0];
        names.insert(row[0]);
        for (const auto &d : Words(row[1], ','))
            if (std::find(drivers.begin(), drivers.end(), d) == drivers.end()) drivers.push_back(d);
    }
    std::vector<std::string> known;
    for (const auto &d : Drivers()) known.push_back(d.name);
    EXPECT_EQ(known, drivers);

    for (const auto &driverName : drivers) {
        const DriverInfo &driver = FindDriver(driverName);
        std::string listed;
        {
            std::FILE *f = std::tmpfile();
            ASSERT_TRUE(f);
            PrintParams(driver, f);
            std::rewind(f);
            for (int c; (c = std::fgetc(f)) != EOF;) listed += static_cast<char>(c);
            std::fclose(f);
        }
        for (const auto &name : names) {
            const std::vector<std::string> *row = nullptr;
            for (const auto &r : rows) {
                const auto on = Words(r[1], ',');
                if (r[0] == name && std::find(on.begin(), on.end(), driverName) != on.end()) row = &r;
            }
            const std::string what = driverName + " " + name;
            EXPECT_EQ(listed.find("\n  " + name + " ") != std::string::npos, row != nullptr) << what;
            if (!row) {
                EXPECT_THROW(CheckGetName(driver, name), UsageError) << what;
                continue;
            }
            const std::string &access = (*row)[2];
            const bool gets = access.find("get") != std::string::npos || access.find("wait") != std::string::npos;
            if (gets)
                EXPECT_NO_THROW(CheckGetName(driver, name)) << what;
            else
                EXPECT_THROW(CheckGetName(driver, name), UsageError) << what;
            EXPECT_EQ(Readable(driver, name), gets) << what;
            const std::string rule = (*row)[3];
            if (access.find("set") == std::string::npos) {
                EXPECT_THROW(CheckSetValue(driver, name, "1"), UsageError) << what;
            } else if (rule.rfind("words ", 0) == 0) {
                for (const auto &word : Words(rule.substr(6))) {
                    const auto open = word.find(":<");
                    const std::string typed = open == std::string::npos ? word : word.substr(0, open + 1) + "Key";
                    EXPECT_EQ(CheckSetValue(driver, name, typed), typed) << what;
                }
                EXPECT_THROW(CheckSetValue(driver, name, "NO SUCH WORD"), UsageError) << what;
            } else if (rule.rfind("ms ", 0) == 0 || rule.rfind("number ", 0) == 0) {
                const auto limits = Words(rule);
                EXPECT_EQ(CheckSetValue(driver, name, limits[1]), limits[1]) << what;
                EXPECT_THROW(CheckSetValue(driver, name, "x"), UsageError) << what;
            }
            // The default after the open is a value a set takes back.
            const std::string &fallback = (*row)[5];
            if (!fallback.empty() && access.find("set") != std::string::npos)
                EXPECT_NO_THROW(CheckSetValue(driver, name, fallback)) << what;
        }
    }
}

}  // namespace
}  // namespace xvrcli
