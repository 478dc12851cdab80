#include "framework/driver_entries.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace measure::framework {
namespace {

// Every open driver, owned here from its open to its close.
struct OpenDrivers {
    std::mutex mutex;
    std::vector<std::shared_ptr<Driver>> drivers;
};

OpenDrivers& openDrivers() {
    static OpenDrivers* instance = new OpenDrivers;  // outlives every driver thread
    return *instance;
}

std::shared_ptr<Driver> findOpen(Driver* driver) {
    if (driver == nullptr) return nullptr;
    OpenDrivers& open = openDrivers();
    std::lock_guard lock(open.mutex);
    for (const auto& d : open.drivers)
        if (d.get() == driver) return d;
    return nullptr;
}

std::shared_ptr<Driver> release(Driver* driver) {
    OpenDrivers& open = openDrivers();
    std::lock_guard lock(open.mutex);
    auto it = std::find_if(open.drivers.begin(), open.drivers.end(),
                           [driver](const auto& d) { return d.get() == driver; });
    if (it == open.drivers.end()) return nullptr;
    std::shared_ptr<Driver> owned = std::move(*it);
    open.drivers.erase(it);
    return owned;
}

Driver* rawStored(MEASURESTRUCT* record) {
    if (record == nullptr) return nullptr;
    const uint8_t* block = GetResultBlock(record);
    if (block == nullptr) return nullptr;
    Driver* driver = nullptr;
    std::memcpy(&driver, block, sizeof driver);
    return driver;
}

// Disconnects and lets go. When something of the driver still runs, the
// host's record and result block are handed over to it before the close
// returns; the driver then ends with its last share.
void closeDriver(MEASURESTRUCT* record, std::shared_ptr<Driver> driver) {
    const bool idle = driver->Disconnect();
    if (!idle || driver.use_count() > 1) driver->pMeasure.detach(takeResultBlock(record));
}

}  // namespace

Driver* storedDriver(MEASURESTRUCT* record) {
    Driver* driver = rawStored(record);
    return findOpen(driver) ? driver : nullptr;
}

bool storeDriver(MEASURESTRUCT* record, Driver* driver) {
    uint8_t* block = record != nullptr ? GetResultBlock(record) : nullptr;
    if (block == nullptr) return false;
    std::memcpy(block, &driver, sizeof driver);
    return true;
}

void closeLeftOver(MEASURESTRUCT* record) {
    std::shared_ptr<Driver> driver = release(storedDriver(record));
    if (!driver) return;
    storeDriver(record, nullptr);
    Log(1, "closeLeftOver", driver->className());
    driver->pMeasure.detach(takeResultBlock(record));
    // The step that kept the close entry from closing runs to its end on
    // MeasureThread; the close waits for it here, off the host's thread.
    try {
        std::thread([driver = std::move(driver)]() mutable {
            driver->Disconnect();
            driver.reset();
        }).detach();
    } catch (const std::exception& e) {
        LogF(0, "closeLeftOver", "catch(%s)", e.what());
    }
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

void adopt(MEASURESTRUCT* pMeasure, std::shared_ptr<Driver> driver) {
    Driver* raw = driver.get();
    {
        OpenDrivers& open = openDrivers();
        std::lock_guard lock(open.mutex);
        open.drivers.push_back(std::move(driver));
    }
    storeDriver(pMeasure, raw);
}

void destroyStored(MEASURESTRUCT* pMeasure) {
    std::shared_ptr<Driver> driver = release(rawStored(pMeasure));
    if (!driver) return;
    storeDriver(pMeasure, nullptr);
    closeDriver(pMeasure, std::move(driver));
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
