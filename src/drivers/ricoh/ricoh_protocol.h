// The Ricoh Auto Color Adjuster's REST protocol under "/raca/v1/": the job
// body, the readings of the status, job and identifier replies, the chart
// definition file and the measured IT8 result. Pure functions without
// threads or connections, never throwing, so that every reply the adjuster
// (or anything posing as it) can send is tested and fuzzed here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "color/measured_data.h"

namespace measure::ricoh {

inline constexpr const char* kStatusPath = "/raca/v1/status";
inline constexpr const char* kJobsPath = "/raca/v1/jobs";
inline constexpr const char* kCancelPath = "/raca/v1/jobs/cancel";
inline constexpr const char* kResultName = "measureData.it8";
// The host names a chart it will give later with this path; it is not read.
inline constexpr const char* kPlaceholderChart = "Preopen file name";
// The adjuster reads identifiers and JSON keys near the start of a reply.
inline constexpr size_t kJobIdWindow = 1000;
// Longer identifiers are no identifier the adjuster makes: refused.
inline constexpr size_t kMaxJobIdLength = 128;
// A chart definition beyond these counts is not a chart the adjuster can
// scan; refusing it also keeps the poll limit far from overflow.
inline constexpr int kMaxSheets = 10000;
inline constexpr int kMaxChartPatches = 1000000;
inline constexpr int kPollsPerSheet = 20;
inline constexpr int kExtraPolls = 10;

// `pszParameterFile`: "<chart definition path>?<credentials>".
struct ParameterText {
    std::string chartPath;      // empty without a question mark
    std::string authorization;  // "Basic <credentials>", empty without a question mark
};
ParameterText splitParameterText(std::string_view text);

// The address word (IPv4 in network byte order) as dotted text.
std::string dottedAddress(uint32_t networkOrder);

// The job body, byte for byte as the adjuster expects it:
// {"lightingCondition": "M0","colorSpace": "LAB","outputFormat": "IT8"}.
// Conditions other than 1 and 2 give "M0"; modes other than 3 and 4 "LAB".
std::string jobBody(uint32_t condition, uint32_t mode);

// The status reply of a 200: SCANNING anywhere in the body means another job
// runs; READY means the adjuster takes a job, "serialId" (when the body is a
// JSON object with that text member) naming it.
enum class DeviceState { Unknown, Ready, Scanning };
struct DeviceStatus {
    DeviceState state = DeviceState::Unknown;
    std::string serialId;
};
DeviceStatus parseDeviceStatus(std::string_view body);

// The job identifier of a creation reply: the text after `jobId": "` up to
// the next double quote, found within the first 1000 characters, else after
// `jobid": "`. False (with the reason in `why`) when there is none, it is
// unterminated, empty, too long, or holds anything but letters, digits, '-'
// and '_': the identifier becomes part of request paths and must not
// change them ("/", "?", "#", "..").
bool extractJobId(std::string_view body, std::string& id, std::string& why);

// The "status" text member of a job reply (a JSON object). False with the
// reason when the reply is no object or has no such text.
bool parseJobStatus(std::string_view body, std::string& status, std::string& why);

// The chart definition: root element, child "Chart" with the decimal
// attributes "SheetCount" and "ChartPatchCount".
struct ChartDefinition {
    int sheets = 0;
    int patches = 0;
};
bool parseChartDefinition(std::string_view xml, ChartDefinition& chart, std::string& why);

// Polls one job gets at most: 20 per sheet and 10 more.
int pollLimit(int sheets);

// The measured IT8 result is read by the shared reader of measured charts.
using color::MeasuredPatches;
using color::readMeasuredData;

}  // namespace measure::ricoh
