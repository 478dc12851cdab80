// A Win32-style event on the scaled clock: manual-reset events stay set until
// reset, auto-reset events release one waiter and clear themselves.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/clock.h"

namespace measure::platform {

class Event {
public:
    explicit Event(bool manualReset, bool initiallySet = false)
        : manualReset_(manualReset), set_(initiallySet) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // Waits up to `ms` specified milliseconds (kInfinite: no limit). True when
    // the event was set.
    bool wait(uint32_t ms);

private:
    const bool manualReset_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool set_;
};

}  // namespace measure::platform
