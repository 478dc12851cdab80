#include "drivers/konica/myiro9/myiro9_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>

#include "color/measured_data.h"
#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "drivers/konica/myiro9/fd9_terminal.h"
#include "drivers/konica/myiro9/fd9_terminal_protocol.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/socket.h"

namespace measure::konica {
namespace {

constexpr const char* kStopped = "Stopped";
constexpr const char* kHandlerLog = "MYIRO9::EventHandler";
// After a stop the instrument reports its cancellation; a reader that never
// does is given up after this many 100 ms steps.
constexpr int kCancelSteps = 100;
constexpr size_t kMaxClientName = 20;

// The driver the SDK's events go to: one driver of this class is open at a
// time. The handler takes a share for as long as it runs.
std::mutex gCurrentMutex;
std::weak_ptr<clKONICA_MINOLTA_MYIRO9> gCurrent;

void setCurrent(const std::shared_ptr<clKONICA_MINOLTA_MYIRO9>& driver) {
    std::lock_guard lock(gCurrentMutex);
    gCurrent = driver;
}

std::shared_ptr<clKONICA_MINOLTA_MYIRO9> current() {
    std::lock_guard lock(gCurrentMutex);
    return gCurrent.lock();
}

std::string fixedText(const char* text, size_t size) {
    return std::string(text, strnlen(text, size));
}

}  // namespace

clKONICA_MINOLTA_MYIRO9::clKONICA_MINOLTA_MYIRO9(MEASURESTRUCT* record)
    : Driver(record, "clKONICA_MINOLTA_MYIRO9", kWorkerTimeout),
      openedAt_(static_cast<uint32_t>(std::time(nullptr))) {}

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
    // A paper insertion leaves the instrument connected for the simple
    // measurement; a close without one lets go of it here.
    EndDirectJob();
    {
        std::lock_guard lock(gCurrentMutex);
        if (gCurrent.lock().get() == this) gCurrent.reset();
    }
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
        devices.push_back({fixedText(d.serial, 8), d.type, fixedText(d.address, sizeof d.address)});
    }
    if (count > 0) device_ = list[0];
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
    // The display images live in "Resources" beside this library.
    const std::string folder = platform::joinPath(platform::moduleFolder(), "Resources");
    sdk_->FD9_RegisterDisplayImage(kFd9ImageSuccess, nullptr);
    sdk_->FD9_RegisterDisplayImage(kFd9ImageError, nullptr);
    sdk_->FD9_RegisterDeviceEventHandler(nullptr);
    imagesRegistered_ =
        sdk_->FD9_RegisterDisplayImage(kFd9ImageSuccess,
                                       platform::joinPath(folder, "SuccessPic.raw").c_str()) == kFd9Success &&
        sdk_->FD9_RegisterDisplayImage(kFd9ImageError, platform::joinPath(folder, "ErrorPic.raw").c_str()) ==
            kFd9Success;
    const uint32_t address = word(&MEASURE2STRUCT::NetworkAddress);
    if (address == 0) {
        if (!ListDevices()) {
            Log(0, fn.c_str(), "Failed to obtain the MYIRO9 device handle.");
            return;
        }
    } else {
        const uint8_t* b = reinterpret_cast<const uint8_t*>(&address);
        const std::string dotted = std::to_string(b[0]) + "." + std::to_string(b[1]) + "." +
                                   std::to_string(b[2]) + "." + std::to_string(b[3]);
        const int32_t r = sdk_->FD9_TAConnect(dotted.c_str(), kTerminalClient);
        if (r != kFd9Success && r != kFd9AlreadyConnected) {
            Log(0, fn.c_str(), "Failed to obtain the MYIRO9 device handle.");
            return;
        }
        FD9_SystemInfo info{};
        const int32_t got = sdk_->FD9_GetSystemInfo(&info);
        sdk_->FD9_Disconnect();
        if (got != kFd9Success) {
            Log(0, fn.c_str(), "FD9_GetSystemInfo");
            return;
        }
        serial_ = fixedText(info.serial, 8);
        deviceList_ = "1;" + serial_ + ";0;" + dotted;
        std::snprintf(device_.serial, sizeof device_.serial, "%s", serial_.c_str());
        std::snprintf(device_.address, sizeof device_.address, "%s", dotted.c_str());
    }
    connected.store(true);
}

void clKONICA_MINOLTA_MYIRO9::PublishAbilities() {
    if (!deviceList_.empty()) setInfoString(deviceList_);
}

