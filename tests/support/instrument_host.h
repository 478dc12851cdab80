// A test host for a driver's rows: it fills a record, opens through the
// exports, reads every notification from its host window, acts as the user
// (presses the instrument's button, scans) when the driver prompts for it,
// and keeps what was delivered (patches of each data message, density slots).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "measure/measure.h"
#include "support/host_window.h"

namespace measure::test {

struct HostEvent {
    enum Kind { Density, Status, Passno, Scanspeed, PassEnd, Pageno, Data, End } kind;
    int64_t value;  // status, pass number, count, end code; patch count of Data
    bool operator==(const HostEvent&) const = default;
    friend void PrintTo(const HostEvent& e, std::ostream* os) {
        *os << "{" << int(e.kind) << ", " << e.value << "}";
    }
};

// What every test host keeps: an extended record for one registry row whose
// notifications go to the host's window, opened and closed through the
// exports.
class RecordHost {
public:
    RecordHost(uint32_t id, uint32_t mode, int32_t patches, uint32_t message) {
        rec.cb = MEASURE2_RECORD_SIZE;
        rec.instrument = id;
        rec.Mode = mode;
        rec.NumOfPatchesToRead = patches;
        rec.hWnd = window_.handle();
        rec.Message = message;
    }
    ~RecordHost() {
        // The window goes first: a driver waiting for the host to take a
        // sent message must not wait for a host that has gone.
        window_.destroy();
        close();
    }
    RecordHost(const RecordHost&) = delete;
    RecordHost& operator=(const RecordHost&) = delete;

    MEASURESTRUCT* record() { return reinterpret_cast<MEASURESTRUCT*>(&rec); }
    int32_t open() {
        const int32_t result = Open2Instrument(record());
        opened_ = result == 0;
        return result;
    }
    // Opens with the plain record (the first 2080 bytes, density modes only).
    int32_t openOld() {
        const int32_t result = OpenInstrument(record());
        opened_ = result == 0;
        return result;
    }
    // CloseInstrument's answer; 0 when nothing is open.
    int32_t close() {
        if (!opened_) return 0;
        opened_ = false;
        return CloseInstrument(record());
    }

    // A request's notifications up to its thread end (takeUntilThreadEnd):
    // statuses go to `statuses`, every other message to `other`.
    int takeUntilEnd(std::chrono::milliseconds timeout, int untilStatus,
                     const std::function<void(const HostMessage&)>& other) {
        return takeUntilThreadEnd(window_, rec.Message, timeout, untilStatus, statuses, other);
    }
    // True when nothing at all arrives within `ms`.
    bool quiet(int ms) {
        HostMessage m{};
        return window_.next(m, ms) == 0;
    }

    MEASURE2STRUCT rec{};
    std::vector<int> statuses;

protected:
    HostWindow& window() { return window_; }

private:
    HostWindow window_;
    bool opened_ = false;
};

class InstrumentHost : public RecordHost {
public:
    static constexpr uint32_t kMessage = 0x7000;

    // An extended record for `id` in `mode`; `press` is what the user does
    // when prompted.
    InstrumentHost(uint32_t id, uint32_t mode, int32_t patches, std::function<void()> press)
        : RecordHost(id, mode, patches, kMessage), press_(std::move(press)) {
        rec.SoundSelector = 2;  // silence
    }

    // Statuses after which the host presses the button (the prompts that
    // precede a wait for it).
    std::set<int64_t> pressOn{MEASURE_STATUS_WAIT_USER, MEASURE_STATUS_PASS_FAILED};
    // Called for every event before the press rule; lets a test act mid-run.
    std::function<void(const HostEvent&)> onEvent;

    // Reads notifications until `done` holds for one (true) or `timeoutMs`
    // of real time pass without it (false).
    bool runUntil(const std::function<bool(const HostEvent&)>& done, int timeoutMs = 20000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            HostMessage msg{};
            if (window().next(msg, 20) != 1) continue;
            const HostEvent event = take(msg);
            events.push_back(event);
            if (onEvent) onEvent(event);
            if (event.kind == HostEvent::Status && pressOn.count(event.value) > 0 && press_) press_();
            if (done(event)) return true;
        }
        return false;
    }
    // Runs to the thread end and returns its code (-100 on timeout).
    int64_t runToEnd(int timeoutMs = 20000) {
        int64_t code = -100;
        runUntil(
            [&](const HostEvent& e) {
                if (e.kind == HostEvent::End) code = e.value;
                return e.kind == HostEvent::End;
            },
            timeoutMs);
        return code;
    }
    bool runUntilStatus(int64_t status, int timeoutMs = 20000) {
        return runUntil([&](const HostEvent& e) { return e.kind == HostEvent::Status && e.value == status; },
                        timeoutMs);
    }
    // Collects whatever arrives within `ms` of real time.
    void drain(int ms) {
        runUntil([](const HostEvent&) { return false; }, ms);
    }

