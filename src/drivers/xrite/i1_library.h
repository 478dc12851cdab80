// The i1 SDK libraries as the i1 drivers and the i1 pass-through exports
// share them, and the process-wide state that goes with the i1Pro: its device
// handle and the record of the last successful open.
//
// A library is bound on first use and stays loaded while anyone holds it: a
// driver holds it from its connection to its destruction, so the handle that
// one driver leaves process-wide stays valid for the next open, and an SDK
// missing on this machine only fails the open that needs it.
#pragma once

#include <memory>
#include <string>

#include "drivers/xrite/i1_sdk.h"
#include "framework/driver.h"
#include "framework/vendor_library.h"
#include "measure/measure.h"

namespace measure::xrite {

enum class I1Sdk {
    Pro,   // i1Pro64.dll, the I1_ calls
    Pro3,  // i1Pro364.dll, the I1PRO3_ calls
};

// Binding failures: "loading" or the missing call's name.
MEASURE_DRIVER_ERROR(exI1_SDK);

// One SDK library with every call of MEASURE_I1_CALLS bound. Its binder
// diagnostics carry the name clEYE_ONE_LIB_PRO, whichever library it binds.
class I1Library : public framework::VendorLibrary<exI1_SDK> {
public:
#define MEASURE_I1_MEMBER(name) i1fn::name* name = nullptr;
    MEASURE_I1_CALLS(MEASURE_I1_MEMBER)
#undef MEASURE_I1_MEMBER

    // The library, bound on first use; null when it is missing or lacks a
    // call (`failure` then says which). Any thread.
    static std::shared_ptr<const I1Library> acquire(I1Sdk which, std::string& failure);

    // The SDK's text about its last failure ("LastErrorText").
    std::string lastErrorText() const;

private:
    explicit I1Library(I1Sdk which);
};

// The device handle of the open i1Pro, shared by every i1Pro open and the
// pass-through exports; null when none is held.
I1_DeviceHandle sharedI1ProHandle();
void setSharedI1ProHandle(I1_DeviceHandle device);

// The device handle of the open i1Pro3 (the I1PRO3_ library); null when none.
I1_DeviceHandle sharedI1Pro3Handle();
void setSharedI1Pro3Handle(I1_DeviceHandle device);

// The process-wide handle of `which` library.
I1_DeviceHandle sharedI1Handle(I1Sdk which);
void setSharedI1Handle(I1Sdk which, I1_DeviceHandle device);

// The pass-through exports, when they hold an instrument, close it on
// request (I1CloseShort), before a driver of the other generation opens it.
using PassThroughRelease = void (*)();
void setPassThroughRelease(PassThroughRelease release);
void releasePassThrough();

// The record of the last successful i1Pro open (for the hot-plug notices).
MEASURESTRUCT* lastI1Record();
void setLastI1Record(MEASURESTRUCT* record);

}  // namespace measure::xrite
