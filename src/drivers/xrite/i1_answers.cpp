#include "drivers/xrite/i1_answers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>

#include "measure/measure.h"

namespace measure::xrite {
namespace {

bool holds(const std::string& text, const char* item) {
    return text.find(item) != std::string::npos;
}

}  // namespace

bool sdkVersionNumber(const char* text, double& version) {
    if (text == nullptr) return false;
    const char* p = text;
    while (*p != '\0' && !std::isdigit(static_cast<unsigned char>(*p)) && *p != '.') ++p;
    char* end = nullptr;
    version = std::strtod(p, &end);
    return end != p;
}

uint32_t serialNumberFromText(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    uint64_t value = 0;
    constexpr uint64_t kLargest = std::numeric_limits<uint32_t>::max();
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min(kLargest, value * 10 + static_cast<uint64_t>(text[at] - '0'));
    return static_cast<uint32_t>(value);
}

uint32_t i1ProAbilityBits(const std::function<std::string(const char* key)>& option) {
    uint32_t bits = 0;
    const std::string modes = option("AvailableMeasurementModes");
    if (holds(modes, "DualReflectanceScan")) bits |= opDualScanOption;
    if (holds(modes, "DualReflectanceSpot")) bits |= opDualSpotOption;
    if (option("HasZebraRulerSensor") == "1") bits |= opZebraRullerSensor;
    bits |= opLowResolution | opSingleMeasurementOption;
    const std::string revision = option("HWRevision");
    if (!revision.empty() && revision[0] < 'B') bits |= opi1IsRevisionA;
    const std::string illuminations = option("AvailableIlluminationsKey");
    if (holds(illuminations, "M0")) bits |= opM0Mode;
    if (holds(illuminations, "M1")) bits |= opM1Mode;
    if (holds(illuminations, "M2")) bits |= opM2Mode;
    if (holds(illuminations, "Emissive")) bits |= opM3Emissive;
    if (holds(option("HasUVcutFilter"), "1")) bits |= opUVCutOption;
    return bits;
}

bool listNames(const std::string& list, const std::string& item) {
    if (item.empty()) return false;
    size_t at = 0;
    while (at < list.size()) {
        const size_t end = list.find_first_of(";, \t", at);
        const size_t stop = end == std::string::npos ? list.size() : end;
        if (list.compare(at, stop - at, item) == 0 && stop - at == item.size()) return true;
        at = stop + 1;
    }
    return false;
}

uint32_t i1Pro3AbilityBits(const std::function<std::string(const char* key)>& option) {
    uint32_t bits = opLowResolution | opSingleMeasurementOption;
    if (option("HasZebraRulerSensor") == "1") bits |= opZebraRullerSensor;
    const std::string revision = option("HWRevision");
    if (!revision.empty() && revision[0] < 'B') bits |= opi1IsRevisionA;
    return bits | i1Pro3ConditionBits(option);
}

uint32_t i1Pro3ConditionBits(const std::function<std::string(const char* key)>& option) {
    uint32_t bits = 0;
    const std::string illuminations = option("AvailableIlluminationsKey");
    const bool m3Head = holds(option("DeviceHeadSensorKey"), "M3");
    if (m3Head) {
        if (listNames(illuminations, "M3")) bits |= opM3Mode;
        bits |= opUVCutOption;
    } else {
        if (listNames(illuminations, "M0")) bits |= opM0Mode;
        if (listNames(illuminations, "M1")) bits |= opM1Mode;
        if (listNames(illuminations, "M2")) bits |= opM2Mode;
        if (listNames(illuminations, "Emissive")) bits |= opM3Emissive;
    }
    return bits;
}

}  // namespace measure::xrite
