#include "drivers/simulator/simulation_config.h"

#include <tinyxml2.h>

#include <limits>

#include "color/chart_text.h"
#include "drivers/simulator/simulation_parameters.h"

namespace measure::simulator {
namespace {

using tinyxml2::XMLElement;

// The numbers of one configuration file; the first value that does not fit
// its field is remembered, and the file is refused for it.
class Numbers {
public:
    // Decimal text as the configuration writes it; text that is no number is
    // 0. False when the element is absent or has no text, or the value lies
    // outside 0..`highest` (the field would silently keep only part of it).
    bool read(const XMLElement* parent, const char* name, int64_t& value, int64_t highest) {
        const XMLElement* element = parent->FirstChildElement(name);
        if (element == nullptr || element->GetText() == nullptr) return false;
        value = parseInt(element->GetText());
        if (value >= 0 && value <= highest) return true;
        if (problem_.empty())
            problem_ =
                std::string(name) + "=" + element->GetText() + " is outside 0.." + std::to_string(highest);
        return false;
    }
    // A 16-bit value that, when its element is present without text, leaves
    // the field as it was.
    void readInto(const XMLElement* parent, const char* name, uint16_t& field) {
        int64_t value = 0;
        if (read(parent, name, value, std::numeric_limits<uint16_t>::max()))
            field = static_cast<uint16_t>(value);
    }
    const std::string& problem() const { return problem_; }

private:
    std::string problem_;
};

// Bit i for the i-th listed option with a positive value (first 32 only).
uint32_t optionBits(const XMLElement* instrument) {
    uint32_t bits = 0;
    const XMLElement* options = instrument->FirstChildElement("AvailableInstrumentOptions");
    if (options == nullptr) return bits;
    int index = 0;
    for (const XMLElement* option = options->FirstChildElement("InstrumentOption");
         option != nullptr && index < 32; option = option->NextSiblingElement("InstrumentOption"), ++index) {
        if (option->GetText() != nullptr && parseInt(option->GetText()) > 0) bits |= 1u << index;
    }
    return bits;
}

}  // namespace

ConfigResult readSimulationConfig(const std::string& path, MEASURE2STRUCT* record, std::string& problem) {
    tinyxml2::XMLDocument document;
    if (document.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) {
        problem = document.ErrorStr() != nullptr ? document.ErrorStr() : "cannot read the file";
        return ConfigResult::Unreadable;
    }
    const XMLElement* root = document.RootElement();
    if (root == nullptr) {
        problem = "no root element";
        return ConfigResult::Unreadable;
    }

    auto* plain = reinterpret_cast<MEASURESTRUCT*>(record);
    SimulationParameters p = readParameters(plain);
    Numbers numbers;
    numbers.readInto(root, "ButtonTimeDelay_ms", p.ButtonTimeDelay_ms);
    numbers.readInto(root, "CalibrationTimeDelay_ms", p.CalibrationTimeDelay_ms);
    numbers.readInto(root, "MeasurementTimeDelay_ms", p.MeasurementTimeDelay_ms);
    numbers.readInto(root, "PositioningTimeDelay_ms", p.PositioningTimeDelay_ms);
    numbers.readInto(root, "InsertPaperTimeDelay_ms", p.InsertPaperTimeDelay_ms);
    numbers.readInto(root, "SpotMeasurementTimeDelay_ms", p.SpotMeasurementTimeDelay_ms);
    numbers.readInto(root, "DeviceBatteryLevel", p.DeviceBatteryLevel);
    numbers.readInto(root, "DefaultConnectedDeviceID", p.DefaultConnectedDeviceID);
    record->SerialNumber = 0;
    if (int64_t sn = 0; numbers.read(root, "DeviceSN", sn, std::numeric_limits<int32_t>::max()))
        record->SerialNumber = static_cast<uint32_t>(sn);

    bool listed = false;
    if (const XMLElement* list = root->FirstChildElement("instrumentList")) {
        for (const XMLElement* instrument = list->FirstChildElement("instrument"); instrument != nullptr;
             instrument = instrument->NextSiblingElement("instrument")) {
            constexpr int64_t kHighest = std::numeric_limits<uint16_t>::max();
            int64_t id = 0;
            if (!numbers.read(instrument, "ID", id, kHighest) ||
                static_cast<uint32_t>(id) != record->instrument)
                continue;
            p.SimulatedID = static_cast<uint16_t>(id);
            // These two read 0 when their element has no text.
            int64_t value = 0;
            p.MeasurementDataDelivery = numbers.read(instrument, "MeasurementDataDelivery", value, kHighest)
                                            ? static_cast<uint16_t>(value)
                                            : 0;
            value = 0;
            p.NumberOfDiscoveredDevices =
                numbers.read(instrument, "NumberOfDiscoveredDevices", value, kHighest)
                    ? static_cast<uint16_t>(value)
                    : 0;
            record->OptionBits = optionBits(instrument);
            listed = true;
            break;
        }
    }
    if (!numbers.problem().empty()) {
        problem = numbers.problem();
        return ConfigResult::Unreadable;
    }
    writeParameters(plain, p);
    if (!listed) {
        problem = "instrument " + std::to_string(record->instrument) + " is not in instrumentList";
        return ConfigResult::NotListed;
    }
    if (p.DefaultConnectedDeviceID != 0 && p.DefaultConnectedDeviceID != p.SimulatedID) {
        problem = "DefaultConnectedDeviceID " + std::to_string(p.DefaultConnectedDeviceID) +
                  " is not instrument " + std::to_string(p.SimulatedID);
        return ConfigResult::OtherDefault;
    }
    return ConfigResult::Applied;
}

}  // namespace measure::simulator
