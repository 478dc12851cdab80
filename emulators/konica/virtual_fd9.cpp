#include "virtual_fd9.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace measure::emu::konica {
namespace {

using namespace measure::konica;

constexpr const char* kSerial = "FD900123";
constexpr const char* kAddress = "127.0.0.1";

void copyText(char* out, size_t size, const std::string& text) {
    std::snprintf(out, size, "%s", text.c_str());
}

}  // namespace

VirtualFd9& emu_fd9_instance() {
    static VirtualFd9* instance = new VirtualFd9;
    return *instance;
}

VirtualFd9::VirtualFd9() {
    reset();
    thread_ = std::thread([this] { run(); });
}

VirtualFd9::~VirtualFd9() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void VirtualFd9::reset() {
    std::unique_lock lock(mutex_);
    quiesce(lock);
    handler_ = nullptr;
    journal_.clear();
    events_.clear();
    faults_ = {};
    foreignJob_ = false;
    rows_ = 4;
    perRow_ = 6;
    client_.clear();
    connected_ = measuring_ = false;
    for (int32_t& o : options_) o = 0;
    images_.assign(3, std::string());
    FD9_DeviceInfo device{};
    copyText(device.serial, sizeof device.serial, kSerial);
    device.type = 0;
    copyText(device.address, sizeof device.address, kAddress);
    devices_.assign(1, device);
}

void VirtualFd9::setChart(int rows, int patchesPerRow) {
    std::lock_guard lock(mutex_);
    rows_ = rows;
    perRow_ = patchesPerRow;
}

void VirtualFd9::setFaults(const Fd9Faults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

void VirtualFd9::setForeignJob(bool on) {
    std::lock_guard lock(mutex_);
    foreignJob_ = on;
}

std::vector<std::string> VirtualFd9::journal() const {
    std::lock_guard lock(mutex_);
    return journal_;
}

std::vector<int32_t> VirtualFd9::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

bool VirtualFd9::inCallback() const {
    std::lock_guard lock(mutex_);
    return delivering_;
}

void VirtualFd9::log(const std::string& line) {
    journal_.push_back(line);
}

void VirtualFd9::queue(std::initializer_list<int32_t> codes) {
    for (int32_t c : codes) queue_.push_back(c);
    wake_.notify_all();
}

void VirtualFd9::quiesce(std::unique_lock<std::mutex>& lock) {
    queue_.clear();
    if (std::this_thread::get_id() == callbackThread_) return;  // called from the handler itself
    idle_.wait(lock, [this] { return !delivering_; });
}

void VirtualFd9::run() {
    std::unique_lock lock(mutex_);
    callbackThread_ = std::this_thread::get_id();
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || (!queue_.empty() && handler_ != nullptr); });
        if (quit_) return;
        const int32_t code = queue_.front();
        queue_.pop_front();
        FD9_EventHandler handler = handler_;
        events_.push_back(code);
        delivering_ = true;
        lock.unlock();
        handler(code);
        lock.lock();
        delivering_ = false;
        idle_.notify_all();
    }
}

int32_t VirtualFd9::registerDisplayImage(int32_t image, const char* path) {
    std::lock_guard lock(mutex_);
    if (image < 1 || image > 2) return 4;
    if (path == nullptr) {
        images_[static_cast<size_t>(image)].clear();
        return kFd9Success;
    }
    log("RegisterDisplayImage " + std::to_string(image) + " " + path);
    // An image the instrument cannot load is refused.
    std::FILE* file = faults_.imagesRefused ? nullptr : std::fopen(path, "rb");
    if (file == nullptr) return 4;
    std::fclose(file);
    images_[static_cast<size_t>(image)] = path;
    return kFd9Success;
}

int32_t VirtualFd9::registerDeviceEventHandler(FD9_EventHandler handler) {
    std::unique_lock lock(mutex_);
    if (handler == nullptr) quiesce(lock);
    handler_ = handler;
    wake_.notify_all();
    return kFd9Success;
}

int32_t VirtualFd9::getDeviceList(const FD9_DeviceInfo** list, int32_t* count) {
    std::lock_guard lock(mutex_);
    if (list == nullptr || count == nullptr) return 4;
    log("GetDeviceList");
    *list = devices_.data();
    *count = static_cast<int32_t>(devices_.size());
    return kFd9Success;
}

int32_t VirtualFd9::taConnect(const char* address, const char* client) {
    std::lock_guard lock(mutex_);
    log(std::string("TAConnect ") + (address ? address : "") + " " + (client ? client : ""));
    if (address == nullptr || std::strcmp(address, kAddress) != 0) return 1001;
    connected_ = true;
    return kFd9Success;
}

int32_t VirtualFd9::getSystemInfo(FD9_SystemInfo* info) {
    std::lock_guard lock(mutex_);
    if (info == nullptr || !connected_) return 4;
    copyText(info->serial, sizeof info->serial, kSerial);
    copyText(info->firmware, sizeof info->firmware, "1.02");
    return kFd9Success;
}

int32_t VirtualFd9::connect(const FD9_DeviceInfo* device, const char* client) {
    std::lock_guard lock(mutex_);
    log(std::string("Connect ") + (device ? device->serial : "") + " " + (client ? client : ""));
    if (faults_.connectResult != kFd9Success && faults_.connectResult != kFd9AlreadyConnected)
        return faults_.connectResult;
    connected_ = true;
    client_ = client ? client : "";
    jobs_.clear();
    FD9_JobInfo job{};
    copyText(job.name, sizeof job.name, foreignJob_ ? "OtherMeasurementClient" : client_);
    jobs_.push_back(job);
    // The user inserts the chart once a client waits for it.
    if (!faults_.noInsertion && !foreignJob_) queue({kFd9EventChartInserted});
    return faults_.connectResult;
}

