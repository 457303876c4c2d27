// xvr-sim's instrument file and the commands its instrument answers: any
// file parses or names its faulty line, and any command gets an answer or
// none.
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz_input.h"
#include "instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    xvr::fuzz::Input input(data, size);
    std::istringstream file(input.Text());
    xvrsim::InstrumentModel model;
    std::string error;
    if (!xvrsim::ParseInstrument(file, &model, &error)) {
        if (error.rfind("line ", 0) != 0) std::abort();
        model = xvrsim::DefaultInstrument();
    }
    xvrsim::Instrument instrument(model);
    std::string pending;
    for (const std::string &line : xvrsim::TakeLines(&pending, input.Rest())) {
        // A bulk answer of up to 256 MiB is the simulator's to give, not a
        // finding; keep the fuzzer to answers of a few megabytes.
        if (line.find_first_of("0123456789") != std::string::npos &&
            line.size() - line.find_first_of("0123456789") > 6)
            continue;
        instrument.Handle(line);
    }
    return 0;
}
