// A serial port through the Windows communications calls: CreateFileA on the
// COM name, SetCommState, SetCommTimeouts, ReadFile, WriteFile, PurgeComm.
// The timeouts are specified milliseconds; each call hands Windows the waits
// on the scaled clock (scaledPeerWait), computed for that call's byte count.
#include "platform/serial_port.h"

#include <windows.h>

#include <chrono>

#include "platform/clock.h"

namespace measure::platform {
namespace {

// A write without a write timeout still must not hang on a peer that never
// drains the line; this many specified milliseconds is far beyond any command.
constexpr uint32_t kWriteGuardMs = 10000;

HANDLE handleOf(intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

// Specified milliseconds as real milliseconds for a COMMTIMEOUTS field:
// 0 stays "none", anything else lasts at least 1 ms.
DWORD realMs(uint64_t ms) {
    if (ms == 0) return 0;
    const uint32_t capped = ms > 0xFFFFFFFEu ? 0xFFFFFFFEu : static_cast<uint32_t>(ms);
    const auto real = std::chrono::ceil<std::chrono::milliseconds>(scaledPeerWait(capped)).count();
    if (real < 1) return 1;
    return real >= 0xFFFFFFFE ? 0xFFFFFFFEu : static_cast<DWORD>(real);
}

bool isComName(const std::string& text) {
    return text.size() >= 4 && text.compare(0, 3, "COM") == 0 &&
           text.find_first_not_of("0123456789", 3) == std::string::npos;
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
    std::string path = devicePath(name);
    if (path.empty()) return fail(kSerialErrorFileNotFound);
    // The device namespace reaches COM10 and above too.
    if (isComName(path)) path = "\\\\.\\" + path;
    // A serial driver refuses a second opener itself; a named mutex per port
    // makes wine's pseudo-terminal ports (which it would share) do the same.
    std::string lockName = "measure.serial." + path;
    for (char& c : lockName)
        if (c == '\\') c = '/';
    HANDLE lock = ::CreateMutexA(nullptr, FALSE, lockName.c_str());
    if (lock == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (lock != nullptr) ::CloseHandle(lock);
        return fail(kSerialErrorAccessDenied);
    }
    HANDLE handle =
        ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(lock);
        if (error == ERROR_PATH_NOT_FOUND) return fail(kSerialErrorFileNotFound);
        if (error == ERROR_SHARING_VIOLATION)
            return fail(kSerialErrorAccessDenied);  // wine's word for "in use"
        return fail(error);
    }
    handle_ = reinterpret_cast<intptr_t>(handle);
    lock_ = reinterpret_cast<intptr_t>(lock);
    timeouts_ = {};
    return true;
}

void SerialDevice::close() {
    if (handle_ == kClosed) return;
    ::CloseHandle(handleOf(handle_));
    ::CloseHandle(handleOf(lock_));
    handle_ = kClosed;
    lock_ = kClosed;
}

bool SerialDevice::setTimeouts(const SerialTimeouts& timeouts) {
    if (handle_ == kClosed) return fail(ERROR_INVALID_HANDLE);
    timeouts_ = timeouts;
    return true;
}

bool SerialDevice::setEventMask(uint32_t mask) {
    if (handle_ == kClosed) return fail(ERROR_INVALID_HANDLE);
    if (mask != 0) return fail(ERROR_INVALID_PARAMETER);
    return ::SetCommMask(handleOf(handle_), 0) ? true : fail(::GetLastError());
}

bool SerialDevice::setLineSettings(const SerialLineSettings& settings) {
    if (handle_ == kClosed) return fail(ERROR_INVALID_HANDLE);
    if (settings.baudRate == 0 || settings.byteSize < 5 || settings.byteSize > 8)
        return fail(ERROR_INVALID_PARAMETER);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handleOf(handle_), &dcb)) return fail(::GetLastError());
    dcb.BaudRate = settings.baudRate;
    dcb.fBinary = settings.binary ? TRUE : FALSE;
    dcb.fParity = settings.parity != kSerialNoParity ? TRUE : FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = settings.dtrEnable ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = settings.rtsEnable ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = settings.byteSize;
    dcb.Parity = settings.parity;
    dcb.StopBits = settings.stopBits;
    if (!::SetCommState(handleOf(handle_), &dcb)) {
        // A line without modem control (a pseudo-terminal under wine) takes
        // the rate and framing but refuses DTR and RTS: nothing to raise.
        // Anything else it did not take is a failure.
        const DWORD error = ::GetLastError();
        DCB now{};
        now.DCBlength = sizeof now;
        if (error != ERROR_NOT_SUPPORTED || !::GetCommState(handleOf(handle_), &now) ||
            now.BaudRate != dcb.BaudRate || now.ByteSize != dcb.ByteSize || now.Parity != dcb.Parity ||
            now.StopBits != dcb.StopBits)
            return fail(error);
    }
    return true;
}

const uint32_t SerialDevice::kErrorClosed = ERROR_INVALID_HANDLE;
const uint32_t SerialDevice::kErrorNoBuffer = ERROR_INVALID_PARAMETER;

int32_t SerialDevice::receive(void* buffer, uint32_t count) {
    COMMTIMEOUTS real{};
    real.ReadIntervalTimeout =
        timeouts_.readIntervalTimeout == MAXDWORD ? MAXDWORD : realMs(timeouts_.readIntervalTimeout);
    real.ReadTotalTimeoutConstant =
        realMs(static_cast<uint64_t>(timeouts_.readTotalTimeoutMultiplier) * count +
               timeouts_.readTotalTimeoutConstant);
    if (!::SetCommTimeouts(handleOf(handle_), &real)) {
        lastError_ = ::GetLastError();
        return -1;
    }
    DWORD got = 0;
    if (!::ReadFile(handleOf(handle_), buffer, count, &got, nullptr)) {
        const DWORD error = ::GetLastError();
        // Wine reports a read that timed out as ERROR_TIMEOUT; Windows as
        // success with what arrived.
        if (error != ERROR_TIMEOUT) {
            lastError_ = error;
            return -1;
        }
    }
    // Nothing came: a port whose device is gone (an adapter pulled, the far
    // side of a pseudo-terminal closed) no longer answers a status query.
    DWORD errors = 0;
    if (got == 0 && !::ClearCommError(handleOf(handle_), &errors, nullptr)) {
        lastError_ = ::GetLastError();
        return -1;
    }
    return static_cast<int32_t>(got);
}

int32_t SerialDevice::send(const void* buffer, uint32_t count) {
    COMMTIMEOUTS real{};
    real.ReadIntervalTimeout = MAXDWORD;  // reads are set up again before each read
    uint64_t total = static_cast<uint64_t>(timeouts_.writeTotalTimeoutMultiplier) * count +
                     timeouts_.writeTotalTimeoutConstant;
    if (total == 0) total = kWriteGuardMs;
    real.WriteTotalTimeoutConstant = realMs(total);
    if (!::SetCommTimeouts(handleOf(handle_), &real)) {
        lastError_ = ::GetLastError();
        return -1;
    }
    DWORD sent = 0;
    if (!::WriteFile(handleOf(handle_), buffer, count, &sent, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_TIMEOUT) {
            lastError_ = error;
            return -1;
        }
    }
    return static_cast<int32_t>(sent);
}

bool SerialDevice::purgeReceive() {
    if (handle_ == kClosed) return fail(ERROR_INVALID_HANDLE);
    return ::PurgeComm(handleOf(handle_), PURGE_RXCLEAR | PURGE_RXABORT) ? true : fail(::GetLastError());
}

}  // namespace measure::platform
