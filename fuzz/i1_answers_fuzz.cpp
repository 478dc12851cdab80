// libFuzzer target: the i1 SDK's texts. The input is split at zero bytes into
// the answers to the option keys in the order the drivers ask them (the
// i1Pro's mode list, zebra ruler flag, revision, illuminations, UV-cut flag;
// the i1Pro3's zebra ruler flag, revision, illuminations and head), the
// serial number and the version text; a key without an answer gets an empty text.
// The texts after those are a host's option key, the SDK's answer to it and
// a value the host sets, run through the pass-through exports' translations;
// the whole input is also read as an SDK buffer without terminator.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drivers/xrite/i1_answers.h"
#include "interface/i1_passthrough.h"

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
    bits = bits | i1Pro3AbilityBits(answer);
    volatile uint32_t serial = serialNumberFromText(answer(nullptr));
    double version = 0;
    (void)sdkVersionNumber(answer(nullptr).c_str(), version);

    const std::string hostKey = answer(nullptr);
    const std::string sdkAnswer = answer(nullptr);
    std::string setKey = hostKey, setValue = answer(nullptr);
    volatile size_t translated = measure::i1pass::sdkKeyForGet(hostKey).size() +
                                 measure::i1pass::hostAnswer(hostKey, sdkAnswer).size();
    measure::i1pass::sdkKeyValueForSet(setKey, setValue);
    translated = translated + setKey.size() + setValue.size() +
                 measure::i1pass::boundedText(reinterpret_cast<const char*>(data), size).size();
    (void)translated;
    (void)bits;
    (void)serial;
    return 0;
}
