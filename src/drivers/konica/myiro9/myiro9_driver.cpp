#include "drivers/konica/myiro9/myiro9_driver.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <mutex>

#include "color/measured_data.h"
#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "drivers/konica/myiro9/fd9_terminal.h"
#include "drivers/konica/myiro9/fd9_terminal_protocol.h"
#include "platform/paths.h"

namespace measure::konica {
namespace {

constexpr const char* kStopped = "Stopped";

}  // namespace

clKONICA_MINOLTA_MYIRO9::clKONICA_MINOLTA_MYIRO9(MEASURESTRUCT* record)
    : Driver(record, "clKONICA_MINOLTA_MYIRO9", kWorkerTimeout) {}

clKONICA_MINOLTA_MYIRO9::~clKONICA_MINOLTA_MYIRO9() {
    Disconnect();
}

bool clKONICA_MINOLTA_MYIRO9::terminalRow() const {
    return pMeasure->instrument == 42 || pMeasure->instrument == 44;
}

void clKONICA_MINOLTA_MYIRO9::ThreadConstructor() {
    if (terminalRow())
        ConnectTerminal();
    else
        ConnectDirect();
}

void clKONICA_MINOLTA_MYIRO9::ThreadDestructor() {
    connected.store(false);
}

void clKONICA_MINOLTA_MYIRO9::ConnectTerminal() {
    const std::string fn = qualified("ThreadConstructor");
    if (!discoverTerminal(address_, fn.c_str())) {
        Log(0, fn.c_str(), "no terminal answered");
        return;
    }
    std::string reply;
    const int result = terminalExchange(address_, versionRequest(), reply, &stopRequested);
    if (result < 0) {
        LogF(0, fn.c_str(), "version request: %d", result);
        return;
    }
    if (!parseDateHeader(reply, terminalClock_)) {
        Log(0, fn.c_str(), "version reply without a valid Date");
        return;
    }
    LogF(2, fn.c_str(), "terminal %s, clock %lld", address_.c_str(), static_cast<long long>(terminalClock_));
    terminal_ = true;
    connected.store(true);
    std::string failure;
    sdk_ = Fd9Library::load(failure);
    if (!ListDevices()) Log(0, fn.c_str(), "Failed to obtain the MYIRO9 device handle.");
}

bool clKONICA_MINOLTA_MYIRO9::ListDevices() {
    if (!sdk_) return false;
    const FD9_DeviceInfo* list = nullptr;
    int32_t count = 0;
    if (sdk_->FD9_GetDeviceList(&list, &count) != kFd9Success || count < 0 || (count > 0 && list == nullptr))
        return false;
    std::vector<Fd9DeviceText> devices;
    for (int32_t i = 0; i < count; ++i) {
        const FD9_DeviceInfo& d = list[i];
        devices.push_back({std::string(d.serial, strnlen(d.serial, 8)), d.type,
                           std::string(d.address, strnlen(d.address, sizeof d.address))});
    }
    deviceList_ = deviceListText(devices.data(), count);
    if (!devices.empty()) serial_ = devices.front().serial;
    return true;
}

void clKONICA_MINOLTA_MYIRO9::ConnectDirect() {
    const std::string fn = qualified("ThreadConstructor");
    std::string failure;
    sdk_ = Fd9Library::load(failure);
    if (!sdk_) {
        LogF(0, fn.c_str(), "FD9SDK: %s", failure.c_str());
        return;
    }
}

void clKONICA_MINOLTA_MYIRO9::PublishAbilities() {
    if (!deviceList_.empty()) setInfoString(deviceList_);
}

void clKONICA_MINOLTA_MYIRO9::RequestFailed(const framework::RequestFailure& failure) {
    // A job the host stopped ends as stopped, without the failure sound.
    if (failure.kind == framework::RequestFailure::Kind::Library && failure.text == kStopped) {
        LogF(0, failure.function.c_str(), "catch(%s)", failure.text.c_str());
        PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
        PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
        return;
    }
    Driver::RequestFailed(failure);
}

int clKONICA_MINOLTA_MYIRO9::MultiMeasurement() {
    return terminal_ ? TerminalMeasurement() : DirectMeasurement();
}

// --- Terminal ---------------------------------------------------------------

int clKONICA_MINOLTA_MYIRO9::TerminalMeasurement() {
    const std::string chartId(parameterFileText(word(&MEASURE2STRUCT::pszParameterFile)));
    if (chartId.size() != kChartIdLength) throw exKONICA_MINOLTA_MYIRO9_LIB("Error ocurred: Bad Chart ID");
    if (pMeasure->NumOfPatchesToRead < 1) throw exKONICA_MINOLTA_MYIRO9_LIB("NumOfPatchesToRead");
    while (!TerminalAttempt(chartId)) {
        for (int step = 0; step < kStepsPerRound; ++step)
            if (!Pause(kStepMs)) throw exKONICA_MINOLTA_MYIRO9_LIB(kStopped);
    }
    DeliverTerminal();
    return MEASURE_END_DONE;
}

bool clKONICA_MINOLTA_MYIRO9::TerminalAttempt(const std::string& chartId) {
    const std::string fn = qualified("MultiMeasurement");
    const char* name = fn.c_str();
    std::string reply, why, resultId;
    int result = terminalExchange(address_, listRequest(chartId), reply, &stopRequested);
    if (stopped()) throw exKONICA_MINOLTA_MYIRO9_LIB(kStopped);
    if (result < 0) {
        LogF(1, name, "result list: %d", result);
        return false;
    }
    if (!chooseResult(replyBody(reply), chartId, resultId, why)) {
        LogF(1, name, "result list: %s", why.c_str());
        return false;
    }
    result = terminalExchange(address_, downloadRequest(resultId), reply, &stopRequested);
    if (stopped()) throw exKONICA_MINOLTA_MYIRO9_LIB(kStopped);
    std::string_view cgats;
    if (result < 0 || !extractCgats(reply, cgats)) {
        LogF(1, name, "result %s: %d%s", resultId.c_str(), result, result < 0 ? "" : ", no CGATS.17");
        return false;
    }
    const std::string path = platform::joinPath(platform::tempFolder(), kResultFile);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(cgats.data(), static_cast<std::streamsize>(cgats.size()));
        if (!out) throw exKONICA_MINOLTA_MYIRO9_LIB("cannot write " + path);
    }
    const int wanted = pMeasure->NumOfPatchesToRead;
    color::MeasuredPatches patches;
    const bool read = color::readMeasuredData(path, pMeasure->Mode, wanted, patches, why);
    if (!read && !patches.missingFields) throw exKONICA_MINOLTA_MYIRO9_LIB(why);
    if (patches.total != wanted) {
        LogF(1, name, "result %s holds %d of %d patches", resultId.c_str(), patches.total, wanted);
        return false;
    }
    if (patches.missingFields)
        throw exKONICA_MINOLTA_MYIRO9_LIB(pMeasure->Mode == MEASURE_MODE_SPECTRAL
                                              ? "Error no spectral data found"
                                              : "Error no XYZ data found");
    values_ = std::move(patches.values);
    patchCount_ = patches.count;
    return true;
}

void clKONICA_MINOLTA_MYIRO9::DeliverTerminal() {
    DeliverPatches(values_.data(), patchCount_);
}

// --- Direct -----------------------------------------------------------------

int clKONICA_MINOLTA_MYIRO9::DirectMeasurement() {
    throw exKONICA_MINOLTA_MYIRO9_LIB("Connection Failed");
}

int clKONICA_MINOLTA_MYIRO9::SimpleMeasurement() {
    throw exKONICA_MINOLTA_MYIRO9_LIB("Connection Failed");
}

int clKONICA_MINOLTA_MYIRO9::StartInsertPaper() {
    throw exKONICA_MINOLTA_MYIRO9_LIB("Connection Failed");
}

}  // namespace measure::konica
