// clKONICA_MINOLTA_MYIRO9: the Konica Minolta FD-9 and MYIRO-9 automatic
// chart readers (registry rows 38, 42, 44 and 56). The terminal rows (42 "FD-9
// Terminal", 44 "MYIRO-9 Terminal") reach the instrument through a terminal
// computer found by a broadcast datagram and asked over its small HTTP
// interface for finished chart results (CGATS text); the other rows drive
// the instrument directly through the vendor's FD9 SDK and its events.
//
// The chart identifier the terminal files results under is the host's
// pszParameterFile text; of several results for it the newest wins. A chart
// result is complete when it holds exactly NumOfPatchesToRead patches.
//
// Threads: the entries run on the host's thread; ThreadConstructor,
// ThreadDestructor and the jobs on MeasureThread. The SDK calls the event
// handler on its own thread; the handler reaches the open driver through a
// process-wide weak pointer (one driver of this class is open at a time),
// holding a share for as long as it runs, and writes only atomics and the
// host's result block the waiting job does not touch meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drivers/konica/myiro9/fd9_library.h"
#include "framework/driver.h"

namespace measure::konica {

MEASURE_DRIVER_ERROR(exKONICA_MINOLTA_MYIRO9_LIB);
MEASURE_CALIBRATION_ERROR(exKONICA_MINOLTA_MYIRO9_CALIBRATION);

// Status codes of the chart reader's jobs.
inline constexpr int32_t kStatusPatchRecognition = 12;  // the chart's patches are being recognised
inline constexpr int32_t kStatusRecognitionFailed = 34;
inline constexpr int32_t kStatusInstrumentBusy = 37;  // another client's job runs on the instrument

// What the event handler reports to the waiting job.
enum class Fd9Result : int {
    None = 0,
    Success = 1,
    CountMismatch = -1,
    RecognitionFailed = -2,
    SdkError = -3,
    Cancelled = -4,
};

class clKONICA_MINOLTA_MYIRO9 final : public framework::Driver {
public:
    static constexpr uint32_t kWorkerTimeout = 30000;
    static constexpr uint32_t kStepMs = 100;
    static constexpr int kStepsPerRound = 100;
    static constexpr uint32_t kBusyWaitMs = 500;
    static constexpr uint32_t kSuccessWaitMs = 1000;
    static constexpr const char* kResultFile = "tmpIt8.txt";
    static constexpr const char* kTerminalClient = "QRVMeasurementService";
    static constexpr const char* kMeasurementClient = "SP100Serv";

    explicit clKONICA_MINOLTA_MYIRO9(MEASURESTRUCT* record);
    ~clKONICA_MINOLTA_MYIRO9() override;

    // Jobs on MeasureThread.
    int MultiMeasurement();
    int SimpleMeasurement();
    int StartInsertPaper();

    void PublishAbilities() override;

    // The SDK's event handler (the SDK's thread).
    static void EventHandler(int32_t eventCode);

    bool terminal() const { return terminal_; }

protected:
    void RequestFailed(const framework::RequestFailure& failure) override;

private:
    void ThreadConstructor() override;
    void ThreadDestructor() override;

    bool terminalRow() const;
    void ConnectTerminal();
    void ConnectDirect();
    // The device list text from FD9_GetDeviceList; false when it failed.
    bool ListDevices();

    int TerminalMeasurement();
    // One attempt: list, download, save and read the result; true when it
    // is complete (the values then in `values_`).
    bool TerminalAttempt(const std::string& chartId);
    void DeliverTerminal();

    int DirectMeasurement();
    // The job kind whose failures RequestFailed reports.
    enum class Job { Terminal, Direct, InsertPaper };
    // Registers the event handler for this driver.
    void RegisterHandler();
    // FD9_Connect with `client` ("Connection Failed" unless 0 or 1901).
    void ConnectInstrument(const std::string& client);
    // Whether the instrument runs a job of a client other than `client`.
    bool ForeignJob(const std::string& client);
    // Waits in 100 ms steps for the handler's result; false on a stop.
    bool WaitResult();
    // Starts the patch recognition and waits for the measurement's result:
    // success ends the job with 0, a stop is passed on to the instrument
    // once and its cancellation awaited.
    int FinishMeasurement();
    // Disconnects and unregisters the handler.
    void EndDirectJob();
    // FD9_ExitMeasurement with the registered image, or `text` without one.
    void Show(bool success, const char* text);
    std::string MeasurementClient() const;

    // Event handler work (SDK thread).
    void OnEvent(int32_t code);
    void OnRecognition();
    void ReadRow();

    std::shared_ptr<const Fd9Library> sdk_;
    bool terminal_ = false;
    std::string address_;
    int64_t terminalClock_ = 0;
    std::string deviceList_;
    std::string serial_;

    uint32_t openedAt_ = 0;
    FD9_DeviceInfo device_{};
    bool imagesRegistered_ = false;
    Job job_ = Job::Terminal;

    // Shared with the event handler.
    std::atomic<int> result_{0};
    std::atomic<bool> recognitionFailed_{false};
    std::atomic<bool> simpleLayout_{false};
    std::atomic<int> patchesPerRow_{0};
    std::atomic<int> nextRow_{0};
    std::atomic<bool> connectedToInstrument_{false};
    // The rows read so far (cleared by the job before the instrument starts,
    // then the event thread's alone).
    std::vector<double> chart_;
    int chartPatches_ = 0;

    // Terminal results of the last complete attempt.
    std::vector<double> values_;
    int patchCount_ = 0;
};

}  // namespace measure::konica
