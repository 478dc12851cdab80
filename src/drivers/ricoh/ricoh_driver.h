// clRICOH_MONET: the Ricoh Auto Color Adjuster, an in-line chart reader
// reached over HTTPS with a JSON job interface under "/raca/v1/". A
// measurement is one job: create it, upload the chart definition, poll it
// every 3 s while the adjuster scans the sheets, download the result as an
// IT8 text and deliver its patches.
//
// Threads: the entries run on the host's thread; the connection (Open's
// status query) and every job run on MeasureThread, which alone uses the
// HTTP connection. The host's thread only sets the stop flag, read between
// polls.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "drivers/ricoh/ricoh_protocol.h"
#include "framework/driver.h"

namespace measure::transport {
class HttpConnection;
struct HttpResponse;
}  // namespace measure::transport

namespace measure::ricoh {

MEASURE_DRIVER_ERROR(exRICOH_MONET_LIB);

// Status codes the adjuster's jobs post to the host.
inline constexpr int32_t kStatusUploadFailed = 26;  // the adjuster refused the chart definition (500)
inline constexpr int32_t kStatusSuspended = 45;     // the adjuster waits for its operator
inline constexpr int32_t kStatusBusy = 46;          // the adjuster is busy (503)

class clRICOH_MONET final : public framework::Driver {
public:
    static constexpr uint32_t kWorkerTimeout = 30000;
    static constexpr int kTimeoutSeconds = 5;
    static constexpr int kTerminateTimeoutSeconds = 10;
    static constexpr uint32_t kPollIntervalMs = 3000;
    static constexpr uint32_t kSettleMs = 200;
    static constexpr const char* kUserAgent = "Vantu Measurement Service";
    // The largest reply taken: a spectral result of 100 000 patches is about 30 MB.
    static constexpr double kMaxReplyBytes = 64.0 * 1024 * 1024;

    explicit clRICOH_MONET(MEASURESTRUCT* record);
    ~clRICOH_MONET() override;

    // MeasureThread: one job from creation to delivery.
    int MultiMeasurement();

private:
    void ThreadConstructor() override;
    void ThreadDestructor() override;

    // Ends a job that produced nothing: status 0 (after 200 ms), `status`
    // when non-zero, thread end 1.
    int EndUnmeasured(int32_t status);
    // Sends PATCH {"status": "TERMINATED"} so the adjuster lets go of the job.
    void Terminate(const std::string& jobId);
    void Cancel(const std::string& body);
    void Deliver(const std::string& resultPath);
    std::string ResultPath() const;
    void applyHeaders(bool multipart);
    static int abortOnStop(void* self, double, double, double, double);

    std::unique_ptr<transport::HttpConnection> http_;
    std::string chartPath_;
    std::string authorization_;
    std::string serialId_;
    ChartDefinition chart_;
    bool chartRead_ = false;
    // Lets the cancel and terminate requests through after a stop.
    std::atomic<bool> cleanup_{false};
};

}  // namespace measure::ricoh
