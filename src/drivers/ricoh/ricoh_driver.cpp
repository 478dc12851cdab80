#include "drivers/ricoh/ricoh_driver.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "transport/http_client.h"

namespace measure::ricoh {
namespace {

using transport::HttpConnection;
using transport::HttpResponse;

// Chart definitions are small XML files; a bigger one is not a chart.
constexpr std::streamsize kMaxChartFile = 4 << 20;

bool readSmallFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string data(static_cast<size_t>(kMaxChartFile) + 1, '\0');
    in.read(data.data(), kMaxChartFile + 1);
    const std::streamsize got = in.gcount();
    if (got > kMaxChartFile) return false;
    data.resize(static_cast<size_t>(got));
    text = std::move(data);
    return true;
}

}  // namespace

clRICOH_MONET::clRICOH_MONET(MEASURESTRUCT* record) : Driver(record, "clRICOH_MONET", kWorkerTimeout) {}

clRICOH_MONET::~clRICOH_MONET() {
    Disconnect();
}

void clRICOH_MONET::ThreadConstructor() {
    const std::string fn = qualified("ThreadConstructor");
    const ParameterText parameter =
        splitParameterText(parameterFileText(word(&MEASURE2STRUCT::pszParameterFile)));
    chartPath_ = parameter.chartPath;
    authorization_ = parameter.authorization;
    const uint32_t address = word(&MEASURE2STRUCT::NetworkAddress);
    const uint32_t port = word(&MEASURE2STRUCT::RicohPort);
    if (address == 0 || port == 0 || port > 65535) {
        Log(0, fn.c_str(), "no address and port");
        return;
    }
    if (!chartPath_.empty() && chartPath_ != kPlaceholderChart) {
        std::string xml, why;
        if (!readSmallFile(chartPath_, xml)) throw exRICOH_MONET_LIB("chart definition cannot be read");
        if (!parseChartDefinition(xml, chart_, why)) throw exRICOH_MONET_LIB(why);
        chartRead_ = true;
        LogF(3, fn.c_str(), "chart definition: %d sheets, %d patches", chart_.sheets, chart_.patches);
    }
    if (HttpConnection::globalInit() != 0) throw exRICOH_MONET_LIB("curl_global_init");
    http_ =
        std::make_unique<HttpConnection>("https://" + dottedAddress(address) + ":" + std::to_string(port));
    http_->setTimeout(kTimeoutSeconds);
    http_->setUserAgent(kUserAgent);
    // The adjuster serves a certificate of its own making, which no
    // authority vouches for.
    http_->setVerifyPeer(false);
    http_->setVerifyHost(false);
    http_->setProgressCallback(&clRICOH_MONET::abortOnStop, this);
    applyHeaders(false);

    const HttpResponse reply = http_->get(kStatusPath);
    if (reply.code == 503) {
        Log(0, fn.c_str(), "busy (503)");
        return;
    }
    if (reply.code != 200) {
        LogF(0, fn.c_str(), "status: %d %s", reply.code, reply.body.substr(0, 200).c_str());
        return;
    }
    const DeviceStatus status = parseDeviceStatus(reply.body);
    if (status.state == DeviceState::Scanning) {
        Log(0, fn.c_str(), "busy (SCANNING)");
        return;
    }
    if (status.state != DeviceState::Ready) {
        Log(0, fn.c_str(), "status is neither READY nor SCANNING");
        return;
    }
    serialId_ = status.serialId;
    LogF(2, fn.c_str(), "READY, serialId %s", serialId_.c_str());
    connected.store(true);
}

void clRICOH_MONET::ThreadDestructor() {
    http_.reset();
    connected.store(false);
}

// A stop ends a transfer at once (a reply the adjuster holds back would
// otherwise keep the host's stop or close waiting for the timeout); only the
// cancel and terminate requests that follow a stop run to their end. A reply
// beyond any result the adjuster makes is cut off rather than held in memory.
int clRICOH_MONET::abortOnStop(void* self, double, double downloaded, double, double) {
    const auto* driver = static_cast<clRICOH_MONET*>(self);
    if (downloaded > kMaxReplyBytes) return 1;
    return driver->stopped() && !driver->cleanup_.load() ? 1 : 0;
}

void clRICOH_MONET::applyHeaders(bool multipart) {
    std::map<std::string, std::string> headers{{"Authorization", authorization_}};
    if (multipart) {
        // An empty "Expect" keeps libcurl from waiting for a "100 Continue"
        // the adjuster never sends; the form sets its own content type with
        // the part boundary, so the JSON type must not replace it.
        headers["Expect"] = "";
    } else {
        headers["Content-Type"] = "application/json";
    }
    http_->setHeaders(std::move(headers));
}

// A job refused before the adjuster measured anything ends as stopped (1),
// not as failed (3): the host has nothing to discard and may start again
// once the adjuster is free. A result that was measured but cannot be had or
// read is a failure (3).
int clRICOH_MONET::EndUnmeasured(int32_t status) {
    platform::sleepMs(kSettleMs);
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    if (status != 0) PostStatusCode(pMeasure, status);
    PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
    return framework::kEndReported;
}

void clRICOH_MONET::Cancel(const std::string& body) {
    cleanup_.store(true);
    const HttpResponse reply = http_->post(kCancelPath, body);
    cleanup_.store(false);
    LogF(2, qualified("MultiMeasurement").c_str(), "cancel: %d", reply.code);
}

void clRICOH_MONET::Terminate(const std::string& jobId) {
    cleanup_.store(true);
    http_->setTimeout(kTerminateTimeoutSeconds);
    const HttpResponse reply =
        http_->patch(std::string(kJobsPath) + "/" + jobId, "{\"status\": \"TERMINATED\"}");
    http_->setTimeout(kTimeoutSeconds);
    cleanup_.store(false);
    LogF(2, qualified("MultiMeasurement").c_str(), "terminate: %d", reply.code);
}

