// The virtual i1 instrument and the state both stand-in SDK libraries keep
// about it. Each SDK call of libi1Pro64 (Library::Pro) and libi1Pro364
// (Library::Pro3) lands in one member here; the emu_i1_ control calls change
// the instrument. One mutex guards everything; event handlers and the
// calibration hold run without it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "chart.h"
#include "drivers/xrite/i1_sdk.h"
#include "i1_emulator.h"
#include "table.h"

namespace xrite_emu {

namespace sdk = measure::xrite;

enum class Library { Pro = 0, Pro3 = 1 };

// Result codes of the stand-in besides those the drivers tell apart.
inline constexpr sdk::I1_ResultType kBufferTooSmall = 9;
inline constexpr sdk::I1_ResultType kInvalidArgument = 30;
inline constexpr sdk::I1_ResultType kInvalidHandle = 31;
inline constexpr sdk::I1_ResultType kDeviceNotOpen = 51;
inline constexpr sdk::I1_ResultType kNoDataAvailable = 56;
inline constexpr sdk::I1_ResultType kCalibrationFailed = 57;
inline constexpr sdk::I1_ResultType kNoTable = 70;
inline constexpr sdk::I1_ResultType kOutsideTravel = 71;
inline constexpr sdk::I1_ResultType kReadOnlyOption = 72;

class EMU_I1_API VirtualI1 {
public:
    static VirtualI1& instance();

    // --- SDK calls (lib says which library is asked) ---
    sdk::I1_ResultType registerTableExtensions(Library lib);
    const char* getGlobalOptionD(Library lib, const char* key);
    sdk::I1_ResultType getGlobalOption(Library lib, const char* key, char* buffer, uint32_t* size);
    sdk::I1_ResultType setGlobalOption(Library lib, const char* key, const char* value);
    sdk::I1_ResultType getDevices(Library lib, sdk::I1_DeviceHandle** devices, uint32_t* count);
    uint32_t getConnectionStatus(Library lib, sdk::I1_DeviceHandle device);
    sdk::I1_ResultType openDevice(Library lib, sdk::I1_DeviceHandle device);
    sdk::I1_ResultType closeDevice(Library lib, sdk::I1_DeviceHandle device);
    sdk::I1_ResultType registerDeviceEventHandler(Library lib, sdk::I1_DeviceEventHandler handler,
                                                  void* context);
    sdk::I1_ResultType getOption(Library lib, sdk::I1_DeviceHandle device, const char* key, char* buffer,
                                 uint32_t* size);
    sdk::I1_ResultType setOption(Library lib, sdk::I1_DeviceHandle device, const char* key,
                                 const char* value);
    sdk::I1_ResultType calibrate(Library lib, sdk::I1_DeviceHandle device);
    sdk::I1_ResultType setSubstrate(Library lib, sdk::I1_DeviceHandle device, const float* spectrum);
    sdk::I1_ResultType triggerMeasurement(Library lib, sdk::I1_DeviceHandle device);
    uint32_t getButtonStatusD(Library lib, sdk::I1_DeviceHandle device);
    int32_t getNumberOfAvailableSamples(Library lib, sdk::I1_DeviceHandle device);
    sdk::I1_ResultType getSpectrum(Library lib, sdk::I1_DeviceHandle device, float* out, uint32_t index);
    sdk::I1_ResultType getTriStimulus(Library lib, sdk::I1_DeviceHandle device, float* out, uint32_t index);
    sdk::I1_ResultType getDensities(Library lib, sdk::I1_DeviceHandle device, float* out,
                                    uint32_t* densityIndex, uint32_t index);
    sdk::I1_ResultType getDensity(Library lib, sdk::I1_DeviceHandle device, float* out, uint32_t index);
    sdk::I1_ResultType setPosition(Library lib, sdk::I1_DeviceHandle device, const sdk::I1_Point* position);
    sdk::I1_ResultType getPosition(Library lib, sdk::I1_DeviceHandle device, sdk::I1_Point* position);
    sdk::I1_ResultType moveToHomePosition(Library lib, sdk::I1_DeviceHandle device);
    sdk::I1_ResultType scan(Library lib, sdk::I1_DeviceHandle device, const sdk::I1_Point* start,
                            const sdk::I1_Point* end);
    sdk::I1_ResultType scanChart(Library lib, sdk::I1_DeviceHandle device, const sdk::I1_Point* corners,
                                 uint32_t rows, uint32_t columns, void* reserved,
                                 sdk::I1_ScanRowCallback onRow, void* context);

