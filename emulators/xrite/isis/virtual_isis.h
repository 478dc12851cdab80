// The virtual i1iSis chart reader: its options, the paper path with a
// virtual user, the sheets printed with a layout and their patches, and
// scripted failures. The SDK library's ordinals and the emu_isis_ control
// calls are thin wrappers over it.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "isis_emulator.h"

#if defined(_WIN32)
#define EMU_ISIS_INTERNAL __declspec(dllexport)
#else
#define EMU_ISIS_INTERNAL __attribute__((visibility("default")))
#endif

namespace xrite_emu {

class EMU_ISIS_INTERNAL VirtualIsis {
public:
    static VirtualIsis& instance();

    // --- the SDK's side ---
    int32_t measureChart(int32_t how);
    int32_t getSpectrum(float* spectrum36, int32_t row, int32_t column);
    const char* getOption(const char* key);
    int32_t setOption(const char* key, const char* value);
    int32_t chartStatus();
    int32_t isConnected();
    int32_t prepareChart(int32_t how);
    int32_t prescan();
    void releasePaper();
    const char* serialNumberUnopened();

    // --- the control side ---
    void reset();
    void setLayout(const EmuIsisLayout& layout);
    EmuIsisLayout layout();
    void setText(const std::string& key, const std::string& value);
    bool option(const std::string& key, std::string& value);
    void setConnected(bool connected);
    void setUser(int32_t feedAfterPolls, int32_t takeAfterPolls);
    void insertSheet();
    void failPrescans(int32_t count, int32_t code);
    void failMeasurements(int32_t count, int32_t code);
    void hangNextMeasurement();
    bool measuring();
    int32_t sheetsMeasured();
    int32_t count(const std::string& line);
    std::string journal();
    void clearJournal();

private:
    enum class Paper { Empty, Inside, Prescanned, Measured, Released };

    VirtualIsis();
    void resetLocked();
    void note(const std::string& line);
    void feedLocked();
    // The refused sheet goes back to the user, who feeds it again.
    void refuseLocked();
    bool layoutMatchesLocked() const;
    int32_t writtenNumber(const char* key) const;

    std::mutex mutex_;
    std::condition_variable resetSignal_;
    std::map<std::string, std::string> options_;
    EmuIsisLayout layout_{};
    bool connected_ = true;
    Paper paper_ = Paper::Empty;
    int32_t feedAfterPolls_ = 3;
    int32_t takeAfterPolls_ = 1;
    int32_t polls_ = 0;
    int32_t sheet_ = 0;      // the sheet inside (or last inside), 0-based in the stack
    int32_t nextSheet_ = 0;  // the sheet the user feeds next
    bool sheetMeasured_ = false;
    int32_t prescanFailures_ = 0;
    int32_t prescanCode_ = 0;
    int32_t measureFailures_ = 0;
    int32_t measureCode_ = 0;
    bool hangNext_ = false;
    bool measuring_ = false;
    bool resetWritten_ = false;
    int32_t sheetsMeasured_ = 0;
    std::vector<std::string> journal_;
};

// The reflectance of a patch of a sheet with `columns` columns and `rows`
// rows, measured under condition 0, 1 or 2: a printed colour plus the
// paper's optical brightener, which fluoresces under the UV of M0 and more
// under M1's, and not at all behind M2's UV cut filter.
std::array<float, 36> isisPatch(int32_t sheet, int32_t rows, int32_t columns, int32_t row, int32_t column,
                                int32_t condition);

}  // namespace xrite_emu
