#include "platform/sound.h"

// mmsystem.h needs windows.h first.
#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace measure::platform {
namespace {

// Marks the block played when the device reports WOM_DONE; every other
// message of the device is ignored.
void CALLBACK waveCallback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    if (message == WOM_DONE) reinterpret_cast<std::atomic<bool>*>(instance)->store(true);
}

}  // namespace

bool playPcm(const PcmFormat& format, const uint8_t* samples, size_t bytes) {
    if (samples == nullptr || format.channels == 0 || format.samplesPerSecond == 0) return false;
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) return false;
    const WORD blockAlign = static_cast<WORD>(format.channels * format.bitsPerSample / 8);
    if (bytes < blockAlign || bytes > 0x7FFFFFFF) return false;

    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = format.channels;
    wfx.nSamplesPerSec = format.samplesPerSecond;
    wfx.wBitsPerSample = format.bitsPerSample;
    wfx.nBlockAlign = blockAlign;
    wfx.nAvgBytesPerSec = format.samplesPerSecond * blockAlign;

    std::atomic<bool> done{false};
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &wfx, reinterpret_cast<DWORD_PTR>(&waveCallback),
                    reinterpret_cast<DWORD_PTR>(&done), CALLBACK_FUNCTION) != MMSYSERR_NOERROR)
        return false;

    WAVEHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(samples));
    header.dwBufferLength = static_cast<DWORD>(bytes - bytes % blockAlign);
    bool played = false;
    if (waveOutPrepareHeader(device, &header, sizeof header) == MMSYSERR_NOERROR) {
        if (waveOutWrite(device, &header, sizeof header) == MMSYSERR_NOERROR) {
            // Poll the mark every 5 ms, bounded by the sound's length and a second.
            const auto length =
                std::chrono::milliseconds(header.dwBufferLength * 1000ull / wfx.nAvgBytesPerSec);
            const auto deadline = std::chrono::steady_clock::now() + length + std::chrono::seconds(1);
            while (!done.load() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            played = done.load();
            if (!played) waveOutReset(device);
        }
        waveOutUnprepareHeader(device, &header, sizeof header);
    }
    waveOutClose(device);
    return played;
}

}  // namespace measure::platform
