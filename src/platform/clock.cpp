#include "platform/clock.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace measure::platform {
namespace {

double initialScale() {
    const char* text = std::getenv("MEASURE_TIME_SCALE");
    if (text == nullptr || *text == '\0') return 1.0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return (end != text && value > 0.0 && value <= 1000.0) ? value : 1.0;
}

std::atomic<double>& scaleSlot() {
    static std::atomic<double> slot{initialScale()};
    return slot;
}

}  // namespace

double timeScale() {
    return scaleSlot().load(std::memory_order_relaxed);
}

void setTimeScale(double scale) {
    if (scale > 0.0) scaleSlot().store(scale, std::memory_order_relaxed);
}

std::chrono::nanoseconds scaled(uint32_t ms) {
    const double ns = static_cast<double>(ms) * 1e6 * timeScale();
    return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

std::chrono::nanoseconds scaledPeerWait(uint32_t ms) {
    const std::chrono::nanoseconds floor =
        std::chrono::milliseconds(ms < kPeerWaitFloorMs ? ms : kPeerWaitFloorMs);
    const std::chrono::nanoseconds wait = scaled(ms);
    return wait < floor ? floor : wait;
}

void sleepMs(uint32_t ms) {
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(scaled(ms));
}

uint32_t tickCountMs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace measure::platform
