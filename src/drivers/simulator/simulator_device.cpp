#include "drivers/simulator/simulator_device.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "core/delivery.h"
#include "core/logger.h"
#include "core/record.h"
#include "drivers/simulator/isis_parameters.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace measure::simulator {
namespace {

constexpr const char* kClassName = "clSIMULATOR_DEVICE";
constexpr uint32_t kSingleCalibrationMs = 2000;
constexpr uint32_t kDefaultSpotMs = 2000;
constexpr uint32_t kFailedPassPauseMs = 500;
constexpr uint32_t kPaperStartMs = 100;
constexpr uint32_t kSecondBeepMs = 150;
constexpr const char* kPreopenName = "Preopen file name";
constexpr uint32_t kModeMask = ~static_cast<uint32_t>(MEASURE_MODE_EMISSION);

bool isChartReader(uint16_t id) {
    for (uint16_t reader : {26, 27, 31, 37, 42, 44, 53, 61, 66})
        if (id == reader) return true;
    return false;
}

// The host's own file name, unless it is the placeholder hosts pass before
// they know the file.
const char* hostFile(MEASURESTRUCT* record) {
    const MEASURE2STRUCT* e = extendedOrNull(record);
    if (e == nullptr || e->pszParameterFile == nullptr) return nullptr;
    return std::strcmp(e->pszParameterFile, kPreopenName) == 0 ? nullptr : e->pszParameterFile;
}

}  // namespace

clSIMULATOR_DEVICE::clSIMULATOR_DEVICE(MEASURESTRUCT* record)
    : Driver(record, kClassName, kMeasureThreadTimeout) {}

clSIMULATOR_DEVICE::~clSIMULATOR_DEVICE() {
    Disconnect();
}

// Nothing to connect to: the simulated instrument is always there. A
// simulated Nix comes calibrated, as the real one does.
void clSIMULATOR_DEVICE::ThreadConstructor() {
    if (simulatedId() == kNixId) {
        calibratedSingle.store(true);
        calibratedMulti.store(true);
    }
    connected.store(true);
}

void clSIMULATOR_DEVICE::WriteDiscoveryList(uint16_t id) {
    static const char* const kSd10List =
        R"([{"id":"0","interfaceType":1,"name":"SD-10_0668"},{"id":"0","interfaceType":1,"name":"SD-10_0670"}])";
    static const char* const kNixList =
        R"([{"id":"DB:0B:5A:01:56:56","interfaceType":1,"name":"Nix Spectro L","rssi":-50,"type":7},)"
        R"({"id":"C9:B8:D9:CC:7B:D3","interfaceType":1,"name":"Nix Mini 3","rssi":-70,"type":6}])";
    const std::string path = platform::joinPath(platform::tempFolder(), "vantuMSFoundDevs.txt");
    std::ofstream out(path, std::ios::trunc);
    out << (id == kSd10Id ? kSd10List : kNixList) << '\n';
    if (!out) LogF(0, qualified("OpenSimulatorDevice").c_str(), "cannot write %s", path.c_str());
}

int32_t clSIMULATOR_DEVICE::PrepareSimulation() {
    const SimulationParameters p = parameters();
    MEASURE2STRUCT* e = extendedOrNull(pMeasure);
    if (e != nullptr) {
        if (p.SimulatedID == kNixId || p.SimulatedID == kSd10Id) {
            e->DiscoveredDevices = 1;
            if (p.NumberOfDiscoveredDevices > 1) {
                e->DiscoveredDevices = p.NumberOfDiscoveredDevices;
                WriteDiscoveryList(p.SimulatedID);
            }
        }
        // An empty battery reading is reported half full.
        e->BatteryLevel = p.DeviceBatteryLevel == 0 ? 50u : std::min<uint32_t>(p.DeviceBatteryLevel, 100u);
    }

    tables_.clear();
    measurementFile_ =
        platform::joinPath(platform::commonAppDataFolder(), "\\Vantu\\AutomatedTesting\\VantuMeasure.it8");
    const uint16_t id = p.SimulatedID;
    if (id == 37 || id == 42 || id == 44) {
        if (const char* file = hostFile(pMeasure)) measurementFile_ = file;
    }
    position_ = loadMeasurementTables(measurementFile_, e != nullptr ? e->NumPatchesPerChart : 0, tables_);

    if (id == kIsisId || id == kIsisXlId || id == kSpectropadId) {
        if (const char* file = hostFile(pMeasure)) {
            const int result = ISIS_SetParametersFromFile(file, id);
            if (result != kParametersRead) {
                PostStatusCode(pMeasure, MEASURE_STATUS_PARAMETER_FILE_REFUSED);
                if (result != kParameterFileMissing && result != kParameterKeyMissing)
                    LogF(0, "OpenSimulatorDevice", "Parameter file: errcode=%d end", result);
                return result;
            }
        }
    }
    return 0;
}

