// The chart layout files of the sheet-fed chart readers ("NumberOfRows 12",
// "PatchSizeX=6,5", ...): read by the i1iSis driver and by the simulated chart
// readers, each for its own keys and value characters.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace measure {

// A layout file is a few hundred bytes; what lies beyond this is not read.
inline constexpr size_t kLongestLayoutFile = 64 * 1024;

// Reads the beginning of a layout file (at most kLongestLayoutFile bytes).
// False when `path` is null, not a regular file (a FIFO or a device would
// hold the read) or cannot be opened.
bool loadLayoutText(const char* path, std::string& text);

// The value written after `keyword`: its first occurrence, one separator
// character, then the run of characters that `accepted` takes, at most
// `longest` of them (possibly empty). nullopt when the keyword is missing.
std::optional<std::string_view> layoutValue(std::string_view text, std::string_view keyword,
                                            bool (*accepted)(char), size_t longest);

}  // namespace measure
