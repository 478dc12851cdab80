#include "support/test_environment.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "platform/clock.h"
#include "platform/error_box.h"
#include "support/environment.h"
#include "support/sound_recorder.h"

namespace measure::test {
namespace {

std::mutex boxMutex;
std::vector<std::pair<std::string, std::string>> boxes;

// Every specified delay of the library shrinks a hundredfold in the tests.
struct ScaleTime {
    ScaleTime() { platform::setTimeScale(0.01); }
} scaleTime;

// No test plays through the machine's audio device.
struct MuteSounds {
    MuteSounds() { muteSounds(); }
} muteSoundsAtStart;

// No test broadcasts or multicasts off the machine: unless a test points
// them at its emulator, the discoveries go to a loopback port nobody serves.
// measure-cli runs started by the tests inherit this.
struct LoopbackDiscoveries {
    LoopbackDiscoveries() {
        setEnvironment("MEASURE_FD9_DISCOVERY", "127.0.0.1:9");
        setEnvironment("MEASURE_ISIS2NET_DISCOVERY", "127.0.0.1:9");
    }
} loopbackDiscoveries;

}  // namespace

bool waitFor(const std::function<bool()>& condition, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

ScopedTimeScale::ScopedTimeScale(double scale) : previous_(platform::timeScale()) {
    platform::setTimeScale(scale);
}

ScopedTimeScale::~ScopedTimeScale() {
    platform::setTimeScale(previous_);
}

TempDir::TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("measure-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate.string();
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string readTextFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

ErrorBoxCapture::ErrorBoxCapture() {
    {
        std::lock_guard lock(boxMutex);
        boxes.clear();
    }
    platform::setErrorBoxHook([](const std::string& text, const std::string& caption) {
        std::lock_guard lock(boxMutex);
        boxes.emplace_back(text, caption);
    });
}

ErrorBoxCapture::~ErrorBoxCapture() {
    platform::setErrorBoxHook({});
}

std::vector<std::string> ErrorBoxCapture::texts() const {
    std::lock_guard lock(boxMutex);
    std::vector<std::string> out;
    for (auto& b : boxes) out.push_back(b.first);
    return out;
}

std::vector<std::string> ErrorBoxCapture::captions() const {
    std::lock_guard lock(boxMutex);
    std::vector<std::string> out;
    for (auto& b : boxes) out.push_back(b.second);
    return out;
}

}  // namespace measure::test

#include "core/logger.h"

namespace measure::test {

LogCapture::LogCapture() {
    LogEnable(5, false, dir_.file("measure.log"));
}
LogCapture::~LogCapture() {
    LogClose();
}
std::string LogCapture::text() const {
    return readTextFile(dir_.file("measure.log"));
}

}  // namespace measure::test
