// The Konica Minolta FD9 SDK (FD9SDK.dll) as the MYIRO-9 driver calls it.
// The library is loaded at run time, so these are the function types the
// binder resolves, not prototypes; the SDK stand-in in emulators/konica/
// exports its calls with the same types.
//
// Every call returns a 32-bit code, 0 for success. The SDK announces what
// the instrument does through one event handler, called on the SDK's own
// thread with an event code; the handler may call back into the SDK.
#pragma once

#include <cstdint>

namespace measure::konica {

inline constexpr int32_t kFd9Success = 0;
// FD9_Connect and FD9_TAConnect: this client is connected already.
inline constexpr int32_t kFd9AlreadyConnected = 1901;

// Event codes.
inline constexpr int32_t kFd9EventIdle = 3;
// The user inserted a chart (the paper insertion the jobs wait for).
inline constexpr int32_t kFd9EventChartInserted = 5;
inline constexpr int32_t kFd9EventPatchRecognition = 7;
inline constexpr int32_t kFd9EventChartDone = 9;
inline constexpr int32_t kFd9EventErrorOrCancel = 10;
inline constexpr int32_t kFd9EventRowDone = 11;
inline constexpr int32_t kFd9EventFatal = 301;
// 101..103 and 201..204: errors of the instrument that end the measurement.
inline bool isFd9ErrorEvent(int32_t code) {
    return (code >= 101 && code <= 103) || (code >= 201 && code <= 204);
}

// FD9_SetOption settings: (kind, value) pairs.
inline constexpr int32_t kFd9OptionCondition = 0;   // 0 M0, 2 M1, 15 M2
inline constexpr int32_t kFd9OptionObserver = 1;    // 2: 2 degrees
inline constexpr int32_t kFd9OptionIlluminant = 2;  // 0: D50
inline constexpr int32_t kFd9OptionDataKind = 3;    // kFd9DataLab, kFd9DataXyz, kFd9DataSpectral
inline constexpr int32_t kFd9DataLab = 0;
inline constexpr int32_t kFd9DataXyz = 2;
inline constexpr int32_t kFd9DataSpectral = 11;
inline constexpr int32_t kFd9SpectralBands = 36;  // 380..730 nm, 10 nm steps

// FD9_ExitMeasurement's display: the registered image of this number, or the
// text (at most kFd9DisplayTextLength characters) when the number is 0.
inline constexpr int32_t kFd9DisplayTextLength = 26;
inline constexpr int32_t kFd9ImageSuccess = 1;
inline constexpr int32_t kFd9ImageError = 2;

// One instrument of FD9_GetDeviceList.
struct FD9_DeviceInfo {
    char serial[16];  // 8 characters and a terminator
    int32_t type;     // 0 FD-9, 1 MYIRO-9
    char address[64];
};

struct FD9_SystemInfo {
    char serial[16];
    char firmware[32];
};

// A job the instrument runs for a client.
struct FD9_JobInfo {
    char name[64];
};

// What the patch recognition found on the inserted chart: rows of patches.
struct FD9_PatchRecogResult {
    int32_t rows;
    int32_t patchesPerRow;
    int32_t total;
};

using FD9_EventHandler = void (*)(int32_t eventCode);

namespace fd9fn {
using FD9_RegisterDisplayImage = int32_t(int32_t image, const char* path);
using FD9_RegisterDeviceEventHandler = int32_t(FD9_EventHandler handler);
// The list stays the SDK's until the next call.
using FD9_GetDeviceList = int32_t(const FD9_DeviceInfo** list, int32_t* count);
using FD9_TAConnect = int32_t(const char* address, const char* clientName);
using FD9_GetSystemInfo = int32_t(FD9_SystemInfo* info);
using FD9_Connect = int32_t(const FD9_DeviceInfo* device, const char* clientName);
// The list stays the SDK's until the next call.
using FD9_GetJobList = int32_t(const FD9_JobInfo** jobs, int32_t* count);
using FD9_StartPreMeasurement = int32_t();
using FD9_StartMeasurement = int32_t(int32_t first, int32_t second, int32_t third);
using FD9_GetPatchRecogResult = int32_t(FD9_PatchRecogResult* result);
using FD9_SetOption = int32_t(const int32_t* setting, const int32_t* value);
// The values of one patch of a row in the selected kind: `count` is the
// room in `values` and becomes the number written.
using FD9_GetData = int32_t(int32_t row, int32_t patch, float* values, int32_t* count);
using FD9_StopMeasurement = int32_t();
using FD9_ExitMeasurement = int32_t(int32_t image, const char* text);
using FD9_Disconnect = int32_t();
}  // namespace fd9fn

#define MEASURE_FD9_CALLS(X)          \
    X(FD9_RegisterDisplayImage)       \
    X(FD9_RegisterDeviceEventHandler) \
    X(FD9_GetDeviceList)              \
    X(FD9_TAConnect)                  \
    X(FD9_GetSystemInfo)              \
    X(FD9_Connect)                    \
    X(FD9_GetJobList)                 \
    X(FD9_StartPreMeasurement)        \
    X(FD9_StartMeasurement)           \
    X(FD9_GetPatchRecogResult)        \
    X(FD9_SetOption)                  \
    X(FD9_GetData)                    \
    X(FD9_StopMeasurement)            \
    X(FD9_ExitMeasurement)            \
    X(FD9_Disconnect)

}  // namespace measure::konica
