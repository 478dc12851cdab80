// The FD-9 terminal's side of the wire: the discovery datagram and its reply,
// the three requests of its small HTTP interface (sent byte for byte as the
// terminal expects them, "HTTP1.1" included) and the readings of its replies.
// Pure functions without threads or sockets, never throwing, so that every
// reply a terminal (or anything posing as one) can send is tested and fuzzed
// here.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace measure::konica {

// The terminal answers this datagram, sent to the broadcast address.
inline constexpr std::string_view kDiscoveryRequest = "kmfd-9ta";
inline constexpr uint16_t kDiscoveryPort = 51005;
inline constexpr uint16_t kTerminalPort = 8800;
// A discovery reply is read 256 bytes at a time.
inline constexpr size_t kDiscoveryReplyBytes = 256;
// A host name has at most 253 characters; anything longer is no address.
inline constexpr size_t kMaxAddressLength = 253;
// Result identifiers become part of a request line; longer ones are none the
// terminal makes.
inline constexpr size_t kMaxResultIdLength = 128;
// The chart identifier the host names a chart by.
inline constexpr size_t kChartIdLength = 10;
// The terminal's replies are read in chunks of this size, up to the cap: a
// spectral result of several thousand patches is well below it.
inline constexpr size_t kReplyChunk = 512;
inline constexpr size_t kMaxReplyBytes = 32u << 20;

// The terminal's address in a discovery reply: the text between the first
// and the second comma ("FD9TA,192.168.0.12,..."). False when there are not
// two commas, or the text is empty, longer than kMaxAddressLength or holds
// anything but letters, digits, '.', '-' and '_' (it is resolved as a name).
bool parseDiscoveryReply(std::string_view reply, std::string& address);

std::string versionRequest();
// The result list of one chart identifier.
std::string listRequest(std::string_view chartId);
std::string downloadRequest(std::string_view resultId);

// What an exchange yields for a whole reply: its length when it contains
// "200 OK", else -2.
int replyResult(std::string_view reply);

// The body of a reply: what follows the first empty line ("\r\n\r\n", or
// "\n\n" from a lax terminal); empty when there is none.
std::string_view replyBody(std::string_view reply);

// The terminal's clock from the reply's "Date:" header, read as
// "%a, %d %b %Y %H:%M:%S %Z" (the zone a name such as "GMT"), in seconds
// since 1970 (UTC). False when there is no such header or it does not parse
// to a real date.
bool parseDateHeader(std::string_view reply, int64_t& seconds);

// "%Y-%m-%d %H:%M:%S" as seconds since 1970; false unless a real date.
bool parseDateTime(std::string_view text, int64_t& seconds);

// The result identifier for `chartId` from the JSON list of a listing reply
// body: among the entries (objects) whose "uniqueData" equals the chart
// identifier and whose "dateTime" parses, the newest; an entry without the
// text members "dateTime", "jobName", "measureResultId" and "uniqueData" is
// skipped. False, with the reason, when the body is no JSON list, nothing
// matches or the identifier is empty, too long or holds anything but
// visible characters other than '&', '#', '?' and '%' (it goes into the
// download request's line).
bool chooseResult(std::string_view body, std::string_view chartId, std::string& resultId, std::string& why);

// The chart result of a download reply: the text from "CGATS.17" to the end;
// false when the reply holds no "CGATS.17".
bool extractCgats(std::string_view reply, std::string_view& text);

// The device list text for the host: the count and ";", then per device its
// serial, type and address, separated by ";".
struct Fd9DeviceText {
    std::string serial;
    int type = 0;
    std::string address;
};
std::string deviceListText(const Fd9DeviceText* devices, int count);

}  // namespace measure::konica
