// The C entry patterns of every driver. A registry slot points to a free
// function named verb plus model that takes the record and returns i32; with
// these, each is one line (see the example in framework/driver.h). No
// exception leaves them: failures are logged at level 0 and answered -1.
//
// The driver object lives in the first 8 bytes of the record's result block;
// the Open entry stores it there and the Close entry clears it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <type_traits>

#include "framework/driver.h"
#include "measure/measure.h"

namespace measure::framework {

// The driver object in the record's result block, or null (no record, no
// block, no object). Only a driver that is open is ever answered: the block
// lies in memory the host can write, so its 8 bytes are checked against the
// table of open drivers before they are trusted.
Driver* storedDriver(MEASURESTRUCT* record);
// Writes `driver` (or null) into the block; false when there is no block.
bool storeDriver(MEASURESTRUCT* record, Driver* driver);

// The stored driver as class D; null when none is stored or it is another.
template <class D>
D* driverIn(MEASURESTRUCT* record) {
    return dynamic_cast<D*>(storedDriver(record));
}

// Closes a driver that a close entry left in the block (one that declined
// to close during a step that must run to its end): the caller is about to
// free the block, so the driver is cut loose from the record and closed in
// the background once that step is over.
void closeLeftOver(MEASURESTRUCT* record);

// The modes (MEASURE_MODE_*, emission ones included) an entry accepts.
class ModeSet {
public:
    constexpr ModeSet(std::initializer_list<uint32_t> modes) {
        for (uint32_t m : modes)
            if (m < 32) bits_ |= 1u << m;
    }
    static constexpr ModeSet any() {
        ModeSet set{};
        set.bits_ = ~0u;
        set.all_ = true;
        return set;
    }
    constexpr bool accepts(uint32_t mode) const { return all_ || (mode < 32 && (bits_ >> mode & 1u) != 0); }

private:
    uint32_t bits_ = 0;
    bool all_ = false;
};

// Shared parts of the patterns, compiled once.
namespace entry {
// Null record: -1 (nothing logged). No driver of class D: "NULL" and -1.
// Otherwise logs the entry at level 1.
bool begin(MEASURESTRUCT* pMeasure, const char* name, bool haveDriver);
// "catch ..." at level 0 (and the text at level 2).
void logCatch(const char* name, const char* text);
// Enters a newly made driver in the table of open drivers and the block.
void adopt(MEASURESTRUCT* pMeasure, std::shared_ptr<Driver> driver);
// Clears the block's pointer and closes the stored driver: Disconnect, then
// the table lets go of it. A driver whose request outlived the close is cut
// loose from the record first (it keeps the result block) and ends when that
// request returns.
void destroyStored(MEASURESTRUCT* pMeasure);
}  // namespace entry

// Makes D(record), enters it in the table of open drivers and in the result
// block, and connects it (Driver::Start). Null, with nothing stored, when it
// could not be made. An unconnected driver is the caller's to refuse with
// entry::destroyStored.
template <class D>
D* makeDriver(MEASURESTRUCT* pMeasure) {
    static_assert(std::is_base_of_v<Driver, D>, "a driver derives from framework::Driver");
    std::shared_ptr<D> driver;
    try {
        driver = std::make_shared<D>(pMeasure);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    D* made = driver.get();
    entry::adopt(pMeasure, std::move(driver));
    made->Start();
    return made;
}

// Open: makes D(record), enters it in the result block, connects it, refuses
// it unless connected ("!p" + objectName when it could not be made,
// `notValid` when not connected; it is closed again and the pointer
// cleared), then lets it publish its abilities. 0 or -1. The refusal's text
// is the driver's own where its host log readers expect another ("not valid"
// otherwise).
template <class D>
int32_t OpenEntry(MEASURESTRUCT* pMeasure, const char* name, const char* objectName,
                  const char* notValid = "not valid") {
    static_assert(std::is_base_of_v<Driver, D>, "a driver derives from framework::Driver");
    if (pMeasure == nullptr) return -1;
    Log(1, name, nullptr);
    try {
        if (GetResultBlock(pMeasure) == nullptr) throw DriverError("no result block");
        D* opened = makeDriver<D>(pMeasure);
        if (opened == nullptr) throw DriverError(std::string("!p") + objectName);
        if (!opened->connected.load()) {
            entry::destroyStored(pMeasure);
            throw DriverError(notValid);
        }
        opened->PublishAbilities();
        return 0;
    } catch (const std::exception& e) {
        entry::logCatch(name, e.what());
    } catch (...) {
        entry::logCatch(name, nullptr);
    }
    // Nothing half-open survives a failed open.
    entry::destroyStored(pMeasure);
    return -1;
}

// Close: null record or no result block -1; no driver 0; otherwise clears
// the block's pointer and destroys the driver (ending its threads); 0, also
// when that failed ("catch ...").
int32_t CloseEntry(MEASURESTRUCT* pMeasure, const char* name);

// Start (calibrate, single, multi, simple multi, corners, paper): checks the
// record, the driver and the Mode ("default" and -1 for a mode not in
// `modes`), lets `prepare(driver)` set per-request flags, then
// StartMeasurement(requestName, request) and 0 at once.
template <class D, class Prepare = void (*)(D&)>
int32_t StartEntry(MEASURESTRUCT* pMeasure, const char* name, ModeSet modes, const char* requestName,
                   int (D::*request)(), Prepare prepare = nullptr) {
    D* driver = driverIn<D>(pMeasure);
    if (!entry::begin(pMeasure, name, driver != nullptr)) return -1;
    if (!modes.accepts(pMeasure->Mode)) {
        Log(0, name, "default");
        return -1;
    }
    try {
        if constexpr (std::is_pointer_v<Prepare>) {
            if (prepare != nullptr) prepare(*driver);
        } else {
            prepare(*driver);
        }
        driver->StartMeasurement(requestName, request);
        return 0;
    } catch (const std::exception& e) {
        entry::logCatch(name, e.what());
    } catch (...) {
        entry::logCatch(name, nullptr);
    }
    return -1;
}

enum class StopKind {
    Single,  // posts status 0
    Multi,   // posts status 0 and pass number 0
};

// Stop: StopMeasurement, status 0 (and pass 0 for a multi-patch stop), 0.
int32_t StopEntry(MEASURESTRUCT* pMeasure, const char* name, StopKind kind);

// MustCalibrate: 1 when the driver needs a calibration first
// (Driver::NeedsCalibration), else 0; -1 without a driver.
int32_t MustCalibrateEntry(MEASURESTRUCT* pMeasure, const char* name);

}  // namespace measure::framework
