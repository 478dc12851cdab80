// A host of the Ricoh adjuster for the tests: the adjuster's emulator on
// loopback HTTPS, its chart definition in a temporary folder, and a record
// for instrument 61 pointed at it, opened and measured through the exports.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "measure/measure.h"
#include "platform/socket.h"
#include "ricoh/adjuster_emulator.h"
#include "support/host_window.h"
#include "support/instrument_host.h"
#include "support/test_environment.h"

namespace ricoh_test {

namespace rc = measure::emu::ricoh;
using namespace std::chrono_literals;

inline constexpr uint32_t kMessage = 0x7300;
// The jobs run at a tenth of the specified time: 300 ms polls and a 500 ms
// transfer timeout, which a loopback request meets on a busy machine (also
// under wine, whose TLS answers more slowly).
inline constexpr double kJobTimeScale = 0.1;

class AdjusterHost : public measure::test::RecordHost {
public:
    explicit AdjusterHost(rc::AdjusterEmulator::Options options = {}, uint32_t mode = MEASURE_MODE_CIE_LAB)
        : RecordHost(61, mode, options.patches, kMessage), emulator(dir.path(), options) {
        started = emulator.start();
        chartPath = dir.file("chart.xml");
        std::ofstream(chartPath, std::ios::binary) << emulator.chartDefinition();
        setParameter(chartPath + "?" + rc::AdjusterEmulator::encodedCredentials(options.credentials));
        rec.NetworkAddress = measure::platform::loopbackAddress();
        rec.RicohPort = static_cast<uint32_t>(emulator.port());
    }
    // The driver closes while its adjuster still answers.
    ~AdjusterHost() { close(); }

    void setParameter(const std::string& text) {
        parameter_ = std::vector<char>(text.begin(), text.end());
        parameter_.push_back('\0');
        rec.pszParameterFile = parameter_.data();
    }
    // The open makes the connection: its TLS handshake gets the whole 5 s
    // timeout, whatever the job runs at, as a process's first handshake may
    // be slow (Windows' TLS under wine loads its libraries then); the job's
    // requests reuse that connection. Nothing in an open waits on the clock
    // otherwise.
    int open() {
        measure::test::ScopedTimeScale handshake(1.0);
        return RecordHost::open();
    }
    int start() { return StartMultiMeasure(record()); }

    // Collects notifications up to the thread end: its code, or -100 when
    // none came within `timeout`. With `untilStatus`, that status ends the
    // wait too (answering kStatusReached).
    int waitEnd(std::chrono::milliseconds timeout = 60s, int untilStatus = -1) {
        return takeUntilEnd(timeout, untilStatus, [this](const measure::test::HostMessage& m) {
            if (m.message == kMessage + MEASURE_MSG_MEASURE_DATA)
                results.push_back(reinterpret_cast<const uint8_t*>(static_cast<intptr_t>(m.lParam)));
        });
    }
    // Runs one job to its end.
    int measure() {
        statuses.clear();
        results.clear();
        if (start() != 0) return -200;
        return waitEnd();
    }

    // The delivered result in the mode's form.
    const MEASURE_TRIPLE_RESULT* triples() const {
        return reinterpret_cast<const MEASURE_TRIPLE_RESULT*>(results.back());
    }
    const MEASURE_SPECTRAL_RESULT* spectra() const {
        return reinterpret_cast<const MEASURE_SPECTRAL_RESULT*>(results.back());
    }
    std::vector<double> triple(int i) const {
        const double* v = MEASURE_TRIPLE_VALUES(results.back(), i);
        return {v[0], v[1], v[2]};
    }
    std::vector<double> spectrum(int i) const {
        const double* v = MEASURE_SPECTRAL_PATCH(results.back(), i);
        return std::vector<double>(v, v + MEASURE_SPECTRAL_BANDS);
    }

    measure::test::TempDir dir;
    rc::AdjusterEmulator emulator;
    bool started = false;
    std::string chartPath;
    std::vector<const uint8_t*> results;

private:
    std::vector<char> parameter_;
};

}  // namespace ricoh_test
