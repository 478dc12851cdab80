// One open instrument as measure-cli drives it: the record, the observer
// through which the library reports (its calls arrive on driver threads and
// are queued here for the main thread), and the requests a host makes:
// calibrate, insert paper, register corners, measure strips or spots.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <measure/measure.h>

#include "display.h"

namespace cli {

// One patch as delivered: three values (Lab or XYZ) or 36 spectral bands.
using Patch = std::vector<double>;

struct Event {
    enum class Kind { Status, PassNumber, ScanSpeed, PassEnd, PageNumber, Data, ThreadEnd };
    Kind kind = Kind::Status;
    int32_t value = 0;
    std::vector<Patch> patches;  // Data only
};

// The host's observer: copies what the library reports into a queue.
class EventQueue : public MeasureObserver {
public:
    void setSpectral(bool spectral) { spectral_ = spectral; }
    // The next event, waiting up to `ms` milliseconds.
    std::optional<Event> next(int ms);
    void clear();

    void OnScanspeedStatus(uint32_t, uint32_t, uint32_t value) override;
    void OnPassno(uint32_t, uint32_t, int32_t value) override;
    void OnPageno(uint32_t, uint32_t, int32_t value) override;
    void OnPassEnd(uint32_t, uint32_t, uint32_t value) override;
    void OnStatusCode(uint32_t, uint32_t, int32_t value) override;
    void OnMeasureData(uint32_t, uint64_t, void* result) override;
    void OnThreadEnd(uint32_t, int32_t code) override;

private:
    void push(Event event);
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Event> events_;
    bool spectral_ = false;  // set before any request runs
};

enum class Outcome { Done, Failed, Interrupted };

struct SessionSettings {
    uint32_t instrument = 0;
    uint32_t mode = MEASURE_MODE_SPECTRAL;  // the mode asked of the instrument
    int32_t patches = 1;
    int32_t perLine = 0;
    int32_t perChart = 0;  // NumPatchesPerChart
    uint32_t condition = MEASURE_CONDITION_M0;
    bool sound = true;
    uint32_t address = 0;  // network instruments: IPv4 in network order
    uint32_t port = 0;
};

class InstrumentSession {
public:
    InstrumentSession(const SessionSettings& settings, Display& display);
    ~InstrumentSession();
    InstrumentSession(const InstrumentSession&) = delete;
    InstrumentSession& operator=(const InstrumentSession&) = delete;

    // Open2Instrument; on failure `problem` says so in one line.
    bool open(std::string& problem);
    void close();
    bool isOpen() const { return open_; }

    bool mustCalibrate();
    Outcome calibrate(std::string& problem);
    Outcome insertPaper(std::string& problem);
    Outcome registerCorners(std::string& problem);
    // Strips (or a whole chart) with StartMultiMeasure, or one patch per
    // button press with StartSingleMeasure; the patches in delivery order.
    Outcome measure(bool single, std::vector<Patch>& patches, std::string& problem);

    MEASURE2STRUCT& record() { return record_; }

private:
    // Waits for events until `handle` returns true (done) or the instrument
    // or the user ends the request; bounded by a generous overall limit.
    template <class Handle>
    Outcome waitFor(Handle handle, std::string& problem);
    void stopRequest(bool single);
    Outcome prepare(int32_t (*start)(MEASURESTRUCT*), int32_t doneStatus, const char* what,
                    std::string& problem);

    SessionSettings settings_;
    Display& display_;
    EventQueue queue_;
    MEASURE2STRUCT record_{};
    bool open_ = false;
};

}  // namespace cli