    // --- control (emu_i1_*) ---
    void reset(bool demoDefaults);
    void setModel(int32_t model);
    void setText(const std::string& key, const std::string& value);
    void setAttached(bool attached);
    void setTable(bool onTable);
    void setClosedStatus(uint32_t status);
    void setHolder(int32_t holder);
    int32_t holder();
    void pressButton();
    void setAutoPress(int32_t polls);
    int32_t buttonPolls();
    void setOnWhiteTile(bool onTile);
    void failCalibrations(int32_t count);
    void setCalibrationFailure(uint32_t code);
    void holdCalibration(const char* mode);
    bool calibrationWaiting();
    bool isCalibrated(const std::string& mode);
    void failTriggers(uint32_t code, int32_t count);
    void setPatchSpectrum(int32_t patch, const Spectrum& spectrum);
    Spectrum patchSpectrum(int32_t patch);
    void setSpotPatch(int32_t patch);
    void queueScan(const EmuI1Scan& scan);
    int32_t queuedScans();
    int32_t count(const std::string& prefix);
    std::string journal();
    void clearJournal();
    std::string option(const std::string& key);
    void setTableChart(const EmuI1TableChart& chart);
    int32_t tableSheet();
    void laySheet(int32_t sheet);
    TablePoint tablePosition();
    void queueVisor(const TablePoint& visor);
    void queueTablePatch(int32_t row, int32_t column);
    void failTableExtensions(uint32_t code);
    void setShortRow(int32_t row, int32_t samples);
    void failChartAtRow(int32_t row, uint32_t code);
    int32_t tableRowsRead();
    void gateRows(bool on);
    void nextRow();
    void libraryLoaded(Library lib, bool loaded);
    bool isLoaded(Library lib);

private:
    VirtualI1();

    // What one library keeps: its settings, calibrations and last readings.
    struct LibraryState {
        std::map<std::string, std::string> settings;
        std::set<std::string> calibrated;
        std::vector<Sample> samples;
        std::string lastError;
        std::string answer;  // storage of the last GetGlobalOptionD answer
        sdk::I1_DeviceEventHandler handler = nullptr;
        void* handlerContext = nullptr;
        bool tableExtensions = false;
        Spectrum substrate{};
        bool openedOnTable = false;  // the table extensions were registered before the open
    };

    using Lock = std::unique_lock<std::mutex>;

