// Sound feedback. Drivers confirm an accepted step or delivered results with
// a short success sound and report a failure with a longer one. The record's
// sound selector (copied at open) chooses how: 1 plays the library's built-in
// WAVE sounds, 0 hands a tone to the host's observer (OnBeep), any other
// value keeps quiet.
//
// Threads: drivers call these on their KeyThread (Driver::xBeepSuccess,
// xBeepFailure), so that the measurement thread does not wait for a sound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace measure::framework {

// A tone for the observer: frequency in Hz, then duration in ms.
struct Tone {
    uint32_t frequencyHz;
    uint32_t durationMs;
};

inline constexpr Tone kSuccessTone{1600, 32};
inline constexpr Tone kFailureTone{1200, 320};

// The built-in sounds (WAVE resources of the library).
inline constexpr uint16_t kSoundAccepted = 107;   // short: the user's action was accepted
inline constexpr uint16_t kSoundFailure = 109;    // long: a request failed
inline constexpr uint16_t kSoundDelivered = 111;  // short: results were delivered

// Selector 1: plays built-in sound `soundId` to its end. Selector 0 with an
// observer attached: OnBeep(0, frequency, duration). Otherwise nothing.
// Never throws; a missing sound or audio device plays nothing.
void Beep(Tone tone, uint16_t soundId);

// The stored bytes (a RIFF/WAVE file) of built-in sound `id`; empty when the
// library has no such sound.
std::span<const uint8_t> builtInSound(uint16_t id);

// Plays built-in sound `id` synchronously; false when nothing was played
// (no such sound, unreadable, no audio device).
bool PlayBuiltInSound(uint16_t id);

// Where built-in sounds go instead of the audio device: the sink receives the
// sound's ID and its length in ms and returns when the sound would have
// ended. Tests install one to see what was played; the test program mutes
// the device with one. An empty sink restores the audio device.
using SoundSink = std::function<void(uint16_t id, uint32_t lengthMs)>;
void setSoundSink(SoundSink sink);

}  // namespace measure::framework
