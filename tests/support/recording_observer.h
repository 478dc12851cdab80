// An observer that records every notification the library sends, in order,
// attached while alive. Notifications arrive on driver threads; the accessors
// may be called from the test's thread at any time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <vector>

#include "measure/measure.h"

namespace measure::test {

struct Notification {
    enum Kind { Scanspeed, Passno, Pageno, PassEnd, Status, MeasureData, ThreadEnd, Beep };
    Kind kind;
    int64_t value;      // status, pass number, end code, frequency...
    int64_t extra = 0;  // beep duration; measure data wParam
    void* result = nullptr;
    bool operator==(const Notification&) const = default;
    friend void PrintTo(const Notification& n, std::ostream* os) {
        static const char* const kNames[] = {"Scanspeed", "Passno",      "Pageno",    "PassEnd",
                                             "Status",    "MeasureData", "ThreadEnd", "Beep"};
        *os << kNames[n.kind] << "(" << n.value << ", " << n.extra << ")";
    }
};

class RecordingObserver {
public:
    RecordingObserver();
    ~RecordingObserver();
    RecordingObserver(const RecordingObserver&) = delete;
    RecordingObserver& operator=(const RecordingObserver&) = delete;

    std::vector<Notification> all() const;
    std::vector<int64_t> values(Notification::Kind kind) const;
    int count(Notification::Kind kind) const;
    void clear();
    // Waits (real time, bounded) until `done(all())` holds; false on timeout.
    bool waitUntil(const std::function<bool(const std::vector<Notification>&)>& done,
                   int timeoutMs = 5000) const;
    // Waits until `n` thread ends have arrived.
    bool waitThreadEnds(int n, int timeoutMs = 5000) const;

    // Called through the observer's function table.
    static void add(MeasureObserverC* o, Notification n);

private:
    struct Bridge {
        MeasureObserverC c;
        RecordingObserver* self;
    };

    Bridge bridge_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Notification> events_;
};

}  // namespace measure::test
