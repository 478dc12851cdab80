#include "platform/serial_port.h"

#include <windows.h>

#include <chrono>

#include "platform/clock.h"

namespace measure::platform {
namespace {

HANDLE handleOf(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// A timeout field on the scaled clock; 0 and MAXDWORD keep their meaning.
DWORD scaledField(uint32_t ms) {
    if (ms == 0 || ms == MAXDWORD) return ms;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(scaledPeerWait(ms)).count();
    return wait < 1 ? 1 : static_cast<DWORD>(wait);
}

}  // namespace

SerialDevice::~SerialDevice() {
    close();
}

std::string SerialDevice::systemPortPath(int number) {
    return "COM" + std::to_string(number);
}

bool SerialDevice::open(const char* name) {
    close();
    const std::string path = devicePath(name);
    if (path.empty()) return fail(kSerialErrorFileNotFound);
    // No sharing: a port held by another program is refused with ERROR_ACCESS_DENIED.
    const HANDLE handle =
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return fail(::GetLastError());
    handle_ = reinterpret_cast<intptr_t>(handle);
    timeouts_ = {};
    return true;
}

void SerialDevice::close() {
    if (handle_ == kClosed) return;
    ::CloseHandle(handleOf(handle_));
    handle_ = kClosed;
}

bool SerialDevice::setTimeouts(const SerialTimeouts& timeouts) {
    COMMTIMEOUTS native{};
    native.ReadIntervalTimeout = scaledField(timeouts.readIntervalTimeout);
    // The multiplier is per byte; it stays as given (a few ms per byte at most).
    native.ReadTotalTimeoutMultiplier = timeouts.readTotalTimeoutMultiplier;
    native.ReadTotalTimeoutConstant = scaledField(timeouts.readTotalTimeoutConstant);
    native.WriteTotalTimeoutMultiplier = timeouts.writeTotalTimeoutMultiplier;
    native.WriteTotalTimeoutConstant = scaledField(timeouts.writeTotalTimeoutConstant);
    if (::SetCommTimeouts(handleOf(handle_), &native) == 0) return fail(::GetLastError());
    timeouts_ = timeouts;
    return true;
}

bool SerialDevice::setEventMask(uint32_t mask) {
    if (::SetCommMask(handleOf(handle_), mask) == 0) return fail(::GetLastError());
    return true;
}

bool SerialDevice::setLineSettings(const SerialLineSettings& settings) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = settings.baudRate;
    dcb.fBinary = settings.binary ? 1 : 0;
    dcb.fDtrControl = settings.dtrEnable ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = settings.rtsEnable ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.ByteSize = settings.byteSize;
    dcb.Parity = settings.parity;
    dcb.StopBits = settings.stopBits;
    if (::SetCommState(handleOf(handle_), &dcb) == 0) return fail(::GetLastError());
    return true;
}

int32_t SerialDevice::read(void* buffer, uint32_t count) {
    DWORD got = 0;
    if (::ReadFile(handleOf(handle_), buffer, count, &got, nullptr) == 0) {
        lastError_ = ::GetLastError();
        return -1;
    }
    return static_cast<int32_t>(got);
}

int32_t SerialDevice::write(const void* buffer, uint32_t count) {
    DWORD sent = 0;
    if (::WriteFile(handleOf(handle_), buffer, count, &sent, nullptr) == 0) {
        lastError_ = ::GetLastError();
        return -1;
    }
    return static_cast<int32_t>(sent);
}

bool SerialDevice::purgeReceive() {
    if (::PurgeComm(handleOf(handle_), PURGE_RXCLEAR) == 0) return fail(::GetLastError());
    return true;
}

}  // namespace measure::platform