    std::vector<int64_t> values(HostEvent::Kind kind) const {
        std::vector<int64_t> out;
        for (const auto& e : events)
            if (e.kind == kind) out.push_back(e.value);
        return out;
    }
    size_t count(HostEvent::Kind kind, int64_t value) const {
        size_t n = 0;
        for (const auto& e : events) n += e.kind == kind && e.value == value;
        return n;
    }

    std::vector<HostEvent> events;
    // Per data message: the patches it delivered (three values or 36 bands).
    std::vector<std::vector<std::array<double, 3>>> triples;
    std::vector<std::vector<std::array<double, 36>>> spectra;
    // Per density message: the slot's four values.
    std::vector<std::array<uint16_t, 4>> densities;

private:
    HostEvent take(const HostMessage& msg) {
        const uint32_t offset = msg.message - kMessage;
        switch (offset) {
            case MEASURE_MSG_OLD_RECORD_DENSITY: {
                std::array<uint16_t, 4> slot{};
                std::memcpy(slot.data(), reinterpret_cast<const void*>(msg.lParam), sizeof slot);
                densities.push_back(slot);
                return {HostEvent::Density, static_cast<int64_t>(msg.wParam)};
            }
            case MEASURE_MSG_STATUS: {
                const auto value = static_cast<int64_t>(static_cast<int32_t>(msg.lParam));
                switch (msg.wParam) {
                    case MEASURE_KIND_SCANSPEED:
                        return {HostEvent::Scanspeed, value};
                    case MEASURE_KIND_PASSNO:
                        return {HostEvent::Passno, value};
                    case MEASURE_KIND_PASSEND:
                        return {HostEvent::PassEnd, value};
                    case MEASURE_KIND_PAGENO:
                        return {HostEvent::Pageno, value};
                    default:
                        return {HostEvent::Status, value};
                }
            }
            case MEASURE_MSG_THREAD_END:
                return {HostEvent::End, static_cast<int64_t>(static_cast<int32_t>(msg.wParam))};
            case MEASURE_MSG_MEASURE_DATA:
                return {HostEvent::Data, copyResult(reinterpret_cast<const void*>(msg.lParam))};
            default:
                ADD_FAILURE() << "unexpected message " << msg.message;
                return {HostEvent::Status, -1};
        }
    }

    // Copies the delivered patches at once: the next strip overwrites them.
    int64_t copyResult(const void* result) {
        const uint32_t form = rec.Mode & ~uint32_t(MEASURE_MODE_EMISSION);
        if (form == MEASURE_MODE_SPECTRAL || form == 9 || form == 10) {
            const auto* head = static_cast<const MEASURE_SPECTRAL_RESULT*>(result);
            EXPECT_EQ(head->StartNm, 380u);
            EXPECT_EQ(head->StepNm, 10u);
            EXPECT_EQ(head->NumBands, 36u);
            // A driver may already write its next patches into the block:
            // the count is read once.
            const uint64_t count = head->NumPatches;
            std::vector<std::array<double, 36>> patches(count);
            for (uint64_t i = 0; i < count; ++i)
                std::memcpy(patches[i].data(), MEASURE_SPECTRAL_PATCH(result, i), sizeof patches[i]);
            spectra.push_back(patches);
            return static_cast<int64_t>(count);
        }
        const auto* head = static_cast<const MEASURE_TRIPLE_RESULT*>(result);
        const uint64_t count = head->NumPatches;
        std::vector<std::array<double, 3>> patches(count);
        for (uint64_t i = 0; i < count; ++i)
            std::memcpy(patches[i].data(), MEASURE_TRIPLE_VALUES(result, i), sizeof patches[i]);
        triples.push_back(patches);
        return static_cast<int64_t>(count);
    }

    std::function<void()> press_;
};

}  // namespace measure::test