// The result goes beside the chart definition, where the host keeps the
// job's files (the temporary folder when there is none); each run replaces
// the last one's.
std::string clRICOH_MONET::ResultPath() const {
    if (chartPath_.empty()) return platform::joinPath(platform::tempFolder(), kResultName);
    const size_t slash = chartPath_.find_last_of("/\\");
    if (slash == std::string::npos) return kResultName;  // a chart named without a folder: the current one
    return platform::joinPath(chartPath_.substr(0, slash), kResultName);
}

int clRICOH_MONET::MultiMeasurement() {
    const std::string fn = qualified("MultiMeasurement");
    const char* name = fn.c_str();
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    if (!Pause(kSettleMs)) return MEASURE_END_STOPPED;
    if (!chartRead_) throw exRICOH_MONET_LIB("no chart definition");
    std::string xml;
    if (!readSmallFile(chartPath_, xml)) throw exRICOH_MONET_LIB("chart definition cannot be read");

    const std::string body = jobBody(word(&MEASURE2STRUCT::MeasurementCondition), pMeasure->Mode);
    applyHeaders(false);
    const HttpResponse created = http_->post(kJobsPath, body);
    if (created.code != 201) {
        // Nothing was measured: the job ends as stopped, and a busy
        // adjuster says so.
        LogF(0, name, "create job: %d", created.code);
        return EndUnmeasured(created.code == 503 ? kStatusBusy : 0);
    }
    std::string jobId, why;
    if (!extractJobId(created.body, jobId, why)) throw exRICOH_MONET_LIB(why);
    LogF(2, name, "jobId %s", jobId.c_str());
    const std::string jobPath = std::string(kJobsPath) + "/" + jobId;

    HttpResponse uploaded;
    applyHeaders(true);
    http_->postMultipartXml(jobPath + "/chartDefinition", xml, uploaded);
    applyHeaders(false);
    if (uploaded.code != 200) {
        LogF(0, name, "upload chart definition: %d", uploaded.code);
        // The adjuster keeps a created job until told otherwise.
        Terminate(jobId);
        return EndUnmeasured(uploaded.code == 500   ? kStatusUploadFailed
                             : uploaded.code == 503 ? kStatusBusy
                                                    : 0);
    }

    const int limit = pollLimit(chart_.sheets);
    std::string status;
    bool suspended = false;
    bool limitReached = false;
    for (int polls = 0;;) {
        if (stopped()) {
            Cancel(body);
            platform::sleepMs(kSettleMs);
            status = "TERMINATED";
            break;
        }
        const HttpResponse reply = http_->get(jobPath);
        if (stopped()) continue;  // a transfer cut short by the stop
        if (reply.code != 200) {
            LogF(0, name, "poll job: %d", reply.code);
            return MEASURE_END_STOPPED;
        }
        if (polls++ == 0) PostStatusCode(pMeasure, MEASURE_STATUS_KEY_PRESSED);
        if (!parseJobStatus(reply.body, status, why)) throw exRICOH_MONET_LIB(why);
        if (status == "COMPLETED" || status == "FAILED" || status == "TERMINATED") break;
        if (status == "SUSPENDED" && !suspended) {
            suspended = true;
            PostStatusCode(pMeasure, kStatusSuspended);
        } else if (status == "SCANNING" && suspended) {
            suspended = false;
            PostStatusCode(pMeasure, MEASURE_STATUS_KEY_PRESSED);
        }
        if (polls >= limit) {
            limitReached = true;
            break;
        }
        Pause(kPollIntervalMs);
    }
    LogF(2, name, "job %s", limitReached ? "poll limit reached" : status.c_str());
    if (limitReached) {
        // The adjuster would otherwise keep the job and refuse the next one.
        Terminate(jobId);
        status = "TERMINATED";
    }
    if (status != "COMPLETED") {
        if (!stopped()) platform::sleepMs(kSettleMs);
        PostStatusCode(pMeasure, MEASURE_STATUS_PASS_FAILED);
        PostThreadEndMessage(pMeasure, MEASURE_END_STOPPED);
        return framework::kEndReported;
    }

    const HttpResponse result = http_->get(jobPath + "/measuredData.it8");
    if (result.code != 200 && stopped()) return MEASURE_END_STOPPED;  // the download cut short by a stop
    // A job the adjuster measured but whose result cannot be had failed.
    if (result.code != 200) throw exRICOH_MONET_LIB("measuredData.it8: " + std::to_string(result.code));
    const std::string path = ResultPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(result.body.data(), static_cast<std::streamsize>(result.body.size()));
        if (!out) throw exRICOH_MONET_LIB("cannot write " + path);
    }
    Deliver(path);
    xBeepSuccess(framework::SuccessBeep::Immediate);
    return MEASURE_END_DONE;
}

void clRICOH_MONET::Deliver(const std::string& resultPath) {
    uint8_t* block = GetResultBlock(pMeasure);
    if (block == nullptr) throw exRICOH_MONET_LIB("!pDllData");
    const uint32_t mode = pMeasure->Mode;
    const int64_t wanted =
        std::min<int64_t>(pMeasure->NumOfPatchesToRead, static_cast<int64_t>(resultCapacity(block)));
    MeasuredPatches patches;
    std::string why;
    if (!readMeasuredData(resultPath, mode, static_cast<int>(std::max<int64_t>(0, wanted)), patches, why))
        throw exRICOH_MONET_LIB(why);
    LogF(3, qualified("MultiMeasurement").c_str(), "%d patches", patches.count);
    DeliverPatches(patches.values.data(), patches.count);
}

}  // namespace measure::ricoh
