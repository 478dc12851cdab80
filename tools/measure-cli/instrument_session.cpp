#include "instrument_session.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "console.h"

namespace cli {
namespace {

// How long measure-cli waits for an instrument that does not report.
constexpr auto kRequestLimit = std::chrono::minutes(15);
constexpr int kPollMs = 100;

// Message numbers as a Windows host would pick them (WM_APP).
constexpr uint32_t kMessageBase = 0x8000;

// The block keeps its capacity (in patches) just before the delivered head.
uint64_t capacityBefore(const void* result) {
    uint64_t capacity = 0;
    std::memcpy(&capacity, static_cast<const char*>(result) - sizeof capacity, sizeof capacity);
    return capacity;
}

}  // namespace

void EventQueue::push(Event event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    cv_.notify_one();
}

std::optional<Event> EventQueue::next(int ms) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !events_.empty(); }))
        return std::nullopt;
    Event event = std::move(events_.front());
    events_.pop_front();
    return event;
}

void EventQueue::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

void EventQueue::OnScanspeedStatus(uint32_t, uint32_t, uint32_t value) {
    push({Event::Kind::ScanSpeed, static_cast<int32_t>(value), {}});
}
void EventQueue::OnPassno(uint32_t, uint32_t, int32_t value) {
    push({Event::Kind::PassNumber, value, {}});
}
void EventQueue::OnPageno(uint32_t, uint32_t, int32_t value) {
    push({Event::Kind::PageNumber, value, {}});
}
void EventQueue::OnPassEnd(uint32_t, uint32_t, uint32_t value) {
    push({Event::Kind::PassEnd, static_cast<int32_t>(value), {}});
}
void EventQueue::OnStatusCode(uint32_t, uint32_t, int32_t value) {
    push({Event::Kind::Status, value, {}});
}
void EventQueue::OnThreadEnd(uint32_t, int32_t code) {
    push({Event::Kind::ThreadEnd, code, {}});
}

// Runs on the driver's thread: the results stay valid only until the next
// measurement, so they are copied out now.
void EventQueue::OnMeasureData(uint32_t, uint64_t, void* result) {
    Event event{Event::Kind::Data, 0, {}};
    if (result != nullptr) {
        const uint64_t capacity = capacityBefore(result);
        if (spectral_) {
            const auto* head = static_cast<const MEASURE_SPECTRAL_RESULT*>(result);
            const uint64_t n = std::min<uint64_t>(head->NumPatches, capacity);
            for (uint64_t i = 0; i < n; ++i) {
                const double* slot = MEASURE_SPECTRAL_PATCH(result, i);
                event.patches.emplace_back(slot, slot + MEASURE_SPECTRAL_BANDS);
            }
        } else {
            const auto* head = static_cast<const MEASURE_TRIPLE_RESULT*>(result);
            const uint64_t n = std::min<uint64_t>(head->NumPatches, capacity);
            for (uint64_t i = 0; i < n; ++i) {
                const double* values = MEASURE_TRIPLE_VALUES(result, i);
                event.patches.emplace_back(values, values + 3);
            }
        }
    }
    event.value = static_cast<int32_t>(event.patches.size());
    push(std::move(event));
}

InstrumentSession::InstrumentSession(const SessionSettings& settings, Display& display)
    : settings_(settings), display_(display) {
    record_.cb = MEASURE2_RECORD_SIZE;
    record_.instrument = settings.instrument;
    record_.port = -1;
    record_.Mode = settings.mode;
    record_.NumOfPatchesToRead = settings.patches;
    record_.NumPatchesPerLine = settings.perLine;
    record_.NumPatchesPerChart = settings.perChart;
    record_.MeasurementCondition = settings.condition;
    record_.NetworkAddress = settings.address;
    record_.RicohPort = settings.port;
    // 1 plays the library's own sounds; any value but 0 and 1 keeps it quiet.
    record_.SoundSelector = settings.sound ? MEASURE_SOUND_BUILT_IN : 2;
    record_.Message = kMessageBase;
    const uint32_t form = settings.mode & ~static_cast<uint32_t>(MEASURE_MODE_EMISSION);
    queue_.setSpectral(form == MEASURE_MODE_SPECTRAL);
    AttachObserver(&queue_);
}

InstrumentSession::~InstrumentSession() {
    close();
    DetachObserver();
}

bool InstrumentSession::open(std::string& problem) {
    if (Open2Instrument(reinterpret_cast<MEASURESTRUCT*>(&record_)) != 0) {
        problem = "could not open instrument " + std::to_string(settings_.instrument) +
                  ": it is not attached, not available here, or refused the settings"
                  " (set MEASURE_LOG=<file> for the library's account)";
        return false;
    }
    open_ = true;
    return true;
}

void InstrumentSession::close() {
    if (!open_) return;
    CloseInstrument(reinterpret_cast<MEASURESTRUCT*>(&record_));
    open_ = false;
}

bool InstrumentSession::mustCalibrate() {
    return MustCalibrate(reinterpret_cast<MEASURESTRUCT*>(&record_)) == 1;
}

template <class Handle>
Outcome InstrumentSession::waitFor(Handle handle, std::string& problem) {
    const auto deadline = std::chrono::steady_clock::now() + kRequestLimit;
    for (;;) {
        if (interrupted()) return Outcome::Interrupted;
        std::optional<Event> event = queue_.next(kPollMs);
        if (!event) {
            if (std::chrono::steady_clock::now() > deadline) {
                problem = "the instrument did not finish within 15 minutes";
                return Outcome::Failed;
            }
            continue;
        }
        if (std::optional<Outcome> outcome = handle(*event)) return *outcome;
    }
}

