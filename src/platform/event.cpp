#include "platform/event.h"

namespace measure::platform {

void Event::set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    if (manualReset_)
        cv_.notify_all();
    else
        cv_.notify_one();
}

void Event::reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool Event::isSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

bool Event::wait(uint32_t ms) {
    std::unique_lock lock(mutex_);
    if (ms == kInfinite) {
        cv_.wait(lock, [this] { return set_; });
    } else if (!cv_.wait_for(lock, scaled(ms), [this] { return set_; })) {
        return false;
    }
    if (!manualReset_) set_ = false;
    return true;
}

}  // namespace measure::platform
