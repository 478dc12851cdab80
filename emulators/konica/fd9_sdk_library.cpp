// FD9SDK.dll's exported calls, forwarded to the virtual FD-9. Each export is
// checked against the driver's own declaration of its type.
#include <type_traits>

#include "drivers/konica/myiro9/fd9_sdk.h"
#include "virtual_fd9.h"

using namespace measure::konica;
using measure::emu::konica::emu_fd9_instance;

#define EMU_FD9_CHECK(name) static_assert(std::is_same_v<decltype(name), fd9fn::name>, #name);

extern "C" {

EMU_FD9_API int32_t FD9_RegisterDisplayImage(int32_t image, const char* path) {
    return emu_fd9_instance().registerDisplayImage(image, path);
}
EMU_FD9_API int32_t FD9_RegisterDeviceEventHandler(FD9_EventHandler handler) {
    return emu_fd9_instance().registerDeviceEventHandler(handler);
}
EMU_FD9_API int32_t FD9_GetDeviceList(const FD9_DeviceInfo** list, int32_t* count) {
    return emu_fd9_instance().getDeviceList(list, count);
}
EMU_FD9_API int32_t FD9_TAConnect(const char* address, const char* clientName) {
    return emu_fd9_instance().taConnect(address, clientName);
}
EMU_FD9_API int32_t FD9_GetSystemInfo(FD9_SystemInfo* info) {
    return emu_fd9_instance().getSystemInfo(info);
}
EMU_FD9_API int32_t FD9_Connect(const FD9_DeviceInfo* device, const char* clientName) {
    return emu_fd9_instance().connect(device, clientName);
}
EMU_FD9_API int32_t FD9_GetJobList(const FD9_JobInfo** jobs, int32_t* count) {
    return emu_fd9_instance().getJobList(jobs, count);
}
EMU_FD9_API int32_t FD9_StartPreMeasurement() {
    return emu_fd9_instance().startPreMeasurement();
}
EMU_FD9_API int32_t FD9_StartMeasurement(int32_t first, int32_t second, int32_t third) {
    return emu_fd9_instance().startMeasurement(first, second, third);
}
EMU_FD9_API int32_t FD9_GetPatchRecogResult(FD9_PatchRecogResult* result) {
    return emu_fd9_instance().getPatchRecogResult(result);
}
EMU_FD9_API int32_t FD9_SetOption(const int32_t* setting, const int32_t* value) {
    return emu_fd9_instance().setOption(setting, value);
}
EMU_FD9_API int32_t FD9_GetData(int32_t row, int32_t patch, float* values, int32_t* count) {
    return emu_fd9_instance().getData(row, patch, values, count);
}
EMU_FD9_API int32_t FD9_StopMeasurement() {
    return emu_fd9_instance().stopMeasurement();
}
EMU_FD9_API int32_t FD9_ExitMeasurement(int32_t image, const char* text) {
    return emu_fd9_instance().exitMeasurement(image, text);
}
EMU_FD9_API int32_t FD9_Disconnect() {
    return emu_fd9_instance().disconnect();
}

}  // extern "C"

MEASURE_FD9_CALLS(EMU_FD9_CHECK)
