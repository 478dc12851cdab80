// The chart layout parameter file of the simulated chart readers: the same
// text file a host hands the i1iSis ("NumberOfRows 12", "PatchSizeX=6,5",
// ...), read for the layout keys the simulated chart delivery needs.
#pragma once

#include <string>
#include <string_view>

namespace measure::simulator {

// Result codes of ISIS_SetParametersFromFile.
inline constexpr int kParametersRead = 0;
inline constexpr int kParameterFileMissing = 5;  // no path, or the file cannot be opened
inline constexpr int kParameterKeyMissing = 6;   // a key is missing, or the file is too short
inline constexpr int kParameterFileFailed = -1;  // anything else went wrong

// Parses `text` for the keys of the simulated ID (ID 34: "Patches_X",
// "Patches_Y"; others: the eleven i1iSis layout keys) and stores the values
// process-wide. Returns one of the codes above.
int ISIS_SetParametersFromText(std::string_view text, int simulatedId);

// Reads the file at `path` (null, or not a regular file: kParameterFileMissing;
// only its first 64 KiB) and parses it.
int ISIS_SetParametersFromFile(const char* path, int simulatedId);

// The stored value of a key ("NumberOfRows"), 0 when never read.
int isisParameter(const std::string& key);

// Forgets every stored value (tests; a new process starts empty).
void clearIsisParameters();

}  // namespace measure::simulator
