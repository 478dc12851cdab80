// clIO_PRO3: an i1Pro3 or i1Pro3+ head on the X-Rite i1iO3 table (registry
// rows 51 "X-Rite i1iO3 (i1iO3 / i1Pro3)" and 52 "X-Rite i1iO3+ (i1iO3 /
// i1Pro3+)"). It is clIO_PRO on the i1Pro3 library and its "I1PRO3T_"
// table options: registration, pitch, sheets, row callback, aimed spots and
// white calibration are the i1iO's. What differs: the connection takes an
// instrument open as a hand-held one onto the table, the device type must
// fit the row, the scan and spot options follow the conditions M0 to M3,
// and a failing simple chart scan fails the job.
//
// Threads: as clIO_PRO.
#pragma once

#include "drivers/xrite/i1io/io_pro.h"

namespace measure::i1io3 {

MEASURE_DRIVER_ERROR(exIO_LIB_PRO3);
MEASURE_CALIBRATION_ERROR(exIO_PRO3_CALIBRATION);

class clIO_PRO3 final : public i1io::clIO_PRO {
public:
    explicit clIO_PRO3(MEASURESTRUCT* record);
    ~clIO_PRO3() override;

    // Host thread: option bits, serial number, port 11, then the device
    // type, which must fit the row (else status 38 and the open fails).
    void PublishAbilities() override;

private:
    void ThreadConstructor() override;
    [[noreturn]] void fail(const std::string& text) const override { throw exIO_LIB_PRO3(text); }
    [[noreturn]] void failCalibration(const std::string& text) const override {
        throw exIO_PRO3_CALIBRATION(text);
    }
    // Status 39 and a calibration failure: the condition does not fit.
    [[noreturn]] void WrongCondition();
    void ScanOptions(bool chart) override;
    void SpotSetup() override;
    bool failsSimpleScan(xrite::I1_ResultType result) const override;
    // The first listed instrument's status, handle taken (0 when none).
    uint32_t Enumerate(const char* function);
};

}  // namespace measure::i1io3