void clSIMULATOR_DEVICE::CalibrateWhite() {
    const std::string name = qualified("_WhiteCalibration");
    calibratedSingle.store(false);
    calibratedMulti.store(false);
    PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
    Log(3, name.c_str(), "single");
    if ((pMeasure->Mode & MEASURE_MODE_EMISSION) != 0) return;
    Log(3, name.c_str(), "multi");
    {
        // The calibration itself is not cut short; a close that comes
        // meanwhile waits for it.
        BusyScope busyScope(*this);
        platform::sleepMs(parameters().CalibrationTimeDelay_ms);
        xBeepSuccess(framework::SuccessBeep::Immediate);
    }
    calibratedSingle.store(true);
    calibratedMulti.store(true);
}

int clSIMULATOR_DEVICE::_WhiteCalibration() {
    const SimulationParameters p = parameters();
    Log(1, qualified("_WhiteCalibration").c_str(), nullptr);
    // The FD-5BT asks for its white tile first and takes twice as long.
    if (p.SimulatedID == kFd5btId) {
        PostStatusCode(pMeasure, kStatusWhiteTile);
        if (!Pause(2u * p.CalibrationTimeDelay_ms)) return MEASURE_END_STOPPED;
    }
    CalibrateWhite();
    PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
    PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATION_DONE);
    return framework::kEndReported;
}

int clSIMULATOR_DEVICE::SingleMeasurement() {
    const std::string name = qualified("SingleMeasurement");
    Log(1, name.c_str(), nullptr);
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    if (stopped()) return MEASURE_END_STOPPED;
    if (!calibratedSingle.load()) {
        PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
        if (!Pause(kSingleCalibrationMs)) return MEASURE_END_STOPPED;
        xBeepSuccess(framework::SuccessBeep::Immediate);
        calibratedSingle.store(true);
    }
    const MEASURE2STRUCT* e = extendedOrNull(pMeasure);
    const int perChart = e != nullptr ? e->NumPatchesPerChart : 0;
    int measured = 0;
    for (;;) {
        PostStatusCode(pMeasure, MEASURE_STATUS_WAIT_USER);
        if (stopped()) return MEASURE_END_STOPPED;
        xBeepSuccess(framework::SuccessBeep::Delayed);
        const uint32_t spotMs = parameters().SpotMeasurementTimeDelay_ms;
        // A stop while the "user" places the instrument ends without a patch.
        if (!Pause(spotMs == 0 ? kDefaultSpotMs : spotMs)) return MEASURE_END_STOPPED;
        PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);

        uint8_t* block = GetResultBlock(pMeasure);
        if (block == nullptr) throw exSIMULATOR_DEVICE("!pDllData");
        const uint32_t mode = pMeasure->Mode & kModeMask;
        switch (mode) {
            case 2:
            case 7:
            case 3:
            case 8: {
                const Triple v =
                    (mode == 2 || mode == 7) ? patchLab(tables_, 0) : patchXyz(tables_, position_, 0);
                LogF(5, name.c_str(), "XYZ[%u]=(%f, %f, %f)", 0u, v[0], v[1], v[2]);
                xBeepSuccess(framework::SuccessBeep::Immediate);
                writeTriple(block, 0, v[0], v[1], v[2]);
                framework::setTripleCount(block, 1);
                break;
            }
            case 4:
            case 9:
            case 10: {
                const Bands36 s = patchSpectrum(tables_, position_, 0);
                xBeepSuccess(framework::SuccessBeep::Immediate);
                if (mode == 4) {
                    writeSpectrum(block, 0, s.data());
                } else {
                    const Triple xyz = patchXyz(tables_, position_, 0);
                    writeSpectrum(block, 0, s.data(), xyz.data());
                }
                framework::setSpectralCount(block, 1);
                break;
            }
            default:
                // Densities are not delivered through the extended record.
                throw exSIMULATOR_DEVICE("default");
        }
        PostMeasureData(pMeasure, 0, deliveredResult(block));
        ++measured;
        // A Nix measures a chart patch by patch and ends with its last patch.
        if (simulatedId() == kNixId && perChart > 0 && measured == perChart) {
            position_ += perChart;
            return MEASURE_END_DONE;
        }
    }
}

