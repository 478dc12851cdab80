#include "drivers/simulator/simulation_config.h"

#include <tinyxml2.h>

#include <cstdlib>

#include "drivers/simulator/simulation_parameters.h"

namespace measure::simulator {
namespace {

using tinyxml2::XMLElement;

// Decimal text as the configuration writes it; text that is no number is 0.
bool elementValue(const XMLElement* parent, const char* name, int& value) {
    const XMLElement* element = parent->FirstChildElement(name);
    if (element == nullptr || element->GetText() == nullptr) return false;
    value = std::atoi(element->GetText());
    return true;
}

// A value that, when its element is present without text, leaves the field
// as it was.
void readInto(const XMLElement* parent, const char* name, uint16_t& field) {
    int value = 0;
    if (elementValue(parent, name, value)) field = static_cast<uint16_t>(value);
}

// Bit i for the i-th listed option with a positive value (first 32 only).
uint32_t optionBits(const XMLElement* instrument) {
    uint32_t bits = 0;
    const XMLElement* options = instrument->FirstChildElement("AvailableInstrumentOptions");
    if (options == nullptr) return bits;
    int index = 0;
    for (const XMLElement* option = options->FirstChildElement("InstrumentOption");
         option != nullptr && index < 32; option = option->NextSiblingElement("InstrumentOption"), ++index) {
        if (option->GetText() != nullptr && std::atoi(option->GetText()) > 0) bits |= 1u << index;
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
    readInto(root, "ButtonTimeDelay_ms", p.ButtonTimeDelay_ms);
    readInto(root, "CalibrationTimeDelay_ms", p.CalibrationTimeDelay_ms);
    readInto(root, "MeasurementTimeDelay_ms", p.MeasurementTimeDelay_ms);
    readInto(root, "PositioningTimeDelay_ms", p.PositioningTimeDelay_ms);
    readInto(root, "InsertPaperTimeDelay_ms", p.InsertPaperTimeDelay_ms);
    readInto(root, "SpotMeasurementTimeDelay_ms", p.SpotMeasurementTimeDelay_ms);
    readInto(root, "DeviceBatteryLevel", p.DeviceBatteryLevel);
    readInto(root, "DefaultConnectedDeviceID", p.DefaultConnectedDeviceID);
    record->SerialNumber = 0;
    if (int sn = 0; elementValue(root, "DeviceSN", sn)) record->SerialNumber = static_cast<uint32_t>(sn);

    bool listed = false;
    if (const XMLElement* list = root->FirstChildElement("instrumentList")) {
        for (const XMLElement* instrument = list->FirstChildElement("instrument"); instrument != nullptr;
             instrument = instrument->NextSiblingElement("instrument")) {
            int id = 0;
            if (!elementValue(instrument, "ID", id) || static_cast<uint32_t>(id) != record->instrument)
                continue;
            p.SimulatedID = static_cast<uint16_t>(id);
            // These two read 0 when their element has no text.
            int value = 0;
            p.MeasurementDataDelivery =
                elementValue(instrument, "MeasurementDataDelivery", value) ? static_cast<uint16_t>(value) : 0;
            value = 0;
            p.NumberOfDiscoveredDevices = elementValue(instrument, "NumberOfDiscoveredDevices", value)
                                              ? static_cast<uint16_t>(value)
                                              : 0;
            record->OptionBits = optionBits(instrument);
            listed = true;
            break;
        }
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
