#include "framework/driver_entries.h"

#include <cstring>

namespace measure::framework {

Driver* storedDriver(MEASURESTRUCT* record) {
    if (record == nullptr) return nullptr;
    const uint8_t* block = GetResultBlock(record);
    if (block == nullptr) return nullptr;
    Driver* driver = nullptr;
    std::memcpy(&driver, block, sizeof driver);
    return driver;
}

bool storeDriver(MEASURESTRUCT* record, Driver* driver) {
    uint8_t* block = record != nullptr ? GetResultBlock(record) : nullptr;
    if (block == nullptr) return false;
    std::memcpy(block, &driver, sizeof driver);
    return true;
}

namespace entry {

bool begin(MEASURESTRUCT* pMeasure, const char* name, bool haveDriver) {
    if (pMeasure == nullptr) return false;
    if (!haveDriver) {
        Log(0, name, "NULL");
        return false;
    }
    Log(1, name, nullptr);
    return true;
}

void logCatch(const char* name, const char* text) {
    Log(0, name, "catch ...");
    if (text != nullptr) Log(2, name, text);
}

void destroyStored(MEASURESTRUCT* pMeasure) {
    Driver* driver = storedDriver(pMeasure);
    if (driver == nullptr) return;
    storeDriver(pMeasure, nullptr);
    delete driver;
}

}  // namespace entry

int32_t CloseEntry(MEASURESTRUCT* pMeasure, const char* name) {
    if (pMeasure == nullptr || GetResultBlock(pMeasure) == nullptr) return -1;
    Log(1, name, nullptr);
    try {
        entry::destroyStored(pMeasure);
    } catch (const std::exception& e) {
        entry::logCatch(name, e.what());
    } catch (...) {
        entry::logCatch(name, nullptr);
    }
    return 0;
}

int32_t StopEntry(MEASURESTRUCT* pMeasure, const char* name, StopKind kind) {
    Driver* driver = storedDriver(pMeasure);
    if (!entry::begin(pMeasure, name, driver != nullptr)) return -1;
    driver->StopMeasurement();
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    if (kind == StopKind::Multi) PostPassno(pMeasure, 0);
    return 0;
}

int32_t MustCalibrateEntry(MEASURESTRUCT* pMeasure, const char* name) {
    Driver* driver = storedDriver(pMeasure);
    if (!entry::begin(pMeasure, name, driver != nullptr)) return -1;
    return driver->NeedsCalibration() ? 1 : 0;
}

}  // namespace measure::framework
