// The test host of the i1Pro rows: the shared host whose user presses the
// virtual instrument's button behind the i1 SDK stand-in.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "drivers/i1pro/i1_sdk_stand_in.h"
#include "support/instrument_host.h"

namespace measure::test {

class I1ProHost : public InstrumentHost {
public:
    // `perLine`: the host's plan of patches per strip (0: none).
    I1ProHost(uint32_t id, uint32_t mode, int32_t patches = 24, int32_t perLine = 0)
        : InstrumentHost(id, mode, patches, [] { emu_i1_press_button(); }) {
        rec.NumPatchesPerLine = perLine;
    }
};

// The spectrum of a chart patch as the host receives it.
inline std::array<double, 36> chartSpectrum(int32_t patch) {
    float s[36];
    emu_i1_patch_spectrum(patch, s);
    std::array<double, 36> out{};
    for (int i = 0; i < 36; ++i) out[i] = s[i];
    return out;
}

// What the host keeps of its data messages: per message, its patches.
using DeliveredSpectra = std::vector<std::vector<std::array<double, 36>>>;
using DeliveredTriples = std::vector<std::vector<std::array<double, 3>>>;

// The colour values of a chart patch as the instrument gives them.
inline std::array<double, 3> chartColour(int32_t patch, const char* space = "CIEXYZ") {
    float s[36], c[3];
    emu_i1_patch_spectrum(patch, s);
    emu_i1_colour_of(s, space, c);
    return {c[0], c[1], c[2]};
}

// The density slot of a chart patch in a density mode: converted from its
// spectrum for the Status modes, the instrument's own for the DIN modes.
inline std::array<uint16_t, 4> chartDensities(int32_t patch, uint32_t mode) {
    float s[36], din[4];
    emu_i1_patch_spectrum(patch, s);
    std::array<uint16_t, 4> out{};
    if (mode <= MEASURE_MODE_STATUS_T) {
        const uint32_t header[3] = {380, 10, 36};
        double bands[36], d[4];
        for (int i = 0; i < 36; ++i) bands[i] = s[i];
        EXPECT_EQ(SpectrumToDensity(d, header, bands, mode), 1);
        for (int c = 0; c < 4; ++c) out[c] = static_cast<uint16_t>(d[c] * 1000);
        return out;
    }
    emu_i1_densities_of(s, mode == MEASURE_MODE_DIN_16536 ? "DIN" : "DINNB", din);
    for (int c = 0; c < 4; ++c) out[c] = static_cast<uint16_t>(din[c] * 1000.0);
    return out;
}

// Chart patches first, first + 1, ... as the host receives them.
inline std::vector<std::array<double, 36>> chartSpectra(int32_t first, int32_t count) {
    std::vector<std::array<double, 36>> out;
    for (int32_t i = 0; i < count; ++i) out.push_back(chartSpectrum(first + i));
    return out;
}

// Rows (strips) of `columns` chart patches from `first` on, as the host
// receives them.
inline DeliveredSpectra rowsOfChart(int32_t first, int rows, int columns) {
    DeliveredSpectra out;
    for (int r = 0; r < rows; ++r) out.push_back(chartSpectra(first + r * columns, columns));
    return out;
}

// A strip scan of the chart for the script, references and direction as given.
inline EmuI1Scan strip(int32_t first, int32_t count, bool references = false, bool reversed = false) {
    EmuI1Scan s;
    emu_i1_scan_defaults(&s);
    s.firstPatch = first;
    s.patchCount = count;
    s.withReferences = references ? 1 : 0;
    s.reversed = reversed ? 1 : 0;
    return s;
}

inline void queue(const EmuI1Scan& s) {
    emu_i1_queue_scan(&s);
}

// A white calibration the row refuses for its measurement condition.
inline void expectCalibrationRefusedForTheCondition(I1ProHost& host) {
    host.events.clear();
    ASSERT_EQ(WhiteCalibration(host.record()), 0);
    ASSERT_TRUE(host.runUntilStatus(MEASURE_STATUS_CALIBRATION_FAILED));
    EXPECT_EQ(host.events, (std::vector<HostEvent>{{HostEvent::Status, MEASURE_STATUS_CALIBRATING},
                                                   {HostEvent::Status, MEASURE_STATUS_MODE_UNSUITABLE},
                                                   {HostEvent::End, MEASURE_END_CALIBRATION_FAILED},
                                                   {HostEvent::Status, MEASURE_STATUS_CALIBRATION_FAILED}}));
}

// Queues `strips`, starts `entry` (a strip request unless told) and returns
// the request's end code.
inline int64_t runRequest(I1ProHost& host, std::initializer_list<EmuI1Scan> strips = {},
                          DriverEntry entry = StartMultiMeasure) {
    for (const auto& s : strips) queue(s);
    if (const int32_t started = entry(host.record()); started != 0) {
        ADD_FAILURE() << "the request did not start: " << started;
        return -101;
    }
    return host.runToEnd();
}

}  // namespace measure::test