    LibraryState& state(Library lib) { return libraries_[static_cast<int>(lib)]; }
    static const char* prefix(Library lib) { return lib == Library::Pro ? "I1_" : "I1PRO3_"; }
    int32_t holderOf(Library lib) const {
        return lib == Library::Pro ? EMU_I1_HOLDER_I1PRO : EMU_I1_HOLDER_I1PRO3;
    }
    void log(Library lib, const std::string& call, const std::string& detail = "");
    sdk::I1_ResultType fail(Library lib, sdk::I1_ResultType code, const std::string& text);
    // Checks the handle, the plug and (when `mustBeOpen`) that this library
    // holds the instrument; 0 or the failure's code.
    sdk::I1_ResultType check(Library lib, sdk::I1_DeviceHandle device, bool mustBeOpen);
    std::string settingOf(Library lib, const std::string& key, const std::string& fallback) const;
    bool offers(const std::string& listKey, const std::string& value) const;
    // An identity text as the instrument reports it (its head decides the M3 lists).
    std::string identityText(const std::string& key) const;
    bool m3Head() const;
    // A table option key of `lib` in the "I1T_" spelling kept here;
    // `foreign` when it carries the other library's prefix.
    std::string tableKey(Library lib, const std::string& key, bool& foreign) const;
    sdk::I1_ResultType validateOption(Library lib, const std::string& key, const std::string& value);
    // Sample `index` of the last measurement as the result index shows it;
    // also refuses a null `buffer` of the caller.
    sdk::I1_ResultType sampleAt(Library lib, sdk::I1_DeviceHandle device, uint32_t index, const void* buffer,
                                Sample& out, Spectrum& measured);
    sdk::I1_ResultType densitiesOf(Library lib, const Sample& sample, const Spectrum& measured, float out[4]);
    // check() for an open instrument on an i1iO table.
    sdk::I1_ResultType checkTable(Library lib, sdk::I1_DeviceHandle device);
    // A point the driver passes, as an aperture position.
    TablePoint toAperture(Library lib, const TablePoint& p) const;
    // The virtual user moves the visor before a press when the head is free.
    void moveVisorForPress(Library lib);
    // Whether spots read the chart on the table.
    bool onTableFor(Library lib) const { return onTable_ && libraries_[static_cast<int>(lib)].openedOnTable; }
    EmuI1Scan nextScan(Library lib);
    void takeScan(Library lib, const EmuI1Scan& scan);
    void notify(std::vector<std::pair<sdk::I1_DeviceEventHandler, void*>> handlers, uint32_t event);
    void resetLocked(bool demoDefaults);

    std::mutex mutex_;
    std::condition_variable calibrationGate_;
    LibraryState libraries_[2];
    sdk::I1_DeviceHandle handles_[2];
    std::map<std::string, std::string> identity_;
    std::string sdkVersion_;
    bool attached_ = true;
    bool onTable_ = false;
    uint32_t closedStatus_ = sdk::kI1StatusClosed;
    int32_t holder_ = EMU_I1_HOLDER_NONE;
    int32_t pendingPresses_ = 0;
    int32_t autoPressPolls_ = 0;
    int32_t unansweredPolls_ = 0;
    int32_t totalPolls_ = 0;
    bool onWhiteTile_ = true;
    int32_t calibrationFailures_ = 0;
    uint32_t calibrationFailureCode_ = kCalibrationFailed;
    std::string heldMode_;
    int32_t calibrationsWaiting_ = 0;
    uint32_t triggerFailureCode_ = 0;
    int32_t triggerFailures_ = 0;
    Chart chart_;
    int32_t spotPatch_ = 0;
    std::deque<EmuI1Scan> scans_;
    int32_t defaultStripLength_ = 6;
    int32_t nextDefaultPatch_ = 0;
    uint32_t rng_ = 12345;
    std::deque<std::string> journal_;
    // The i1iO table.
    TableChart table_;
    TablePoint aperture_{0, 0};
    std::deque<TablePoint> visorQueue_;
    int32_t sheet_ = 0;
    size_t cornersTaken_ = 0;  // of the sheet on the table
    bool sheetDone_ = false;
    std::map<std::string, std::string> tableTexts_;
    uint32_t extensionsFailure_ = 0;
    int32_t shortRow_ = -1;
    int32_t shortRowSamples_ = 0;
    int32_t failRow_ = -1;
    uint32_t failRowCode_ = 0;
    int32_t rowsRead_ = 0;
    bool rowGate_ = false;
    // Seconds per second of a real row's travel (the demo's time scale); 0 in tests.
    double rowPacing_ = 0;
    int32_t rowPermits_ = 0;
    std::condition_variable rowPermit_;
    // Whether each SDK library is loaded (not reset: it follows the loader).
    bool loaded_[2] = {false, false};
};

}  // namespace xrite_emu