int clSIMULATOR_DEVICE::MultiMeasurement() {
    const std::string name = qualified("MultiMeasurement");
    const SimulationParameters p = parameters();
    // The Ricoh adjuster reads a fresh chart every time.
    if (p.SimulatedID == kRicohId) {
        position_ = 0;
        xBeepSuccess(framework::SuccessBeep::Immediate);
    }
    Log(1, name.c_str(), nullptr);
    PostStatusCode(pMeasure, MEASURE_STATUS_STARTED);
    if (stopped()) return MEASURE_END_STOPPED;
    if (!calibratedSingle.load() && !calibratedMulti.load()) {
        PostStatusCode(pMeasure, MEASURE_STATUS_CALIBRATING);
        CalibrateWhite();
    }
    // Without a strip length the simulator cannot cut the chart into passes;
    // refusing is safer than delivering a guessed layout.
    if (!passesSpecified || patchesPerPass < 1) {
        Log(0, name.c_str(), "NumPatchesPerLine not given");
        xBeepFailure();
        return MEASURE_END_FAILED;
    }
    const int total = pMeasure->NumOfPatchesToRead;
    const int remainder = total % patchesPerPass;
    const int lastPass = remainder != 0 ? remainder : patchesPerPass;
    PostPassno(pMeasure, -passes);
    int delivered = 0;
    bool previousFailed = false;
    for (int pass = 0; pass < passes; ++pass) {
        if (stopped()) return MEASURE_END_STOPPED;
        const int passPatches = pass == passes - 1 ? lastPass : patchesPerPass;
        PostStatusCode(pMeasure, previousFailed ? MEASURE_STATUS_PASS_FAILED : MEASURE_STATUS_WAIT_USER);
        PostPassno(pMeasure, pass + 1);
        if (!Pause(parameters().MeasurementTimeDelay_ms)) return MEASURE_END_STOPPED;
        Log(3, name.c_str(), "trigger");
        PostStatusCode(pMeasure, MEASURE_STATUS_IDLE);
        PostScanspeedStatus(pMeasure, static_cast<uint32_t>(passPatches));
        try {
            int end = MEASURE_END_DONE;
            if (!MeasurePass(passPatches, delivered, end)) return end;
            PostPassEnd(pMeasure, static_cast<uint32_t>(patchesPerPass));
            previousFailed = false;
        } catch (const std::exception& failure) {
            LogF(0, name.c_str(), "catch(%s)", failure.what());
            xBeepFailure();
            if (!Pause(kFailedPassPauseMs)) return MEASURE_END_STOPPED;
            previousFailed = true;
        }
    }
    return MEASURE_END_DONE;
}

bool clSIMULATOR_DEVICE::MeasurePass(int passPatches, int& delivered, int& end) {
    const SimulationParameters p = parameters();
    if (p.MeasurementDataDelivery != 0 && isChartReader(p.SimulatedID)) return DeliverChart(end);
    DeliverPass(passPatches, delivered);
    return true;
}

