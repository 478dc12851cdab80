// What the i1 drivers read from the SDK's texts: the version it reports and
// the instrument's option answers (lists such as "M0;M1;M2", flags "0"/"1",
// the hardware revision letter, the serial number). The SDK is another
// vendor's code; its texts are taken as they come, of any length and content.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace measure::xrite {

// The first number in a version text ("i1Pro SDK 4.2.1" gives 4.2), read from
// its first digit or point; false for null or a text without one.
bool sdkVersionNumber(const char* text, double& version);

// The instrument's serial number from its "SerialNumber" text: the leading
// decimal digits, saturated at the largest 32-bit value; 0 when there are none.
uint32_t serialNumberFromText(const std::string& text);

// The option bits (MEASURE2STRUCT::OptionBits) an i1Pro's answers announce,
// asked through `option` (key -> the SDK's text for it): dual scan and spot,
// the zebra ruler, revision A, the measurement conditions, the UV-cut filter,
// and the low-resolution and single-measurement abilities every i1Pro has.
uint32_t i1ProAbilityBits(const std::function<std::string(const char* key)>& option);

// Whether an SDK list ("M0;M1;M2") names `item` as one of its entries:
// entries are separated by ';', ',' or blanks, and compared whole.
bool listNames(const std::string& list, const std::string& item);

// The option bits an i1Pro3's answers announce: the zebra ruler, revision A,
// the low-resolution and single-measurement abilities, and the measurement
// conditions its head offers (M0, M1, M2 and emission without the M3
// filter, M3 and the UV cut with it).
uint32_t i1Pro3AbilityBits(const std::function<std::string(const char* key)>& option);
// Of those, the measurement conditions and the UV cut only.
uint32_t i1Pro3ConditionBits(const std::function<std::string(const char* key)>& option);

}  // namespace measure::xrite
