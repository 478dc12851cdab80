// clSIMULATOR_DEVICE: an instrument without hardware for automated testing of
// hosts. Opened as registry row 999, usually in place of the instrument the
// host asked for (the simulation override of Open2Instrument); it then
// behaves like that instrument -- its delays, its strip or chart-reader
// delivery, its discovery list -- and replays a measurement data file or its
// built-in values.
//
// Threads: the entries run on the host's thread; the requests on
// MeasureThread; sounds on KeyThread (framework::Driver).
#pragma once

#include <atomic>
#include <string>

#include "drivers/simulator/measurement_data.h"
#include "drivers/simulator/simulation_parameters.h"
#include "framework/driver.h"

namespace measure::simulator {

MEASURE_DRIVER_ERROR(exSIMULATOR_DEVICE);

// Simulated IDs with behaviour of their own.
inline constexpr uint16_t kNixId = 63;
inline constexpr uint16_t kSd10Id = 65;
inline constexpr uint16_t kRicohId = 61;
inline constexpr uint16_t kFd5btId = 35;
inline constexpr uint16_t kIsisId = 26;
inline constexpr uint16_t kIsisXlId = 27;
inline constexpr uint16_t kSpectropadId = 34;

// Status codes only the simulator posts: the FD-5BT's white tile prompt
// before its calibration, and the chart positioning of a one-step corner
// registration.
inline constexpr int32_t kStatusWhiteTile = 35;
inline constexpr int32_t kStatusPositioning = 30;

class clSIMULATOR_DEVICE final : public framework::Driver {
public:
    static constexpr uint32_t kMeasureThreadTimeout = 10000;

    explicit clSIMULATOR_DEVICE(MEASURESTRUCT* record);
    ~clSIMULATOR_DEVICE() override;

    // The parts of the open that follow the connection (host thread):
    // discovery list, battery, measurement data, chart layout file. Returns
    // 0 or the layout file's code (5, 6, -1), having posted status 20.
    int32_t PrepareSimulation();

    // Requests (MeasureThread); they return the thread end code or
    // framework::kEndReported when they post their own ending.
    int _WhiteCalibration();
    int SingleMeasurement();
    int MultiMeasurement();
    int RegisterCorner();
    int StartInsertPaper();

    SimulationParameters parameters() const { return readParameters(pMeasure); }
    uint16_t simulatedId() const { return parameters().SimulatedID; }

private:
    void ThreadConstructor() override;

    // The white calibration body shared by _WhiteCalibration and the
    // measurements that find the instrument uncalibrated.
    void CalibrateWhite();
    // One strip (or the whole chart) of MultiMeasurement. Returns false when
    // the request must end at once with `end`.
    bool MeasurePass(int passPatches, int& delivered, int& end);
    bool DeliverChart(int& end);
    void DeliverPass(int passPatches, int& delivered);
    void WriteDiscoveryList(uint16_t id);

    MeasurementTables tables_;
    std::string measurementFile_;
    // Where the next measurement continues in the data file (MeasureThread
    // after the open).
    int position_ = 0;
};

}  // namespace measure::simulator
