// The i1 pass-through exports' parts the rest of the library reaches: the
// option name and value translations (pure, also fuzzed), the hot-plug
// notices the device-presence work calls, and the Konica Minolta FD-5BT's
// presence that I1IsConnected reports as 1010.
#pragma once

#include <string>

namespace measure::i1pass {

// I1GetOption: the SDK key for a host key ("Version" -> "SDKVersion").
std::string sdkKeyForGet(const std::string& key);
// I1GetOption: the host's answer for the SDK's answer to `key`.
std::string hostAnswer(const std::string& key, const std::string& answer);
// I1SetOption: key and value in the SDK's spelling.
void sdkKeyValueForSet(std::string& key, std::string& value);
// A text the SDK wrote into a buffer of `size` bytes, cut at its end when
// it lacks a terminator.
std::string boundedText(const char* buffer, size_t size);

// The FD-5BT driver reports whether an instrument is connected, and its serial.
void setFd5btPresence(bool present, const std::string& serialNumber);

// Hot-plug notices (device-presence thread).
void i1ProRemoved();
void i1ProArrived();
void i1Pro3Removed();
void i1Pro3Arrived();

}  // namespace measure::i1pass
