// clIO_PRO: an i1Pro or i1Pro2 head on the X-Rite i1iO2 scanning table
// (registry row 23 "X-Rite i1i02"). The user shows the driver three corners
// of the chart by moving the head by hand and pressing the button; the SDK's
// chart scan then reads the chart row by row and calls the driver back after
// each row, which delivers the row as one pass of the pass plan (a row is a
// pass, its columns the patches per pass). Spots are aimed with the visor.
//
// Threads: the entries and the foil write of the close run on the host's
// thread; ThreadConstructor, ThreadDestructor, the requests, every other SDK
// call and the row callback (on MeasureThread, inside I1_ScanChart) on
// MeasureThread; sounds on KeyThread.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>

#include "drivers/xrite/i1_driver.h"

namespace measure::i1io {

MEASURE_DRIVER_ERROR(exIO_LIB_PRO);
MEASURE_CALIBRATION_ERROR(exIO_PRO_CALIBRATION);

class clIO_PRO : public xrite::I1Driver {
public:
    static constexpr uint32_t kMeasureTimeout = 10000;
    // Tables from this serial number on take the driver's calls.
    static constexpr int32_t kFirstTableSerial = 22051;

    explicit clIO_PRO(MEASURESTRUCT* record);
    ~clIO_PRO() override;

    // Requests, run on MeasureThread.
    int _WhiteCalibration();
    int SingleMeasurement();
    int MultiMeasurement();
    int SimpleMultiMeasurement();
    int RegisterCorners();

    // Host thread: option bits, serial number, port 11, then the table's
    // serial number; a table too old posts status 38 and fails the open.
    void PublishAbilities() override;
    // Host thread, for CloseIOPro: the foil lets go of the sheet.
    void ReleaseFoil() noexcept;

    // The SDK's row callback; `context` is the driver.
    static uint32_t ScanRowEndCallback_(void* context, uint32_t row) noexcept;

protected:
    clIO_PRO(MEASURESTRUCT* record, const char* className, const char* unboundText, xrite::I1Sdk which);

    void ThreadConstructor() override;
    [[noreturn]] void fail(const std::string& text) const override { throw exIO_LIB_PRO(text); }
    [[noreturn]] void failCalibration(const std::string& text) const override {
        throw exIO_PRO_CALIBRATION(text);
    }
    // The scan options: of a chart scan, or (chart false) of the scan calibration.
    virtual void ScanOptions(bool chart);
    // The spot's measurement mode, colorimetric and Mode options.
    virtual void SpotSetup();
    // Whether a simple chart scan's result fails the job (the i1iO ignores it).
    virtual bool failsSimpleScan(xrite::I1_ResultType) const { return false; }
    // Opens the device (status 1 or 5) after the table extensions; connected
    // when it then sits on the table (status 15). Fails "not valid" when
    // the open fails.
    void SeatOnTable(uint32_t status, const char* function);
    // A table option key of the driver's library ("I1T_" + name, "I1PRO3T_" + name).
    std::string tableKey(const char* name) const;

private:
    enum class Registration { Good, Failed, Stopped };

    void ThreadDestructor() override;
    void RequestFailed(const framework::RequestFailure& failure) override;

    // --- table calls; failures throw exIO_LIB_PRO ---
    void SetPosition(float x, float y);
    xrite::I1_Point GetPosition();
    void MoveHome();
    void TableOption(const char* name, bool on);
    // "Accept" on the indicator, straight to the SDK: a head without the
    // light answers a failure nobody needs to hear of.
    void AcceptLed() noexcept;
    void TriggerMeasurement();
    // Home, foil off, hold off: the table at rest after a job.
    void Park();

    // --- jobs ---
    // NumPatchesPerChart, or every patch when the host gives none.
    int32_t PatchesPerSheet() const;
    // Rows of a sheet when the host's sheet is smaller than the chart.
    int SheetRows(int32_t perChart) const;
    // Steps 3 to 8 of a registration: corners A, C (with more than one row)
    // and D, B derived, the pitch checked.
    Registration Corners(const char* function);
    // The table's starting point for a registration, visor coordinates on.
    void RegistrationStart();
    // Scans the rows of the sheet between the registered corners; the SDK's code.
    xrite::I1_ResultType ScanSheet();
    uint32_t RowEnd();

    // Corners in table millimetres: A the first patch of the first row, C
    // the first of the last row, D the last of the last row, B (derived) the
    // last of the first row. They persist from a registration to the simple
    // chart scan.
    xrite::I1_Point A{}, B{}, C{}, D{};
    double pitch = 0;  // patch length along a row, mm
    int rowsOfSheet_ = 0;
    int rowsDelivered_ = 0;
    int lastRowMarker_ = 0;
    bool reversed_ = false;
    std::exception_ptr rowFailure_;
};

}  // namespace measure::i1io
