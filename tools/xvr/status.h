// What a library status means, in English, beside the library's German text.
#pragma once

#include <cstdint>
#include <string>

namespace xvrcli {

// The call that returned a status: a few values mean different things for
// different calls.
enum class Call { Init, Open, Close, Read, Write, ParamGet, ParamSet, Catalogue };

// The header's name of a status ("XVR_ERR_TRANSFER"), or "" for a value it
// does not name.
const char *StatusName(int32_t status);
// One English sentence for a failure status of `call`.
std::string StatusMeaning(int32_t status, Call call);

}  // namespace xvrcli
