// clISIS2NET: the Ethernet i1iSis (registry row 37, "Vantu SP-600"). The
// user measures the chart at the reader; the driver finds the readers on
// the network, waits for a finished job of the chart the host names and
// fetches its values.
//
// Threads: the entries and the open's name requests on the host's thread;
// the discovery (ThreadConstructor) and the fetch job on MeasureThread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drivers/xrite/isis2net/isis2net_link.h"
#include "framework/driver.h"

namespace measure::isis2net {

MEASURE_DRIVER_ERROR(exISIS2NET_LIB);

class clISIS2NET final : public framework::Driver {
public:
    static constexpr uint32_t kMeasureTimeout = 30000;
    static constexpr uint32_t kStopWait = 3000;
    // Between sweeps over the readers: 100 pauses of 50 ms.
    static constexpr int kSweepPauses = 100;
    static constexpr uint32_t kSweepPauseMs = 50;
    static constexpr size_t kChartIdLength = 10;

    struct Reader {
        std::string address;
        std::string name;
        std::vector<std::string> texts;  // of its discovery answer
        uint64_t jobCounter = 0;
    };

    explicit clISIS2NET(MEASURESTRUCT* record);
    ~clISIS2NET() override;

    // The fetch job, on MeasureThread.
    int MultiMeasurement();

    // Host thread, at the open: names, information text, option bits, chart ID.
    void PublishAbilities() override;

    const std::vector<Reader>& readers() const { return readers_; }

private:
    void ThreadConstructor() override;
    // Reads the job counter of every reader that answers.
    void ReadJobCounters();
    // Sweeps over the readers until one has finished a job of the chart;
    // throws "Stoped" on a stop.
    size_t WaitForJob();
    void Deliver(const Response& data);

    Isis2NetLink link_;
    std::vector<Reader> readers_;
    std::string application_ = "EX";
    std::string chartId_;
};

}  // namespace measure::isis2net
