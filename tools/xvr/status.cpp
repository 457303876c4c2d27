#include "status.h"

#include <cstring>

#include <quvxvr.h>

#include "status_table.inc"

namespace xvrcli {

namespace {

// The word resources/statuses.txt uses for a call.
const char *CallWord(Call call) {
    switch (call) {
    case Call::Init: return "init";
    case Call::Open: return "open";
    case Call::Close: return "close";
    case Call::Read: return "read";
    case Call::Write: return "write";
    case Call::ParamGet: return "get";
    case Call::ParamSet: return "set";
    case Call::Catalogue: return "catalogue";
    }
    return "";
}

bool Names(const char *calls, Call call) {
    const std::string word = std::string(" ") + CallWord(call) + " ";
    return std::strstr(calls, word.c_str()) != nullptr;
}

}  // namespace

const char *StatusName(int32_t status) {
#define XVR_STATUS_NAME(value, name, internal, meaning) \
    if (status == (value)) return #name;
    XVR_STATUS_MAP(XVR_STATUS_NAME)
#undef XVR_STATUS_NAME
    return "";
}

std::string StatusMeaning(int32_t status, Call call) {
#define XVR_STATUS_CALL_MEANING(name, calls, meaning) \
    if (status == (name) && Names(calls, call)) return meaning;
    XVR_STATUS_CALL_MAP(XVR_STATUS_CALL_MEANING)
#undef XVR_STATUS_CALL_MEANING
#define XVR_STATUS_MEANING(value, name, internal, meaning) \
    if (status == (value)) return meaning;
    XVR_STATUS_MAP(XVR_STATUS_MEANING)
#undef XVR_STATUS_MEANING
    return "a status this program does not know";
}

}  // namespace xvrcli
