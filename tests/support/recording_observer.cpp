#include "support/recording_observer.h"

#include <algorithm>
#include <chrono>

namespace measure::test {
namespace {

const MeasureObserverVtbl kRecordingVtbl = {
    nullptr,
    nullptr,
    [](MeasureObserverC* o, uint32_t, uint32_t, uint32_t v) {
        RecordingObserver::add(o, {Notification::Scanspeed, v});
    },
    [](MeasureObserverC* o, uint32_t, uint32_t, int32_t v) {
        RecordingObserver::add(o, {Notification::Passno, v});
    },
    [](MeasureObserverC* o, uint32_t, uint32_t, int32_t v) {
        RecordingObserver::add(o, {Notification::Pageno, v});
    },
    [](MeasureObserverC* o, uint32_t, uint32_t, uint32_t v) {
        RecordingObserver::add(o, {Notification::PassEnd, v});
    },
    [](MeasureObserverC* o, uint32_t, uint32_t, int32_t v) {
        RecordingObserver::add(o, {Notification::Status, v});
    },
    [](MeasureObserverC* o, uint32_t, uint64_t w, void* r) {
        RecordingObserver::add(o, {Notification::MeasureData, 0, static_cast<int64_t>(w), r});
    },
    nullptr,
    [](MeasureObserverC* o, uint32_t, int32_t v) {
        RecordingObserver::add(o, {Notification::ThreadEnd, v});
    },
    [](MeasureObserverC* o, uint32_t, uint32_t f, uint32_t d) {
        RecordingObserver::add(o, {Notification::Beep, f, d});
    },
};

}  // namespace

RecordingObserver::RecordingObserver() : bridge_{{&kRecordingVtbl}, this} {
    AttachObserver(reinterpret_cast<MEASURE_OBSERVER*>(&bridge_.c));
}

RecordingObserver::~RecordingObserver() {
    DetachObserver();
}

void RecordingObserver::add(MeasureObserverC* o, Notification n) {
    RecordingObserver* self = reinterpret_cast<Bridge*>(o)->self;
    {
        std::lock_guard lock(self->mutex_);
        self->events_.push_back(n);
    }
    self->changed_.notify_all();
}

std::vector<Notification> RecordingObserver::all() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<int64_t> RecordingObserver::values(Notification::Kind kind) const {
    std::vector<int64_t> out;
    for (const Notification& n : all())
        if (n.kind == kind) out.push_back(n.value);
    return out;
}

int RecordingObserver::count(Notification::Kind kind) const {
    return static_cast<int>(values(kind).size());
}

void RecordingObserver::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
}

bool RecordingObserver::waitUntil(const std::function<bool(const std::vector<Notification>&)>& done,
                                  int timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(events_); });
}

bool RecordingObserver::waitThreadEnds(int n, int timeoutMs) const {
    return waitUntil(
        [n](const std::vector<Notification>& all) {
            return std::count_if(all.begin(), all.end(), [](const Notification& e) {
                       return e.kind == Notification::ThreadEnd;
                   }) >= n;
        },
        timeoutMs);
}

}  // namespace measure::test
