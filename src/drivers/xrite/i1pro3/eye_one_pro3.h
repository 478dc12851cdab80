// clEYE_ONE_PRO3: the hand-held X-Rite i1Pro3 and i1Pro3+ through the i1Pro3
// SDK (the I1PRO3_ calls), for the registry rows 48 "Vantu SP-300", 49
// "X-Rite i1Pro3" and 50 "X-Rite i1Pro3+". It is the i1Pro driver on the
// other library with what the third generation changes: the device type
// must fit the row, the measurement conditions M0 to M3 (M3 through the
// head's polarising filter) and emission are chosen without fallback, a
// strip needs the host's plan, and strips and spots deliver colour values
// and spectra only.
//
// Threads: as clEYE_ONE_PRO.
#pragma once

#include "drivers/xrite/i1pro/eye_one_pro.h"

namespace measure::i1pro3 {

MEASURE_DRIVER_ERROR(exEYE_ONE_LIB_PRO3);
MEASURE_CALIBRATION_ERROR(exEYE_ONE3_CALIBRATION);

// The emissive measurement condition of the i1Pro3 rows (record word 2192).
inline constexpr uint32_t kConditionEmissive = 10;

class clEYE_ONE_PRO3 final : public i1pro::clEYE_ONE_PRO {
public:
    explicit clEYE_ONE_PRO3(MEASURESTRUCT* record);
    ~clEYE_ONE_PRO3() override;

    // Host thread: option bits, serial number, port 11, then the device
    // type, which must fit the row (else status 38 and the open fails).
    void PublishAbilities() override;
    // Host thread, at a strip entry: the host's plan (extended record,
    // NumPatchesPerLine above 0) is required; throws with a log line.
    void RequireHostPlan();

private:
    [[noreturn]] void fail(const std::string& text) const override { throw exEYE_ONE_LIB_PRO3(text); }
    [[noreturn]] void failCalibration(const std::string& text) const override {
        throw exEYE_ONE3_CALIBRATION(text);
    }
    // Status 39 and a calibration failure: the condition does not fit.
    [[noreturn]] void WrongCondition();
    void ScanOptions() override;
    void SpotSetup() override;
    void ChooseResultIndex() override;
    void DeliverSpot(uint32_t mode, const char* function) override;
};

}  // namespace measure::i1pro3