void clSIMULATOR_DEVICE::DeliverPass(int passPatches, int& delivered) {
    const std::string name = qualified("MultiMeasurement");
    uint8_t* block = GetResultBlock(pMeasure);
    if (block == nullptr) throw exSIMULATOR_DEVICE("!pDllData");
    const uint32_t mode = pMeasure->Mode & kModeMask;
    if (mode != MEASURE_MODE_CIE_LAB && mode != MEASURE_MODE_CIE_XYZ && mode != MEASURE_MODE_SPECTRAL)
        throw exSIMULATOR_DEVICE("default");
    int count = passPatches;
    if (int64_t{delivered} + count > pMeasure->NumOfPatchesToRead)
        count = static_cast<int>(std::max<int64_t>(0, int64_t{pMeasure->NumOfPatchesToRead} - delivered));
    // Each strip is written from the start of the block.
    if (static_cast<uint64_t>(count) > resultCapacity(block))
        throw exSIMULATOR_DEVICE("results do not fit the block");

    const MEASURE2STRUCT* e = extendedOrNull(pMeasure);
    // A strip scanned backwards with position recognition comes out reversed.
    const bool reverse = e != nullptr && e->ReverseOrder == 1 && e->PositionRecognition == 1;
    xBeepSuccess(framework::SuccessBeep::Immediate);
    if (mode == MEASURE_MODE_SPECTRAL) {
        for (int i = 0; i < count; ++i) {
            const Bands36 s = patchSpectrum(tables_, position_, i);
            writeSpectrum(block, static_cast<uint64_t>(i), s.data());
        }
        framework::setSpectralCount(block, static_cast<uint64_t>(count));
        position_ += count;
    } else {
        for (int i = 0; i < count; ++i) {
            const int patch = reverse ? count - 1 - i : i;
            const Triple v =
                mode == MEASURE_MODE_CIE_LAB ? patchLab(tables_, patch) : patchXyz(tables_, position_, patch);
            LogF(5, name.c_str(), "XYZ[%u]=(%f, %f, %f)", static_cast<unsigned>(i), v[0], v[1], v[2]);
            writeTriple(block, static_cast<uint64_t>(i), v[0], v[1], v[2]);
        }
        framework::setTripleCount(block, static_cast<uint64_t>(count));
    }
    PostMeasureData(pMeasure, 0, deliveredResult(block));
    delivered += count;
}

