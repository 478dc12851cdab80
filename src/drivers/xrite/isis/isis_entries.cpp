#include "drivers/xrite/isis/isis_entries.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/logger.h"
#include "core/record.h"
#include "drivers/xrite/isis/isis.h"
#include "framework/driver_entries.h"

namespace measure::isis {
namespace {

using framework::ModeSet;

constexpr ModeSet kChartModes{0, 1, 3, 4, 5, 6};
constexpr const char* kPreopenSerial = "Preopen Get SN";
constexpr const char* kPreopenName = "Preopen file name";
constexpr int32_t kPortOfIsis = 11;
// Option "24034" above this is the XL model's.
constexpr long kLargestStandardWidth = 300;

bool parameterIs(const char* file, const char* word) {
    return file != nullptr && std::strcmp(file, word) == 0;
}

// "Preopen Get SN": the serial number from the SDK without opening the
// reader. No driver is made, so the answer is -1 whatever the SDK says.
int32_t preopenSerial(MEASURESTRUCT* pMeasure) {
    const IsisLibrary sdk;
    const char* text = sdk.SerialNumberUnopened();
    const std::string serial = text != nullptr ? text : "";
    if (serial.empty()) throw exISIS_LIB("not valid");
    setIsisSerialNumber(serial);
    if (MEASURE2STRUCT* e = extendedOrNull(pMeasure))
        e->SerialNumber = static_cast<uint32_t>(std::strtoul(serial.c_str(), nullptr, 10));
    return -1;
}

template <class Job>
int32_t startJob(MEASURESTRUCT* pMeasure, const char* name, ModeSet modes, const char* requestName, Job job) {
    // A new job never resets a sheet: the one before is only stopped.
    return framework::StartEntry(pMeasure, name, modes, requestName, job,
                                 [](clISIS& driver) { driver.measuring = false; });
}

}  // namespace

int32_t OpenISIS(MEASURESTRUCT* pMeasure) {
    static const char* const fn = "OpenISIS";
    if (pMeasure == nullptr) return -1;
    Log(1, fn, nullptr);
    MEASURE2STRUCT* e = extendedOrNull(pMeasure);
    const char* file = e != nullptr ? e->pszParameterFile : nullptr;
    try {
        if (parameterIs(file, kPreopenSerial)) return preopenSerial(pMeasure);
        if (GetResultBlock(pMeasure) == nullptr) throw exISIS_LIB("no result block");
        clISIS* driver = framework::makeDriver<clISIS>(pMeasure);
        if (driver == nullptr) throw exISIS_LIB("!pISIS");
        if (!driver->connected.load()) {
            framework::entry::destroyStored(pMeasure);
            throw exISIS_LIB("not valid");
        }
        setLastIsisRecord(pMeasure);
        const bool xl = leadingNumber(driver->Option("24034")) > kLargestStandardWidth;

        Log(3, fn, "Set Parameter File");
        if (!parameterIs(file, kPreopenName)) driver->SetParameterFile(file);

        pMeasure->port = kPortOfIsis;
        if (e != nullptr) {
            const std::string modes = driver->Option("IlluminationModesKey");
            uint32_t bits = opDualScanOption;
            if (modes.find("M0") != std::string::npos) bits |= opM0Mode;
            if (modes.find("M1") != std::string::npos) bits |= opM1Mode;
            if (modes.find("M2") != std::string::npos) bits |= opM2Mode;
            if (xl) bits |= opiSisIsXLDevice;
            e->OptionBits |= bits;
        }
        const std::string serial = driver->Option("SerialNumber");
        setIsisSerialNumber(serial);
        if (e != nullptr) e->SerialNumber = static_cast<uint32_t>(std::strtoul(serial.c_str(), nullptr, 10));
        return 0;
    } catch (const std::exception& ex) {
        LogF(0, fn, "catch(%s)", ex.what());
    } catch (...) {
        Log(0, fn, "catch(...)");
    }
    framework::entry::destroyStored(pMeasure);
    return -1;
}

int32_t CloseISIS(MEASURESTRUCT* pMeasure) {
    const int32_t result = framework::CloseEntry(pMeasure, "CloseISIS");
    if (result == 0) setLastIsisRecord(nullptr);
    return result;
}

int32_t StartMultiMeasureISIS(MEASURESTRUCT* pMeasure) {
    return startJob(pMeasure, "StartMultiMeasureISIS", kChartModes, "MultiMeasurement",
                    &clISIS::MultiMeasurement);
}

int32_t StartSimpleMultiMeasureISIS(MEASURESTRUCT* pMeasure) {
    return startJob(pMeasure, "StartSimpleMultiMeasureISIS", kChartModes, "SimpleMultiMeasurement",
                    &clISIS::SimpleMultiMeasurement);
}

int32_t StartInsertPaperIsis(MEASURESTRUCT* pMeasure) {
    return startJob(pMeasure, "StartInsertPaperIsis", ModeSet::any(), "StartInsertPaper",
                    &clISIS::StartInsertPaper);
}

int32_t StopMultiMeasureISIS(MEASURESTRUCT* pMeasure) {
    return framework::StopEntry(pMeasure, "StopMultiMeasureISIS", framework::StopKind::Multi);
}

}  // namespace measure::isis