int32_t VirtualFd9::getJobList(const FD9_JobInfo** jobs, int32_t* count) {
    std::lock_guard lock(mutex_);
    if (jobs == nullptr || count == nullptr || !connected_) return 4;
    *jobs = jobs_.data();
    *count = static_cast<int32_t>(jobs_.size());
    return kFd9Success;
}

int32_t VirtualFd9::startPreMeasurement() {
    std::lock_guard lock(mutex_);
    log("StartPreMeasurement");
    if (!connected_) return 4;
    measuring_ = true;
    if (faults_.silent) return kFd9Success;
    if (faults_.errorEvent != 0) {
        queue({faults_.errorEvent});
        return kFd9Success;
    }
    queue({kFd9EventIdle, kFd9EventPatchRecognition});
    if (faults_.cancelUnasked) queue({kFd9EventErrorOrCancel});
    return kFd9Success;
}

int32_t VirtualFd9::startMeasurement(int32_t first, int32_t second, int32_t third) {
    std::lock_guard lock(mutex_);
    log("StartMeasurement " + std::to_string(first) + " " + std::to_string(second) + " " +
        std::to_string(third));
    if (!measuring_) return 4;
    for (int row = 0; row + 1 < rows_; ++row) queue({kFd9EventRowDone});
    queue({kFd9EventChartDone});
    return kFd9Success;
}

int32_t VirtualFd9::getPatchRecogResult(FD9_PatchRecogResult* result) {
    std::lock_guard lock(mutex_);
    if (result == nullptr || !measuring_) return 4;
    const int perRow = perRow_ + (faults_.layoutMismatch ? 1 : 0);
    result->rows = rows_;
    result->patchesPerRow = perRow;
    result->total = rows_ * perRow;
    return kFd9Success;
}

int32_t VirtualFd9::setOption(const int32_t* setting, const int32_t* value) {
    std::lock_guard lock(mutex_);
    if (setting == nullptr || value == nullptr || *setting < 0 || *setting > 3) return 4;
    log("SetOption " + std::to_string(*setting) + " " + std::to_string(*value));
    options_[*setting] = *value;
    return kFd9Success;
}

std::vector<float> VirtualFd9::patchData(int index, int32_t kind, int32_t condition) {
    // Distinct values for every patch, kind and condition: a value delivered
    // for the wrong patch or under the wrong condition shows.
    const double c = 0.01 * condition;
    if (kind == kFd9DataSpectral) {
        std::vector<float> spectrum(kFd9SpectralBands);
        const double peak = 420.0 + 9.0 * (index % 31);
        for (int b = 0; b < kFd9SpectralBands; ++b) {
            const double nm = 380.0 + 10.0 * b;
            spectrum[static_cast<size_t>(b)] =
                static_cast<float>(0.04 + 0.002 * (index % 13) + c +
                                   0.8 * std::exp(-((nm - peak) * (nm - peak)) / (2 * 40.0 * 40.0)));
        }
        return spectrum;
    }
    if (kind == kFd9DataXyz)
        return {static_cast<float>(10 + 0.75 * index + c), static_cast<float>(12 + 0.5 * index + c),
                static_cast<float>(8 + 0.25 * index + c)};
    return {static_cast<float>(40 + 0.5 * index + c), static_cast<float>(-20 + 0.75 * index + c),
            static_cast<float>(30 - 0.25 * index + c)};
}

int32_t VirtualFd9::getData(int32_t row, int32_t patch, float* values, int32_t* count) {
    std::lock_guard lock(mutex_);
    if (values == nullptr || count == nullptr || row < 0 || row >= rows_ || patch < 0 || patch >= perRow_)
        return 4;
    if (row == faults_.failRow && patch == faults_.failPatch) return 7;
    const int32_t kind = options_[kFd9OptionDataKind];
    if (kind != kFd9DataLab && kind != kFd9DataXyz && kind != kFd9DataSpectral) return 5;
    const std::vector<float> data = patchData(row * perRow_ + patch, kind, options_[kFd9OptionCondition]);
    if (*count < static_cast<int32_t>(data.size())) return 6;
    std::memcpy(values, data.data(), data.size() * sizeof(float));
    *count = static_cast<int32_t>(data.size());
    return kFd9Success;
}

int32_t VirtualFd9::stopMeasurement() {
    std::lock_guard lock(mutex_);
    log("StopMeasurement");
    if (measuring_ && !faults_.noCancelReport) {
        queue_.clear();
        queue({kFd9EventErrorOrCancel});
    }
    measuring_ = false;
    return kFd9Success;
}

int32_t VirtualFd9::exitMeasurement(int32_t image, const char* text) {
    std::lock_guard lock(mutex_);
    if (image > 0)
        log("ExitMeasurement image " + (image < 3 ? images_[static_cast<size_t>(image)] : std::string("?")));
    else if (text != nullptr)
        log("ExitMeasurement text " + std::string(text, strnlen(text, kFd9DisplayTextLength)));
    else
        log("ExitMeasurement");
    measuring_ = false;
    return kFd9Success;
}

int32_t VirtualFd9::disconnect() {
    std::unique_lock lock(mutex_);
    log("Disconnect");
    quiesce(lock);
    connected_ = measuring_ = false;
    client_.clear();
    return kFd9Success;
}

}  // namespace measure::emu::konica
