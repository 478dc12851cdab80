#include "drivers/xrite/isis2net/isis2net.h"

#include <algorithm>

#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"

namespace measure::isis2net {
namespace {

constexpr int32_t kPortOfIsis2Net = 11;

std::string textOf(const std::vector<std::string>& texts, size_t i) {
    return i < texts.size() ? texts[i] : "";
}

}  // namespace

clISIS2NET::clISIS2NET(MEASURESTRUCT* record) : Driver(record, "clISIS2NET", kMeasureTimeout) {
    stopWaitMs = kStopWait;
}

clISIS2NET::~clISIS2NET() {
    Disconnect();
}

void clISIS2NET::ThreadConstructor() {
    static const char* const fn = "clISIS2NET::ThreadConstructor";
    connected = false;
    std::vector<DiscoveredReader> found;
    if (!link_.discover(found)) {
        Log(0, fn, "discovery query not sent");
        return;
    }
    readers_.clear();
    for (const auto& f : found) readers_.push_back({f.address, "", f.texts, 0});
    LogF(3, fn, "%u readers", static_cast<unsigned>(readers_.size()));
    connected = !readers_.empty();
}

void clISIS2NET::PublishAbilities() {
    pMeasure->port = kPortOfIsis2Net;
    if (MEASURE2STRUCT* e = extendedOrNull(pMeasure)) {
        e->OptionBits |= opDualScanOption | opM0Mode | opM1Mode | opM2Mode;
        if (e->pszParameterFile != nullptr) chartId_ = e->pszParameterFile;
    }
    std::string info;
    for (auto& reader : readers_) {
        Response answer;
        if (link_.request(reader.address, kCommandName, {}, answer) && answer.status == 0) {
            PayloadReader items(answer.payload.data(), answer.payload.size());
            items.text(reader.name);
        }
        info += reader.name + ";" + reader.address + ";" + textOf(reader.texts, 0) + ";" +
                textOf(reader.texts, 1) + ";";
        reader.jobCounter = 0;
    }
    setInfoString(info);
}

void clISIS2NET::ReadJobCounters() {
    for (auto& reader : readers_) {
        Response answer;
        if (!link_.request(reader.address, kCommandJobCounter, {}, answer, &stopRequested) ||
            answer.status != 0)
            continue;
        PayloadReader items(answer.payload.data(), answer.payload.size());
        uint64_t counter = 0;
        if (items.u64(counter)) reader.jobCounter = counter;
    }
}

size_t clISIS2NET::WaitForJob() {
    const std::vector<uint8_t> ask = PayloadWriter().text(application_).text(chartId_).bytes();
    for (;;) {
        for (size_t r = 0; r < readers_.size(); ++r) {
            Response answer;
            if (!link_.request(readers_[r].address, kCommandJobs, ask, answer, &stopRequested) ||
                answer.status != 0 || answer.payload.size() < kShortestJobRecord)
                continue;
            for (const auto& job : parseJobRecords(answer.payload.data(), answer.payload.size()))
                if (job.counter >= readers_[r].jobCounter && job.status == 0) return r;
        }
        for (int i = 0; i < kSweepPauses; ++i)
            if (!Pause(kSweepPauseMs)) throw exISIS2NET_LIB("Stoped");
    }
}

void clISIS2NET::Deliver(const Response& data) {
    MeasurementData values;
    switch (parseMeasurementData(data.payload.data(), data.payload.size(), values)) {
        case DataError::JobIdSize:
            throw exISIS2NET_LIB("Error ocurred: invalid jobId size");
        case DataError::NotEnoughData:
            throw exISIS2NET_LIB("Error ocurred: not enough data to display");
        case DataError::None:
            break;
    }
    const uint32_t condition =
        extendedOrNull(pMeasure) != nullptr ? extended(pMeasure)->MeasurementCondition : 0;
    const int block = condition == MEASURE_CONDITION_M1 ? 1 : condition == MEASURE_CONDITION_M2 ? 2 : 0;
    const bool spectral = pMeasure->Mode == MEASURE_MODE_SPECTRAL;
    const int perPatch = spectral ? kSpectralValues : kColourValues;

    uint8_t* block0 = framework::GetResultBlock(pMeasure);
    if (block0 == nullptr) throw exISIS2NET_LIB("no result block");
    // The chart's patches, as far as whole ones arrived, the host asked for
    // and the block holds.
    size_t count = static_cast<size_t>(values.rows) * static_cast<size_t>(values.columns);
    count = std::min(count, patchesInBlock(values, perPatch));
    count = std::min<size_t>(count, static_cast<size_t>(std::max(pMeasure->NumOfPatchesToRead, 0)));
    count = std::min<size_t>(count, resultCapacity(block0));

    float patch[kSpectralValues];
    double spectrum[kSpectralValues];
    for (size_t i = 0; i < count; ++i) {
        readPatch(values, block, i, perPatch, patch);
        if (spectral) {
            std::copy(patch, patch + kSpectralValues, spectrum);
            writeSpectrum(block0, i, spectrum);
        } else {
            writeTriple(block0, i, patch[0], patch[1], patch[2]);
        }
    }
    const bool counted = spectral ? writeSpectralCount(block0, count) : writeTripleCount(block0, count);
    if (!counted) throw exISIS2NET_LIB("results do not fit the block");
    PostMeasureData(pMeasure, 0, deliveredResult(block0));
}

int clISIS2NET::MultiMeasurement() {
    const std::string fn = qualified("MultiMeasurement");
    Log(1, fn.c_str(), nullptr);
    if (chartId_.size() != kChartIdLength) throw exISIS2NET_LIB("Error ocurred: Bad Chart ID");
    ReadJobCounters();
    const size_t r = WaitForJob();
    LogF(3, fn.c_str(), "job finished on %s", readers_[r].address.c_str());

    PayloadWriter ask;
    ask.text(application_).text(chartId_).u8(0).u8(0);
    uint32_t command = kCommandSpectralData;
    if (pMeasure->Mode != MEASURE_MODE_SPECTRAL) {
        command = kCommandColourData;
        ask.u8(3).u8(0).u8(pMeasure->Mode == MEASURE_MODE_CIE_LAB ? kColourSpaceLab : kColourSpaceXyz);
    }
    Response data;
    if (!link_.request(readers_[r].address, command, ask.bytes(), data, &stopRequested) || data.status != 0)
        throw exISIS2NET_LIB("Error ocurred: Bad headerResponse.statusCode");
    Deliver(data);
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostThreadEndMessage(pMeasure, MEASURE_END_DONE);
    xBeepSuccess(framework::SuccessBeep::Immediate);
    return framework::kEndReported;
}

}  // namespace measure::isis2net
