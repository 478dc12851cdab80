// The FD-9 behind the FD9 SDK stand-in: a chart reader with one chart of
// rows of patches (the terminal's chart: the same spectra, XYZ and L*a*b*),
// a virtual user who inserts the chart once a client connects, and the
// SDK's events, sent from the stand-in's own event thread. The handler may
// call back into the SDK from there: no lock is held across a callback, and
// once FD9_Disconnect or an unregistering returns no further event arrives.
//
// Tests script it through emu_fd9_instance() (the control API; the driver
// never calls it) and read its journal of SDK calls. The SDK library
// (libFD9SDK.so / FD9SDK.dll) forwards every FD9_ call here.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "drivers/konica/myiro9/fd9_sdk.h"

#if defined(_WIN32)
#define EMU_FD9_API __declspec(dllexport)
#else
#define EMU_FD9_API __attribute__((visibility("default")))
#endif

namespace measure::emu::konica {

// What goes wrong next.
struct Fd9Faults {
    int32_t connectResult = 0;    // FD9_Connect's answer (0, 1901 or a refusal)
    bool layoutMismatch = false;  // one patch more per row is recognised
    int failRow = -1;             // FD9_GetData fails for this row's ...
    int failPatch = -1;           // ... patch
    int32_t errorEvent = 0;       // sent instead of the measurement (101..204, 301)
    bool cancelUnasked = false;   // event 10 right after the patch recognition
    bool silent = false;          // no event after FD9_StartPreMeasurement
    bool noCancelReport = false;  // FD9_StopMeasurement sends no event 10
    bool noInsertion = false;     // the user never inserts the chart
    bool imagesRefused = false;   // FD9_RegisterDisplayImage fails
};

class EMU_FD9_API VirtualFd9 {
public:
    VirtualFd9();
    ~VirtualFd9();

    // Control (tests).
    void reset();
    void setChart(int rows, int patchesPerRow);
    void setFaults(const Fd9Faults& faults);
    // Another client's job runs on the instrument.
    void setForeignJob(bool on);
    std::vector<std::string> journal() const;
    // Events sent to a handler so far.
    std::vector<int32_t> events() const;
    // Whether an event call is running now.
    bool inCallback() const;

    // The SDK's calls.
    int32_t registerDisplayImage(int32_t image, const char* path);
    int32_t registerDeviceEventHandler(measure::konica::FD9_EventHandler handler);
    int32_t getDeviceList(const measure::konica::FD9_DeviceInfo** list, int32_t* count);
    int32_t taConnect(const char* address, const char* client);
    int32_t getSystemInfo(measure::konica::FD9_SystemInfo* info);
    int32_t connect(const measure::konica::FD9_DeviceInfo* device, const char* client);
    int32_t getJobList(const measure::konica::FD9_JobInfo** jobs, int32_t* count);
    int32_t startPreMeasurement();
    int32_t startMeasurement(int32_t first, int32_t second, int32_t third);
    int32_t getPatchRecogResult(measure::konica::FD9_PatchRecogResult* result);
    int32_t setOption(const int32_t* setting, const int32_t* value);
    int32_t getData(int32_t row, int32_t patch, float* values, int32_t* count);
    int32_t stopMeasurement();
    int32_t exitMeasurement(int32_t image, const char* text);
    int32_t disconnect();

    // The value v of data kind `kind` of chart patch `index` under the
    // condition value `condition` (0, 2, 15), as the SDK hands it out.
    static std::vector<float> patchData(int index, int32_t kind, int32_t condition);

private:
    void log(const std::string& line);
    // Queues events for the event thread (lock held by the caller).
    void queue(std::initializer_list<int32_t> codes);
    void run();
    // Drops queued events and waits for a running callback (unless called
    // from it). Lock held by the caller.
    void quiesce(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::thread thread_;
    bool quit_ = false;
    std::deque<int32_t> queue_;
    measure::konica::FD9_EventHandler handler_ = nullptr;
    bool delivering_ = false;
    std::thread::id callbackThread_;

    std::vector<std::string> journal_;
    std::vector<int32_t> events_;
    Fd9Faults faults_;
    bool foreignJob_ = false;
    int rows_ = 4;
    int perRow_ = 6;
    std::string client_;
    bool connected_ = false;
    bool measuring_ = false;
    int32_t options_[4] = {0, 0, 0, 0};
    std::vector<measure::konica::FD9_DeviceInfo> devices_;
    std::vector<measure::konica::FD9_JobInfo> jobs_;
    std::vector<std::string> images_;
};

// The one virtual instrument of the process (the control API's entry).
EMU_FD9_API VirtualFd9& emu_fd9_instance();

}  // namespace measure::emu::konica