bool clSIMULATOR_DEVICE::DeliverChart(int& end) {
    const std::string name = qualified("MultiMeasurement");
    const SimulationParameters p = parameters();
    const MEASURE2STRUCT* e = extendedOrNull(pMeasure);
    const int total = pMeasure->NumOfPatchesToRead;
    int count = total;
    const int perChart = e != nullptr ? e->NumPatchesPerChart : 0;
    if (perChart > 0 && perChart < total) {
        // Pages of NumPatchesPerChart; the last one holds the rest.
        const int pages = (total + perChart - 1) / perChart;
        const bool lastPage = static_cast<int64_t>(e->ChartPageIndex) + 1 >= pages;
        count = lastPage ? total - perChart * (pages - 1) : perChart;
    }
    const int rows = isisParameter("NumberOfRows");
    const int columns = isisParameter("NumberOfColumns");
    if ((p.SimulatedID == kIsisId || p.SimulatedID == kIsisXlId) &&
        static_cast<int64_t>(rows) * columns != count) {
        LogF(0, name.c_str(), "chart of %d patches is not NumberOfRows=%d x NumberOfColumns=%d", count, rows,
             columns);
        xBeepFailure();
        end = MEASURE_END_FAILED;
        return false;
    }
    const uint32_t mode = pMeasure->Mode & kModeMask;
    if (mode != MEASURE_MODE_CIE_XYZ && mode != MEASURE_MODE_SPECTRAL) throw exSIMULATOR_DEVICE("default");
    uint8_t* block = GetResultBlock(pMeasure);
    if (block == nullptr) throw exSIMULATOR_DEVICE("!pDllData");
    if (static_cast<uint64_t>(count) > resultCapacity(block))
        throw exSIMULATOR_DEVICE("results do not fit the block");

    int k = 0;
    // The file holds the chart row by row; a chart read column by column
    // delivers the same patches in column order.
    auto emit = [&](int chartIndex) {
        const Bands36 s = patchSpectrum(tables_, position_, chartIndex);
        if (mode == MEASURE_MODE_CIE_XYZ) {
            double xyz[3] = {0, 0, 0};
            SpectrumToXYZ(xyz, kSpectralHeader, s.data());
            LogF(5, name.c_str(), "XYZ[%u]=(%f, %f, %f)", static_cast<unsigned>(k), xyz[0], xyz[1], xyz[2]);
            writeTriple(block, static_cast<uint64_t>(k), xyz[0], xyz[1], xyz[2]);
        } else {
            writeSpectrum(block, static_cast<uint64_t>(k), s.data());
        }
        ++k;
    };
    const bool grid = rows > 0 && columns > 0 && static_cast<int64_t>(rows) * columns == count;
    if (grid && e != nullptr && e->ColumnOrder == 1) {
        for (int c = 0; c < columns; ++c)
            for (int r = 0; r < rows; ++r) emit(r * columns + c);
    } else {
        for (int i = 0; i < count; ++i) emit(i);
    }
    if (mode == MEASURE_MODE_CIE_XYZ) {
        framework::setTripleCount(block, static_cast<uint64_t>(count));
    } else {
        framework::setSpectralCount(block, static_cast<uint64_t>(count));
    }
    PostMeasureData(pMeasure, 0, deliveredResult(block));
    position_ += count;
    return true;
}

int clSIMULATOR_DEVICE::RegisterCorner() {
    const SimulationParameters p = parameters();
    const MEASURE2STRUCT* e = extendedOrNull(pMeasure);
    Log(1, qualified("RegisterCorner").c_str(), nullptr);
    const uint32_t cornerMode = e != nullptr ? e->CornerMode : 0;
    if (cornerMode == 1 || cornerMode == 2) {
        // The table finds the chart by itself in one positioning run.
        PostStatusCode(pMeasure, kStatusPositioning);
        if (!Pause(p.PositioningTimeDelay_ms)) return MEASURE_END_STOPPED;
    } else {
        for (int32_t corner : {MEASURE_STATUS_CORNER_1, MEASURE_STATUS_CORNER_2, MEASURE_STATUS_CORNER_3}) {
            PostStatusCode(pMeasure, corner);
            if (!Pause(p.PositioningTimeDelay_ms)) return MEASURE_END_STOPPED;
            if (corner != MEASURE_STATUS_CORNER_3) xBeepSuccess(framework::SuccessBeep::Immediate);
        }
    }
    xBeepSuccess(framework::SuccessBeep::Immediate);
    if (!Pause(kSecondBeepMs)) return MEASURE_END_STOPPED;
    xBeepSuccess(framework::SuccessBeep::Immediate);
    PostStatusCode(pMeasure, MEASURE_STATUS_CORNERS_DONE);
    return framework::kEndReported;
}

int clSIMULATOR_DEVICE::StartInsertPaper() {
    Log(1, qualified("StartInsertPaper").c_str(), nullptr);
    PostStatusCode(pMeasure, MEASURE_STATUS_PAPER_INSERT_START);
    if (!Pause(kPaperStartMs)) return MEASURE_END_STOPPED;
    PostStatusCode(pMeasure, MEASURE_STATUS_PAPER_GOING_IN);
    if (!Pause(parameters().InsertPaperTimeDelay_ms)) return MEASURE_END_STOPPED;
    PostStatusCode(pMeasure, MEASURE_STATUS_PAPER_IN_PLACE);
    return framework::kEndReported;
}

}  // namespace measure::simulator
