// The X-Rite i1 SDK as the i1 drivers and the i1 pass-through exports call
// it: i1Pro64.dll (the I1_ calls, with the i1iO table extension) and
// i1Pro364.dll (the same calls with the prefix I1PRO3_). Both libraries are
// loaded at run time, so these are the function types the binder resolves,
// not prototypes. The SDK stand-in in emulators/xrite/ checks its exports
// against the same types.
//
// Every call returns a 32-bit code, 0 for success; after a failure the SDK's
// text comes from GetGlobalOption("LastErrorText"). The "D" calls answer
// directly instead (a text, a button state, a count, a connection status).
#pragma once

#include <cstdint>

namespace measure::xrite {

// An instrument as the SDK hands it out; owned by the SDK.
using I1_DeviceHandle = void*;
using I1_ResultType = uint32_t;

// A position of the i1iO table head, in millimetres.
struct I1_Point {
    float x;
    float y;
};

// Called by the SDK on its own thread when an instrument arrives, leaves or
// reports an event: (device, event, context given at registration).
using I1_DeviceEventHandler = void (*)(I1_DeviceHandle device, uint32_t event, void* context);
// Called by I1_ScanChart after each row; answering kI1ScanCancelled stops
// the chart, which then returns that code.
using I1_ScanRowCallback = uint32_t (*)(void* context, uint32_t row);

// Result codes the drivers tell apart.
inline constexpr I1_ResultType kI1Success = 0;
inline constexpr I1_ResultType kI1DeviceNotConnected = 10;
inline constexpr I1_ResultType kI1NoMeasurementModeSet = 15;
// The other i1 library (i1Pro versus i1Pro3) holds the instrument open.
inline constexpr I1_ResultType kI1DeviceHeldByOtherLibrary = 52;
// The instrument is in use (the i1Pro3 library's answer when the i1Pro
// library holds it on a table).
inline constexpr I1_ResultType kI1DeviceInUse = 51;
inline constexpr I1_ResultType kI1DeviceNotCalibrated = 54;
// Trigger failures of a scan: the strip was not recognised (60), drawn too
// fast (62), a chart line was not recognised (66), drawn too slowly (67).
inline constexpr I1_ResultType kI1StripNotRecognised = 60;
inline constexpr I1_ResultType kI1ScanTooFast = 62;
inline constexpr I1_ResultType kI1LineNotRecognised = 66;
inline constexpr I1_ResultType kI1ScanTooSlow = 67;
inline constexpr I1_ResultType kI1ScanCancelled = 2110;
// A row callback's answer for a row that did not hold a full row of patches.
inline constexpr I1_ResultType kI1RowIncomplete = 2111;

// I1_GetButtonStatusD answers; reading a press clears it.
inline constexpr uint32_t kI1ButtonPressed = 1000;
inline constexpr uint32_t kI1ButtonNotPressed = 1001;

// I1_GetConnectionStatus answers.
inline constexpr uint32_t kI1StatusClosed = 1;
inline constexpr uint32_t kI1StatusDisconnected = 2;
inline constexpr uint32_t kI1StatusOpen = 3;
inline constexpr uint32_t kI1StatusClosedElsewhere = 5;
inline constexpr uint32_t kI1StatusOpenOnTable = 15;

// Device events passed to the event handler.
inline constexpr uint32_t kI1EventArrival = 1;
inline constexpr uint32_t kI1EventDeparture = 2;
inline constexpr uint32_t kI1EventButtonPressed = 3;

// Sizes of the sample arrays.
inline constexpr int kI1SpectrumBands = 36;  // 380..730 nm in 10 nm steps
inline constexpr int kI1TristimulusValues = 3;
inline constexpr int kI1Densities = 4;  // red, green, blue filter, visual
inline constexpr uint32_t kI1TextBufferSize = 256;

// The calls, in the order of the SDK's documentation. Each exists as I1_Name
// in i1Pro64 and as I1PRO3_Name in i1Pro364.
namespace i1fn {
using RegisterTableExtensions = I1_ResultType();
using GetGlobalOptionD = const char*(const char* key);
using GetGlobalOption = I1_ResultType(const char* key, char* buffer, uint32_t* size);
using SetGlobalOption = I1_ResultType(const char* key, const char* value);
using GetDevices = I1_ResultType(I1_DeviceHandle** devices, uint32_t* count);
using GetConnectionStatus = uint32_t(I1_DeviceHandle device);
using OpenDevice = I1_ResultType(I1_DeviceHandle device);
using CloseDevice = I1_ResultType(I1_DeviceHandle device);
using RegisterDeviceEventHandler = I1_ResultType(I1_DeviceEventHandler handler, void* context);
// size: in, the buffer's capacity; out, the answer's length without its zero.
using GetOption = I1_ResultType(I1_DeviceHandle device, const char* key, char* buffer, uint32_t* size);
using SetOption = I1_ResultType(I1_DeviceHandle device, const char* key, const char* value);
using Calibrate = I1_ResultType(I1_DeviceHandle device);
using SetSubstrate = I1_ResultType(I1_DeviceHandle device, const float* spectrum36);
using TriggerMeasurement = I1_ResultType(I1_DeviceHandle device);
using GetButtonStatusD = uint32_t(I1_DeviceHandle device);
using GetNumberOfAvailableSamples = int32_t(I1_DeviceHandle device);
using GetSpectrum = I1_ResultType(I1_DeviceHandle device, float* spectrum36, uint32_t index);
using GetTriStimulus = I1_ResultType(I1_DeviceHandle device, float* values3, uint32_t index);
// densityIndex (may be null) receives the index of the highest density.
using GetDensities = I1_ResultType(I1_DeviceHandle device, float* densities4, uint32_t* densityIndex,
                                   uint32_t index);
using GetDensity = I1_ResultType(I1_DeviceHandle device, float* density, uint32_t index);
// The i1iO table extension.
using SetPosition = I1_ResultType(I1_DeviceHandle device, const I1_Point* position);
using GetPosition = I1_ResultType(I1_DeviceHandle device, I1_Point* position);
using MoveToHomePosition = I1_ResultType(I1_DeviceHandle device);
using Scan = I1_ResultType(I1_DeviceHandle device, const I1_Point* start, const I1_Point* end);
// corners: the first patch of the first row, the first patch of the last row
// and the last patch of the last row, in that order (aperture positions); the
// rows are read from the first towards the last, each from its first patch
// to its last. reserved must be null.
using ScanChart = I1_ResultType(I1_DeviceHandle device, const I1_Point* corners3, uint32_t rows,
                                uint32_t columns, void* reserved, I1_ScanRowCallback onRow, void* context);
}  // namespace i1fn

// Expands X(Name) for every call above, in order. The binder and the
// stand-in walk this one list, so neither can forget a call.
#define MEASURE_I1_CALLS(X)        \
    X(RegisterTableExtensions)     \
    X(GetGlobalOptionD)            \
    X(GetGlobalOption)             \
    X(SetGlobalOption)             \
    X(GetDevices)                  \
    X(GetConnectionStatus)         \
    X(OpenDevice)                  \
    X(CloseDevice)                 \
    X(RegisterDeviceEventHandler)  \
    X(GetOption)                   \
    X(SetOption)                   \
    X(Calibrate)                   \
    X(SetSubstrate)                \
    X(TriggerMeasurement)          \
    X(GetButtonStatusD)            \
    X(GetNumberOfAvailableSamples) \
    X(GetSpectrum)                 \
    X(GetTriStimulus)              \
    X(GetDensities)                \
    X(GetDensity)                  \
    X(SetPosition)                 \
    X(GetPosition)                 \
    X(MoveToHomePosition)          \
    X(Scan)                        \
    X(ScanChart)

}  // namespace measure::xrite