// A job the host stopped ends as stopped (1), without the failure sound;
// the paper insertion ends every failure with 3. A failed direct measurement
// tells the host the chart was not read (34) and the pass failed (4).
void clKONICA_MINOLTA_MYIRO9::RequestFailed(const framework::RequestFailure& failure) {
    if (failure.kind != framework::RequestFailure::Kind::Library) {
        Driver::RequestFailed(failure);
        return;
    }
    const bool stop = failure.text == kStopped;
    LogF(0, failure.function.c_str(), "catch(%s)", failure.text.c_str());
    if (!stop) xBeepFailure();
    if (job_ == Job::Direct) {
        PostStatusCode(pMeasure, kStatusRecognitionFailed);
        PostStatusCode(pMeasure, MEASURE_STATUS_PASS_FAILED);
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostThreadEndMessage(pMeasure,
                         stop && job_ != Job::InsertPaper ? MEASURE_END_STOPPED : MEASURE_END_FAILED);
}

int clKONICA_MINOLTA_MYIRO9::MultiMeasurement() {
    return terminal_ ? TerminalMeasurement() : DirectMeasurement();
}

// --- Terminal ---------------------------------------------------------------

int clKONICA_MINOLTA_MYIRO9::TerminalMeasurement() {
    job_ = Job::Terminal;
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

std::string clKONICA_MINOLTA_MYIRO9::MeasurementClient() const {
    return std::string(kMeasurementClient) + std::to_string(openedAt_ & 0xFFFFFFu);
}

void clKONICA_MINOLTA_MYIRO9::RegisterHandler() {
    setCurrent(std::static_pointer_cast<clKONICA_MINOLTA_MYIRO9>(self()));
    sdk_->FD9_RegisterDeviceEventHandler(&clKONICA_MINOLTA_MYIRO9::EventHandler);
}

void clKONICA_MINOLTA_MYIRO9::ConnectInstrument(const std::string& client) {
    const int32_t r = sdk_->FD9_Connect(&device_, client.c_str());
    if (r != kFd9Success && r != kFd9AlreadyConnected) throw exKONICA_MINOLTA_MYIRO9_LIB("Connection Failed");
    connectedToInstrument_.store(true);
}

bool clKONICA_MINOLTA_MYIRO9::ForeignJob(const std::string& client) {
    const FD9_JobInfo* jobs = nullptr;
    int32_t count = 0;
    if (sdk_->FD9_GetJobList(&jobs, &count) != kFd9Success || jobs == nullptr) return false;
    for (int32_t i = 0; i < count; ++i)
        if (fixedText(jobs[i].name, sizeof jobs[i].name) != client) return true;
    return false;
}

void clKONICA_MINOLTA_MYIRO9::EndDirectJob() {
    if (!sdk_) return;
    if (connectedToInstrument_.exchange(false)) sdk_->FD9_Disconnect();
    sdk_->FD9_RegisterDeviceEventHandler(nullptr);
}

bool clKONICA_MINOLTA_MYIRO9::WaitResult() {
    while (result_.load() == 0)
        if (!Pause(kStepMs)) return false;
    return true;
}

int clKONICA_MINOLTA_MYIRO9::DirectMeasurement() {
    job_ = Job::Direct;
    if (!sdk_) throw exKONICA_MINOLTA_MYIRO9_LIB("Connection Failed");
    struct EndJob {
        clKONICA_MINOLTA_MYIRO9& d;
        ~EndJob() { d.EndDirectJob(); }
    } end{*this};
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    RegisterHandler();
    if (stopped()) return MEASURE_END_STOPPED;
    simpleLayout_.store(false);
    recognitionFailed_.store(false);
    patchesPerRow_.store(0);
    nextRow_.store(0);
    const std::string client = MeasurementClient();
    // Cleared before the connection: the user may insert the chart at once.
    result_.store(0);
    ConnectInstrument(client);
    if (ForeignJob(client)) {
        platform::sleepMs(kBusyWaitMs);
        EndDirectJob();
        PostStatusCode(pMeasure, kStatusInstrumentBusy);
        PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
        return framework::kEndReported;
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_WAIT_USER);
    PostStatusCode(pMeasure, MEASURE_STATUS_PAPER_GOING_IN);
    if (!WaitResult()) throw exKONICA_MINOLTA_MYIRO9_LIB(kStopped);
    if (result_.load() != static_cast<int>(Fd9Result::Success))
        throw exKONICA_MINOLTA_MYIRO9_LIB("KONICA_MINOLTA_MYIRO9 Error while paper insertion");
    return FinishMeasurement();
}

int clKONICA_MINOLTA_MYIRO9::FinishMeasurement() {
    PostStatusCode(pMeasure, kStatusPatchRecognition);
    result_.store(0);
    chart_.clear();
    chartPatches_ = 0;
    sdk_->FD9_StartPreMeasurement();
    bool stopSent = false;
    int cancelSteps = 0;
    while (result_.load() == 0) {
        if (stopped() && !stopSent) {
            // The instrument is told once and reports its cancellation.
            stopSent = true;
            sdk_->FD9_StopMeasurement();
        }
        if (stopSent) {
            if (++cancelSteps > kCancelSteps) throw exKONICA_MINOLTA_MYIRO9_LIB(kStopped);
            platform::sleepMs(kStepMs);
        } else {
            Pause(kStepMs);
        }
    }
    switch (static_cast<Fd9Result>(result_.load())) {
        case Fd9Result::Success:
            break;
        case Fd9Result::CountMismatch:
            throw exKONICA_MINOLTA_MYIRO9_LIB("The count of measurement data does not match.");
        case Fd9Result::RecognitionFailed:
            throw exKONICA_MINOLTA_MYIRO9_LIB("Error: MYIRO9_GetPatchRecogResult");
        case Fd9Result::Cancelled:
            throw exKONICA_MINOLTA_MYIRO9_LIB(kStopped);
        default:
            throw exKONICA_MINOLTA_MYIRO9_LIB("Error: MYIRO9_SDK");
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostThreadEndMessage(pMeasure, MEASURE_END_DONE);
    xBeepSuccess(framework::SuccessBeep::Immediate);
    platform::sleepMs(kSuccessWaitMs);
    return framework::kEndReported;
}

int clKONICA_MINOLTA_MYIRO9::StartInsertPaper() {
    job_ = Job::InsertPaper;
    if (!sdk_) throw exKONICA_MINOLTA_MYIRO9_LIB("Connection Failed");
    RegisterHandler();
    std::string client = platform::localHostOfficialName();
    if (client.size() > kMaxClientName) client.resize(kMaxClientName);
    try {
        result_.store(0);
        ConnectInstrument(client);
        if (ForeignJob(client)) PostStatusCode(pMeasure, kStatusInstrumentBusy);
        PostStatusCode(pMeasure, MEASURE_STATUS_PAPER_GOING_IN);
        if (!WaitResult()) throw exKONICA_MINOLTA_MYIRO9_LIB(kStopped);
        if (result_.load() != static_cast<int>(Fd9Result::Success))
            throw exKONICA_MINOLTA_MYIRO9_LIB("KONICA_MINOLTA_MYIRO9 Error while paper insertion");
    } catch (...) {
        EndDirectJob();
        throw;
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_PAPER_IN_PLACE);
    // The connection stays for the simple measurement that follows.
    return MEASURE_END_DONE;
}

int clKONICA_MINOLTA_MYIRO9::SimpleMeasurement() {
    job_ = Job::Direct;
    if (!sdk_ || !connectedToInstrument_.load()) throw exKONICA_MINOLTA_MYIRO9_LIB("Connection Failed");
    struct EndJob {
        clKONICA_MINOLTA_MYIRO9& d;
        ~EndJob() { d.EndDirectJob(); }
    } end{*this};
    simpleLayout_.store(true);
    recognitionFailed_.store(false);
    patchesPerRow_.store(0);
    nextRow_.store(0);
    if (stopped()) return MEASURE_END_STOPPED;
    return FinishMeasurement();
}

void clKONICA_MINOLTA_MYIRO9::Show(bool success, const char* text) {
    if (imagesRegistered_)
        sdk_->FD9_ExitMeasurement(success ? kFd9ImageSuccess : kFd9ImageError, nullptr);
    else
        sdk_->FD9_ExitMeasurement(0, text);
}

void clKONICA_MINOLTA_MYIRO9::EventHandler(int32_t eventCode) {
    LogF(0, kHandlerLog, "eventCode=%d ", eventCode);
    const std::shared_ptr<clKONICA_MINOLTA_MYIRO9> driver = current();
    if (!driver) return;
    try {
        driver->OnEvent(eventCode);
    } catch (const std::exception& e) {
        LogF(0, kHandlerLog, "catch(%s)", e.what());
        driver->result_.store(static_cast<int>(Fd9Result::SdkError));
    } catch (...) {
        Log(0, kHandlerLog, "catch(...)");
        driver->result_.store(static_cast<int>(Fd9Result::SdkError));
    }
}

void clKONICA_MINOLTA_MYIRO9::OnEvent(int32_t code) {
    if (!sdk_) return;
    switch (code) {
        case kFd9EventIdle:
            return;
        case kFd9EventChartInserted:
            result_.store(static_cast<int>(Fd9Result::Success));
            return;
        case kFd9EventPatchRecognition:
            OnRecognition();
            return;
        case kFd9EventRowDone:
            ReadRow();
            return;
        case kFd9EventChartDone:
            ReadRow();
            if (result_.load() != 0) return;  // a row failed: the job reports it
            // The chart is announced whole: its rows come faster than a host
            // takes a notification, and the host reads the one result block.
            DeliverPatches(chart_.data(), chartPatches_);
            Show(true, "Measurement successful");
            result_.store(static_cast<int>(Fd9Result::Success));
            return;
        case kFd9EventErrorOrCancel:
            if (recognitionFailed_.load()) {
                Show(false, "Chart recognition failed");
                result_.store(static_cast<int>(Fd9Result::CountMismatch));
            } else {
                Show(false, "Mesurement canceled");
                result_.store(static_cast<int>(Fd9Result::Cancelled));
            }
            return;
        case kFd9EventFatal:
            Show(false, "Fatal Error");
            result_.store(static_cast<int>(Fd9Result::SdkError));
            return;
        default:
            if (isFd9ErrorEvent(code)) {
                sdk_->FD9_ExitMeasurement(0, nullptr);
                result_.store(static_cast<int>(Fd9Result::SdkError));
            }
            return;
    }
}

// The recognised layout matches when it holds NumOfPatchesToRead patches (in
// rows of NumPatchesPerLine when the host gives it); the simple measurement
// takes whatever chart the user inserted.
void clKONICA_MINOLTA_MYIRO9::OnRecognition() {
    FD9_PatchRecogResult recognised{};
    if (sdk_->FD9_GetPatchRecogResult(&recognised) != kFd9Success) {
        sdk_->FD9_StopMeasurement();
        result_.store(static_cast<int>(Fd9Result::SdkError));
        return;
    }
    const int32_t perLine = word(&MEASURE2STRUCT::NumPatchesPerLine);
    const bool matches = recognised.total == pMeasure->NumOfPatchesToRead &&
                         (perLine <= 0 || recognised.patchesPerRow == perLine);
    if (!simpleLayout_.load() && !matches) {
        PostScanspeedStatus(pMeasure, static_cast<uint32_t>(recognised.total));
        PostStatusCode(pMeasure, kStatusRecognitionFailed);
        sdk_->FD9_StopMeasurement();
        recognitionFailed_.store(true);
        return;
    }
    patchesPerRow_.store(recognised.patchesPerRow);
    nextRow_.store(0);
    const int32_t second = word(&MEASURE2STRUCT::OwnSegmentation) == 1 ? 3 : 1;
    if (sdk_->FD9_StartMeasurement(1, second, 1) != kFd9Success) {
        sdk_->FD9_StopMeasurement();
        result_.store(static_cast<int>(Fd9Result::SdkError));
        return;
    }
    PostStatusCode(pMeasure, MEASURE_STATUS_KEY_PRESSED);
}

// Reads the next row of patches in the mode's kind into the chart; a patch
// the SDK cannot give fails the measurement (-1).
void clKONICA_MINOLTA_MYIRO9::ReadRow() {
    if (result_.load() != 0) return;  // the measurement failed already
    const int row = nextRow_.fetch_add(1);
    PostPassno(pMeasure, row + 1);
    const int32_t condition = [&] {
        switch (word(&MEASURE2STRUCT::MeasurementCondition)) {
            case 1:
                return 2;
            case 2:
                return 15;
            default:
                return 0;
        }
    }();
    const uint32_t mode = pMeasure->Mode;
    const int32_t kind = mode == MEASURE_MODE_SPECTRAL  ? kFd9DataSpectral
                         : mode == MEASURE_MODE_CIE_XYZ ? kFd9DataXyz
                                                        : kFd9DataLab;
    const int32_t per = mode == MEASURE_MODE_SPECTRAL ? kFd9SpectralBands : 3;
    const auto set = [this](int32_t setting, int32_t value) { sdk_->FD9_SetOption(&setting, &value); };
    set(kFd9OptionIlluminant, 0);
    set(kFd9OptionObserver, 2);
    set(kFd9OptionCondition, condition);
    const int patches = std::max(0, patchesPerRow_.load());
    std::vector<double> values(static_cast<size_t>(patches) * static_cast<size_t>(per));
    std::vector<float> read(static_cast<size_t>(per));
    for (int p = 0; p < patches; ++p) {
        set(kFd9OptionDataKind, kind);
        int32_t count = per;
        if (sdk_->FD9_GetData(row, p, read.data(), &count) != kFd9Success || count != per) {
            LogF(0, kHandlerLog, "FD9_GetData row %d patch %d", row + 1, p + 1);
            result_.store(static_cast<int>(Fd9Result::CountMismatch));
            return;
        }
        for (int v = 0; v < per; ++v)
            values[static_cast<size_t>(p) * static_cast<size_t>(per) + static_cast<size_t>(v)] =
                read[static_cast<size_t>(v)];
    }
    chart_.insert(chart_.end(), values.begin(), values.end());
    chartPatches_ += patches;
}

}  // namespace measure::konica
