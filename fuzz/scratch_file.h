// A file in the temporary folder for targets whose parser reads a path: one
// per process, so that fuzzers running side by side keep apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace measure::fuzz {

// Writes `size` bytes to this process's scratch file named after `stem` and
// returns its path.
inline const std::string& writeScratchFile(const char* stem, const uint8_t* data, size_t size) {
    static const std::string path = [stem] {
        std::random_device random;
        const std::string name = std::string("measure-") + stem + "-" + std::to_string(random());
        return (std::filesystem::temp_directory_path() / name).string();
    }();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

}  // namespace measure::fuzz