void InstrumentSession::stopRequest(bool single) {
    auto* record = reinterpret_cast<MEASURESTRUCT*>(&record_);
    if (single) {
        StopSingleMeasure(record);
    } else {
        StopMultiMeasure(record);
    }
}

Outcome InstrumentSession::calibrate(std::string& problem) {
    queue_.clear();
    if (WhiteCalibration(reinterpret_cast<MEASURESTRUCT*>(&record_)) != 0) {
        problem = "the instrument refused the white calibration";
        return Outcome::Failed;
    }
    MeasureProgress progress;
    const Outcome outcome = waitFor(
        [&](const Event& e) -> std::optional<Outcome> {
            if (e.kind == Event::Kind::Status) {
                if (e.value == MEASURE_STATUS_CALIBRATION_DONE) return Outcome::Done;
                if (e.value == MEASURE_STATUS_CALIBRATION_FAILED) {
                    problem = "the white calibration failed";
                    return Outcome::Failed;
                }
                if (auto text = statusPrompt(e.value, progress)) display_.prompt(*text);
            } else if (e.kind == Event::Kind::ThreadEnd) {
                problem = std::string("the white calibration ") + threadEndText(e.value);
                return Outcome::Failed;
            }
            return std::nullopt;
        },
        problem);
    if (outcome == Outcome::Interrupted) stopRequest(false);
    return outcome;
}

// A preparation request that ends with one status (paper in place, corners
// registered), or with a thread end on instruments that report one.
Outcome InstrumentSession::prepare(int32_t (*start)(MEASURESTRUCT*), int32_t doneStatus, const char* what,
                                   std::string& problem) {
    queue_.clear();
    if (start(reinterpret_cast<MEASURESTRUCT*>(&record_)) != 0) {
        problem = std::string("the instrument refused ") + what;
        return Outcome::Failed;
    }
    MeasureProgress progress;
    const Outcome outcome = waitFor(
        [&](const Event& e) -> std::optional<Outcome> {
            if (e.kind == Event::Kind::Status) {
                if (auto text = statusPrompt(e.value, progress)) display_.prompt(*text);
                if (e.value == doneStatus) return Outcome::Done;
            } else if (e.kind == Event::Kind::ThreadEnd) {
                if (e.value == MEASURE_END_DONE) return Outcome::Done;
                problem = std::string(what) + " " + threadEndText(e.value);
                return Outcome::Failed;
            }
            return std::nullopt;
        },
        problem);
    if (outcome == Outcome::Interrupted) stopRequest(false);
    return outcome;
}

Outcome InstrumentSession::insertPaper(std::string& problem) {
    return prepare(&StartInsertPaper, MEASURE_STATUS_PAPER_IN_PLACE, "taking in the chart", problem);
}

Outcome InstrumentSession::registerCorners(std::string& problem) {
    return prepare(&StartRegisterCorners, MEASURE_STATUS_CORNERS_DONE, "registering the chart corners",
                   problem);
}

Outcome InstrumentSession::measure(bool single, std::vector<Patch>& patches, std::string& problem) {
    queue_.clear();
    auto* record = reinterpret_cast<MEASURESTRUCT*>(&record_);
    const int started = single ? StartSingleMeasure(record) : StartMultiMeasure(record);
    if (started != 0) {
        problem = "the instrument refused to start the measurement";
        return Outcome::Failed;
    }
    const size_t wanted = static_cast<size_t>(settings_.patches);
    MeasureProgress progress;
    progress.single = single;
    progress.patchesWanted = wanted;
    display_.progress(0, wanted);
    std::vector<Patch> previous;
    const Outcome outcome = waitFor(
        [&](const Event& e) -> std::optional<Outcome> {
            switch (e.kind) {
                case Event::Kind::Status:
                    if (auto text = statusPrompt(e.value, progress)) display_.prompt(*text);
                    break;
                case Event::Kind::PassNumber:
                    if (e.value < 0) progress.totalPasses = -e.value;
                    if (e.value > 0) progress.currentPass = e.value;
                    break;
                case Event::Kind::Data: {
                    // Instruments that hand over each patch as it is measured
                    // leave the earlier ones in the block and count them again:
                    // a delivery that repeats the previous one plus a patch adds
                    // only that patch.
                    const bool growing = !previous.empty() && e.patches.size() == previous.size() + 1 &&
                                         std::equal(previous.begin(), previous.end(), e.patches.begin());
                    for (size_t i = growing ? previous.size() : 0; i < e.patches.size(); ++i)
                        if (patches.size() < wanted) patches.push_back(e.patches[i]);
                    previous = e.patches;
                    progress.patchesDone = patches.size();
                    display_.progress(patches.size(), wanted);
                    // A spot instrument keeps offering patches until it is told to stop.
                    if (single && patches.size() >= wanted) {
                        stopRequest(true);
                        return Outcome::Done;
                    }
                    break;
                }
                case Event::Kind::ThreadEnd:
                    if (e.value == MEASURE_END_DONE) return Outcome::Done;
                    problem = std::string("the measurement ") + threadEndText(e.value) + " after " +
                              std::to_string(patches.size()) + " of " + std::to_string(wanted) + " patches";
                    return Outcome::Failed;
                default:
                    break;
            }
            return std::nullopt;
        },
        problem);
    if (outcome == Outcome::Interrupted) stopRequest(single);
    display_.endProgress();
    return outcome;
}

}  // namespace cli
