#include "drivers/xrite/i1_library.h"

#include <atomic>
#include <mutex>

namespace measure::xrite {
namespace {

struct SdkName {
    const char* file;
    const char* prefix;
};

SdkName nameOf(I1Sdk which) {
    return which == I1Sdk::Pro ? SdkName{"i1Pro64.dll", "I1_"} : SdkName{"i1Pro364.dll", "I1PRO3_"};
}

std::mutex cacheMutex;
std::weak_ptr<const I1Library> cache[2];

std::atomic<I1_DeviceHandle> sharedHandle{nullptr};
std::atomic<I1_DeviceHandle> sharedPro3Handle{nullptr};
std::atomic<MEASURESTRUCT*> lastRecord{nullptr};
std::atomic<PassThroughRelease> passThroughRelease{nullptr};

}  // namespace

I1Library::I1Library(I1Sdk which) : VendorLibrary("clEYE_ONE_LIB_PRO", nameOf(which).file) {
    const std::string prefix = nameOf(which).prefix;
#define MEASURE_I1_BIND(call) bind(call, (prefix + #call).c_str());
    MEASURE_I1_CALLS(MEASURE_I1_BIND)
#undef MEASURE_I1_BIND
    bound();
}

std::shared_ptr<const I1Library> I1Library::acquire(I1Sdk which, std::string& failure) {
    std::lock_guard lock(cacheMutex);
    auto& slot = cache[static_cast<int>(which)];
    if (auto held = slot.lock()) return held;
    try {
        std::shared_ptr<const I1Library> library(new I1Library(which));
        slot = library;
        return library;
    } catch (const std::exception& e) {
        failure = std::string(nameOf(which).file) + ": " + e.what();
        return nullptr;
    }
}

std::string I1Library::lastErrorText() const {
    char text[kI1TextBufferSize] = {};
    uint32_t size = sizeof text;
    if (GetGlobalOption("LastErrorText", text, &size) != kI1Success) return "";
    text[sizeof text - 1] = '\0';
    return text;
}

I1_DeviceHandle sharedI1ProHandle() {
    return sharedHandle.load();
}
void setSharedI1ProHandle(I1_DeviceHandle device) {
    sharedHandle.store(device);
}

I1_DeviceHandle sharedI1Pro3Handle() {
    return sharedPro3Handle.load();
}
void setSharedI1Pro3Handle(I1_DeviceHandle device) {
    sharedPro3Handle.store(device);
}

I1_DeviceHandle sharedI1Handle(I1Sdk which) {
    return which == I1Sdk::Pro ? sharedI1ProHandle() : sharedI1Pro3Handle();
}
void setSharedI1Handle(I1Sdk which, I1_DeviceHandle device) {
    if (which == I1Sdk::Pro)
        setSharedI1ProHandle(device);
    else
        setSharedI1Pro3Handle(device);
}

void setPassThroughRelease(PassThroughRelease release) {
    passThroughRelease.store(release);
}
void releasePassThrough() {
    if (PassThroughRelease release = passThroughRelease.load()) release();
}

MEASURESTRUCT* lastI1Record() {
    return lastRecord.load();
}
void setLastI1Record(MEASURESTRUCT* record) {
    lastRecord.store(record);
}

}  // namespace measure::xrite
