// clISIS: the X-Rite i1iSis sheet-fed chart reader over USB through its SDK
// (registry row 26). The user feeds printed chart sheets; the driver sets
// the reader's layout from the chart layout parameter file, follows the
// paper through the reader with status messages, has each sheet prescanned
// and measured, reads its patches and delivers them sheet by sheet.
//
// Threads: the entries run on the host's thread, and so do the open's
// option reads and the reset a stop writes while a sheet is being measured
// (the SDK takes calls from any thread); ThreadConstructor and the jobs run
// on MeasureThread; sounds on KeyThread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "drivers/xrite/isis/isis_library.h"
#include "framework/driver.h"

namespace measure::isis {

// A failure of the reader, its SDK or the driver's logic; the text names the
// step ("Wrong parameter file", "Stoped", "default") or is the SDK's own.
MEASURE_DRIVER_ERROR(exISIS_LIB);
MEASURE_CALIBRATION_ERROR(exISIS_CALIBRATION);

class clISIS final : public framework::Driver {
public:
    static constexpr uint32_t kMeasureTimeout = 10000;
    static constexpr uint32_t kConnectWait = 20000;
    // The paper waits: 41 polls, 500 ms apart (about 20 s).
    static constexpr uint32_t kPaperPollMs = 500;
    static constexpr int kPaperPolls = 41;
    static constexpr uint32_t kSecondBeepMs = 80;
    // What the driver throws after a stop.
    static constexpr const char* kStopped = "Stoped";

    explicit clISIS(MEASURESTRUCT* record);
    ~clISIS() override;

    // Jobs on MeasureThread.
    int MultiMeasurement();
    int SimpleMultiMeasurement();
    int StartInsertPaper();

    // Host thread: stops the job; a sheet being measured is reset and
    // handed back first, since the SDK's measurement only ends that way.
    void StopMeasurement() override;

    // Host thread, from the open: loads the layout parameter file into the
    // reader (or throws, having posted status 20); the reader's options.
    void SetParameterFile(const char* path);
    std::string Option(const char* key) const;

    // Whether the SDK's chart measurement runs.
    std::atomic<bool> measuring{false};

private:
    void ThreadConstructor() override;
    void RequestFailed(const framework::RequestFailure& failure) override;

    const IsisLibrary& sdk() const;
    void SetOption(const char* key, const std::string& value) const;
    // Throws "Stoped" when the job has been asked to stop.
    void ThrowIfStopped() const;
    // The release beep: the sheet may be taken.
    void xBeepStop();
    // The set-up both chart jobs begin with.
    void SetupChart();
    enum class PaperWait { Changed, TimedOut, Stopped };
    // Polls the chart status every 500 ms while it is `whileStatus`, posting
    // `status` on the first `posts` polls, for at most `polls` polls (0: until
    // stopped). `last` is the last status read.
    PaperWait WaitPaper(int32_t whileStatus, int32_t status, int posts, int polls, int32_t& last);
    // After a failed sheet: the same sheet again, once a poll interval passed.
    void RepeatSheet();
    void WriteIlluminationCondition();
    // Reads the sheet's patches from the reader into the result block and
    // delivers them.
    void ReadSheet(int patches);

    std::unique_ptr<IsisLibrary> sdk_;
};

// Process-wide: the serial number text of the last open or "Preopen Get SN"
// (kept for the host's information), and the record of the last open.
std::string isisSerialNumber();
void setIsisSerialNumber(const std::string& serial);
MEASURESTRUCT* lastIsisRecord();
void setLastIsisRecord(MEASURESTRUCT* record);

}  // namespace measure::isis
