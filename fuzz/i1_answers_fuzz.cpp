// libFuzzer target: the i1 SDK's texts. The input is split at zero bytes into
// the answers to the option keys in the order the driver asks them (mode
// list, zebra ruler flag, revision, illuminations, UV-cut flag), the serial
// number and the version text; a key without an answer gets an empty text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drivers/xrite/i1_answers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace measure::xrite;
    std::vector<std::string> answers(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            answers.emplace_back();
        else
            answers.back().push_back(static_cast<char>(data[i]));
    }
    size_t next = 0;
    auto answer = [&](const char*) { return next < answers.size() ? answers[next++] : std::string(); };
    volatile uint32_t bits = i1ProAbilityBits(answer);
    volatile uint32_t serial = serialNumberFromText(answer(nullptr));
    double version = 0;
    (void)sdkVersionNumber(answer(nullptr).c_str(), version);
    (void)bits;
    (void)serial;
    return 0;
}
