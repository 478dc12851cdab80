// The TECHKON measurement service's text messages: building a request,
// cutting a received frame into its messages, reading TYPE, NAME and DATA,
// the value lists of measured samples, the property code tables and the
// events the service announces. Pure functions: no threads, no sockets,
// nothing thrown, so they are tested and fuzzed on their own.
//
// A message on the wire, every line ended by CR LF:
//   BEGIN_MESSAGE / TYPE: <type> / NAME: <name> / BEGIN_DATA / <data> /
//   END_DATA / END_MESSAGE
// where the data line is left out when the data are empty.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace measure::techkon {

// Builds one message; TYPE and NAME as given (the service's own spelling).
std::string buildMessage(std::string_view type, std::string_view name, std::string_view data);

// One received message. TYPE and NAME are kept as received; the handler
// compares them in upper case.
struct ParsedMessage {
    std::string type;
    std::string name;
    std::string data;
    // The service's messages always name both; anything else is noise.
    bool valid() const { return !type.empty() && !name.empty(); }
};

// TYPE is the text between "TYPE: " and the following "\r\nNAME:", NAME the
// text between "NAME: " and "\r\nBEGIN_DATA", DATA the text between
// "BEGIN_DATA\r\n" and "\r\nEND_DATA" (empty without a data line). A part
// that cannot be found is empty.
ParsedMessage parseMessage(std::string_view message);

// The transport hands on everything one read brought, so a frame may hold
// several messages: it is cut at each "BEGIN_MESSAGE" (bytes ahead of the
// first are dropped) and the pieces come back in order.
std::vector<std::string_view> splitMessages(std::string_view frame);

// ASCII upper case, as the service's names are compared.
std::string upperCase(std::string_view text);

// The most values one list may carry: 31 bands of 4096 samples. A longer
// list is refused whole rather than stored in part.
inline constexpr size_t kMaxValues = 31u * 4096u;

// Reads a value list: tokens separated by tab, CR or LF (empty tokens between
// separators are skipped); decimal commas are read as points; each token must
// be a whole real number (blanks around it allowed). Nullopt when a token is
// not a number or there are more than `maxValues`: the list is refused whole.
std::optional<std::vector<double>> readValueList(std::string_view data, size_t maxValues = kMaxValues);

// The instrument properties the driver reads and writes.
enum class Property {
    MeasurementMode,
    MeasurementCondition,
    Illuminant,
    Observer,
    WhiteReference,
    PolarizationFilter,
    DeviceType,  // read only
};
inline constexpr int kPropertyCount = 7;

// Codes of the driver (the record's numbers where they have one).
namespace code {
inline constexpr int kModeLab = 10;
inline constexpr int kModeRemission = 12;
inline constexpr int kModeXYZ = 16;
inline constexpr int kModeScan = 27;
inline constexpr int kIlluminantD50 = 2;
inline constexpr int kObserver2 = 0;
inline constexpr int kWhiteAuto = 0;
inline constexpr int kPolarizationOff = 1;
}  // namespace code

// The property's name on the wire ("MeasurementMode").
const char* propertyName(Property property);
// The property named by `upperName` ("ILLUMINANT"), if it is one.
std::optional<Property> propertyNamed(std::string_view upperName);
// The wire text for a code; a code without a text gets the property's
// fallback ("Remission", "M0", "D50", "O2", "AUTO", "OFF"; DeviceType "").
const char* propertyText(Property property, int code);
// The code a property reads as before a reply says otherwise.
int notKnownCode(Property property);
// The code of a received text (compared in upper case), or the not-known
// code. The measurement mode recognises only "LAB", "XYZ" and "SCAN": a
// "Remission" reply leaves it not known.
int propertyCode(Property property, std::string_view text);

// What the service announces in an "Init" or "SendMessage" message, as the
// driver's callback codes.
namespace event {
inline constexpr int kNone = 0;
inline constexpr int kLampError = 1;
inline constexpr int kConnected = 2;
inline constexpr int kDisconnected = 3;
inline constexpr int kSpotSample = 4;
inline constexpr int kScanSample = 5;
inline constexpr int kCalibrationPaper = 19;
inline constexpr int kCalibrationAbsolute = 20;
}  // namespace event

// The callback code of an event (NAME and DATA as received); kNone for the
// events the driver ignores and for names it does not know.
int eventCode(std::string_view name, std::string_view data);

}  // namespace measure::techkon
