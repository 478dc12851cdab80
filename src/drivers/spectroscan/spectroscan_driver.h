// clGRETAG: the X-Rite SpectroScan, an X-Y table that carries a Spectrolino
// measuring head over a sheet, on a serial line. The driver finds the table
// on COM1..COM4 at one of four rates, lets the user digitise three corners of
// the chart with the table's crosshair and key, and measures the chart patch
// by patch, row by row, delivering spectra, XYZ or densities.
//
// Threads: the entries run on the host's thread; probing (Open) and Close run
// on MeasureThread through the skeleton's ThreadConstructor and
// ThreadDestructor, and so do the three jobs. Setup runs on the host's thread;
// the port lock keeps its exchanges apart from a running job's. `stop` is the
// skeleton's stopRequested; `cleanup` lets the parking commands through after
// a stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "drivers/spectroscan/spectroscan_layout.h"
#include "drivers/spectroscan/spectroscan_protocol.h"
#include "framework/driver.h"
#include "transport/serial_port.h"

namespace measure::spectroscan {

MEASURE_DRIVER_ERROR(exGRETAG_LIB);

class clGRETAG final : public framework::Driver {
public:
    static constexpr uint32_t kWorkerTimeout = 30000;
    static constexpr int kProbeTimeout = 100;   // ms per read while probing
    static constexpr int kPortTimeout = 10000;  // ms per read once connected
    static constexpr int kWaitForever = 2147483647;
    static constexpr size_t kAnswerSize = 64;
    static constexpr size_t kInfoSize = 512;
    static constexpr size_t kDataSize = 4096;

    explicit clGRETAG(MEASURESTRUCT* record);
    ~clGRETAG() override;

    // Host thread: measurement type and density standard for the record's mode.
    int Setup();
    // Host thread: sets `stop` and waits up to 30 s for the running job.
    void StopMeasure();

    // Jobs on MeasureThread. Each posts its own status and thread end.
    int RegisterCorner();          // StartRegisterCorners
    int SimpleMultiMeasurement();  // StartSimpleMultiMeasure: the registered chart
    int MultiMeasurement();        // StartMultiMeasure: whole charts, sheet by sheet

private:
    using Lock = std::unique_lock<std::recursive_mutex>;

    void ThreadConstructor() override;
    void ThreadDestructor() override;
    bool Open();
    void Close();

    // The command exchange and its three forms.
    bool xSendCommand(const char* command, char* answer, size_t size, int totalWait);
    bool xCommand(const std::string& command);
    bool xTableCommand(const std::string& command);
    bool xQuery(const char* command, char* answer, size_t size, int totalWait) {
        return xSendCommand(command, answer, size, totalWait);
    }
    Lock lockPort() { return Lock(portMutex_); }

    // The instrument's commands; true on success.
    enum class Detected { NoAnswer, NotThere, Found };
    Detected DetectInstrument(int totalWait);
    bool InitSpectoScan();
    bool SetHandshaking();
    void QueryDeviceData();
    void XYTableData();
    bool SetMeasurementType();
    bool SetColorimetricParam(int selector);
    bool SetMeasurementOutput();
    bool ResetMeasurementOutput();
    bool PerformMeasurement();
    bool PerformWhiteMeasurement();
    // On failure `scanError` (when given) receives the answer's scan error type.
    bool MoveAbsXY(int flag, int x, int y, int* scanError = nullptr);
    bool MoveToHomePos() { return xTableCommand(command::kHome); }
    bool MoveSensorUp() { return xTableCommand(command::kSensorUp); }
    bool MoveSensorDown() { return xTableCommand(command::kSensorDown); }
    bool MoveToWhiteRef() { return xTableCommand(command::kWhiteRef); }
    bool MoveAndMeasure(int x, int y);
    bool SetDeviceOnline() { return xTableCommand(command::kOnline); }
    bool HoldPaper() { return xTableCommand(command::kHoldPaper); }
    bool ReleasePaper() { return xTableCommand(command::kReleasePaper); }
    bool SetDigitizeMode() { return xTableCommand(command::kDigitizeMode); }
    bool GetLastDigitizedPos(int& x, int& y);
    bool WaitForEnterKey();

    // Steps of the jobs; they throw exGRETAG_LIB naming the failed step.
    bool DoCalibration();
    void Digitize(int prompt, int x, int y, int& outX, int& outY);
    // A chart job's start: a positive patch count, status 1, cleared corners.
    void BeginChart(const char* fn);
    void TakePlanFromRecord(const char* fn, bool required);
    void RegisterCorners(const char* fn);
    void StartMeasurements(const char* fn);
    void MeasureRows(const char* fn, int rows, int total, int& delivered);
    void MeasurePatch(int row, int patch, int index);
    bool ProcessMeasurement(int index);
    void DeliverSpectrum(int index, const std::array<double, kBands>& spectrum);
    void DeliverDensities(const std::array<double, 4>& densities);
    // The old-record density slot of the next patch, and its announcement.
    // Parks the table and ends the job with `result` (0, 1 or 3).
    int Cleanup(const char* fn, int result);

    transport::clCOMMUNICATION port_;
    std::recursive_mutex portMutex_;  // one exchange at a time on the line
    char answer_[kAnswerSize] = {};
    std::vector<char> data_ = std::vector<char>(kDataSize);
    std::atomic<bool> cleanup_{false};
    std::atomic<bool> trace_{true};
    std::atomic<int> output_{-1};
    int portTimeout_ = kProbeTimeout;
    int patches_ = 0;
    int rows_ = 0;
    int calibrationInterval_ = 4;
    double xStep_ = 100, yStep_ = 100;
    Registration corners_;
    std::atomic<bool> cornersRegistered_{false};
    // 2 while a measurement command runs, 1 while its data are awaited.
    std::atomic<int> phase_{0};
};

}  // namespace measure::spectroscan
