// The DLL's entry point hands load, unload and thread notifications to the
// library. It always reports success.
#include <windows.h>

#include "platform/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            measure::onProcessAttach();
            break;
        case DLL_PROCESS_DETACH:
            measure::onProcessDetach();
            break;
        case DLL_THREAD_ATTACH:
            measure::onThreadAttach();
            break;
        case DLL_THREAD_DETACH:
            measure::onThreadDetach();
            break;
        default:
            break;
    }
    return TRUE;
}
