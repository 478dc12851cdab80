#include "drivers/ricoh/ricoh_protocol.h"

#include <json/json.h>
#include <tinyxml2.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "color/measured_data.h"
#include "measure/measure.h"

namespace measure::ricoh {
namespace {

// A JSON object from outside text, or false. Depth and size are the
// reader's own limits; the reply is untrusted.
bool parseObject(std::string_view body, Json::Value& root, std::string& why) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["stackLimit"] = 64;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    bool parsed = false;
    try {
        parsed = reader->parse(body.data(), body.data() + body.size(), &root, &errors);
    } catch (const std::exception&) {  // jsoncpp throws past its nesting limit
        parsed = false;
    }
    if (!parsed) {
        why = "reply is not JSON";
        return false;
    }
    if (!root.isObject()) {
        why = "reply is not a JSON object";
        return false;
    }
    return true;
}

bool idCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

ParameterText splitParameterText(std::string_view text) {
    ParameterText out;
    const size_t mark = text.find('?');
    // Without a question mark the text names neither a chart nor credentials.
    if (mark == std::string_view::npos) return out;
    out.chartPath = std::string(text.substr(0, mark));
    out.authorization = "Basic " + std::string(text.substr(mark + 1));
    return out;
}

std::string dottedAddress(uint32_t networkOrder) {
    unsigned char bytes[4];
    std::memcpy(bytes, &networkOrder, sizeof bytes);  // network order: first octet first in memory
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
           std::to_string(bytes[3]);
}

std::string jobBody(uint32_t condition, uint32_t mode) {
    const char* lighting = condition == MEASURE_CONDITION_M1   ? "M1"
                           : condition == MEASURE_CONDITION_M2 ? "M2"
                                                               : "M0";
    const char* space = mode == MEASURE_MODE_CIE_XYZ    ? "XYZ"
                        : mode == MEASURE_MODE_SPECTRAL ? "SPECTRAL_REFLECTANCE"
                                                        : "LAB";
    // Built as text: the adjuster expects exactly this spacing.
    return std::string("{\"lightingCondition\": \"") + lighting + "\",\"colorSpace\": \"" + space +
           "\",\"outputFormat\": \"IT8\"}";
}

DeviceStatus parseDeviceStatus(std::string_view body) {
    DeviceStatus status;
    if (body.find("SCANNING") != std::string_view::npos) {
        status.state = DeviceState::Scanning;
    } else if (body.find("READY") != std::string_view::npos) {
        status.state = DeviceState::Ready;
        Json::Value root;
        std::string why;
        if (parseObject(body, root, why) && root.isMember("serialId") && root["serialId"].isString())
            status.serialId = root["serialId"].asString();
    }
    return status;
}

bool extractJobId(std::string_view body, std::string& id, std::string& why) {
    id.clear();
    const std::string_view window = body.substr(0, std::min(body.size(), kJobIdWindow));
    size_t key = window.find("jobId");
    if (key == std::string_view::npos) key = body.find("jobid");
    if (key == std::string_view::npos) {
        why = "no jobId";
        return false;
    }
    // The identifier follows the key, its closing quote, the colon, a blank
    // and its opening quote: `jobId": "<id>"`. The text "eight characters
    // after the key" would count these five characters as four and lose the
    // identifier's first character; what the reply holds is what counts.
    constexpr std::string_view kSeparator = "\": \"";
    const size_t start = key + 5 + kSeparator.size();
    if (body.substr(key + 5, kSeparator.size()) != kSeparator) {
        why = "jobId is not followed by a text";
        return false;
    }
    const size_t end = body.find('"', start);
    if (end == std::string_view::npos) {
        why = "jobId is unterminated";
        return false;
    }
    const std::string_view text = body.substr(start, end - start);
    if (text.empty() || text.size() > kMaxJobIdLength) {
        why = "jobId is empty or too long";
        return false;
    }
    for (char c : text)
        if (!idCharacter(c)) {
            why = "jobId holds characters that would change the request path";
            return false;
        }
    id.assign(text);
    return true;
}

bool parseJobStatus(std::string_view body, std::string& status, std::string& why) {
    Json::Value root;
    if (!parseObject(body, root, why)) return false;
    if (!root.isMember("status") || !root["status"].isString()) {
        why = "reply has no status text";
        return false;
    }
    status = root["status"].asString();
    return true;
}

bool parseChartDefinition(std::string_view xml, ChartDefinition& chart, std::string& why) {
    tinyxml2::XMLDocument doc;
    if (doc.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS) {
        why = "chart definition is not XML";
        return false;
    }
    const tinyxml2::XMLElement* root = doc.RootElement();
    const tinyxml2::XMLElement* element = root != nullptr ? root->FirstChildElement("Chart") : nullptr;
    if (element == nullptr) {
        why = "chart definition has no Chart element";
        return false;
    }
    ChartDefinition read;
    if (!color::parseDecimalCount(element->Attribute("SheetCount"), kMaxSheets, read.sheets) ||
        !color::parseDecimalCount(element->Attribute("ChartPatchCount"), kMaxChartPatches, read.patches)) {
        why = "chart definition has no valid SheetCount and ChartPatchCount";
        return false;
    }
    chart = read;
    return true;
}

int pollLimit(int sheets) {
    if (sheets < 0) sheets = 0;
    if (sheets > kMaxSheets) sheets = kMaxSheets;
    return sheets * kPollsPerSheet + kExtraPolls;
}

}  // namespace measure::ricoh
