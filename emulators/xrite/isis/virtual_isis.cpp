#include "virtual_isis.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace xrite_emu {
namespace {

// SDK codes the reader answers.
constexpr int32_t kOk = 0;
constexpr int32_t kNotReady = 1;
constexpr int32_t kNotConnected = 2;
constexpr int32_t kNotTriggered = 3;
constexpr int32_t kNoChart = 7;
constexpr int32_t kOutOfBounds = 8;
constexpr int32_t kInvalidArgument = 10;
constexpr int32_t kBarNotFound = 12;

constexpr size_t kJournalLimit = 4000;
// A measurement left running by a script ends by itself after this long.
constexpr auto kLongestHang = std::chrono::seconds(30);

// The options a prescan compares with the sheet, and the layout field each
// stands for.
struct LayoutOption {
    const char* key;
    int32_t EmuIsisLayout::*field;
};
constexpr LayoutOption kLayoutOptions[] = {
    {"ChartSizeX", &EmuIsisLayout::chartSizeX},
    {"NumberOfColumns", &EmuIsisLayout::columns},
    {"LargeBarSizeX", &EmuIsisLayout::barSizeX},
    {"LargeBarSizeY", &EmuIsisLayout::barSizeY},
    {"DistToLargeBar", &EmuIsisLayout::distanceToBar},
    {"DistToFirstLineY", &EmuIsisLayout::distanceToFirstLine},
    {"MarkerDistance", &EmuIsisLayout::markerDistance},
    {"PatchSizeX", &EmuIsisLayout::patchSizeX},
    {"PatchSizeY", &EmuIsisLayout::patchSizeY},
    {"DistToFirstField", &EmuIsisLayout::distanceToFirstField},
};

int32_t conditionOf(const std::string& text) {
    if (text == "M1") return 1;
    if (text == "M2") return 2;
    return 0;
}

}  // namespace

std::array<float, 36> isisPatch(int32_t sheet, int32_t rows, int32_t columns, int32_t row, int32_t column,
                                int32_t condition) {
    const int64_t index = (static_cast<int64_t>(sheet) * rows + row) * columns + column;
    // Neighbouring patches differ in lightness and hue, so a patch read from
    // the wrong place never passes for the right one.
    const double lightness = 0.12 + 0.75 * static_cast<double>((index * 7919) % 97) / 96.0;
    const double peak = 400.0 + static_cast<double>((index * 53) % 300);
    const double brightener = condition == 2 ? 0.0 : condition == 1 ? 0.12 : 0.07;
    std::array<float, 36> out{};
    for (int band = 0; band < 36; ++band) {
        const double nm = 380.0 + 10.0 * band;
        const double hue = std::exp(-std::pow((nm - peak) / 70.0, 2));
        const double fluorescence =
            brightener * (1.0 - lightness) * std::exp(-std::pow((nm - 440.0) / 20.0, 2));
        out[band] = static_cast<float>(0.04 + lightness * (0.25 + 0.7 * hue) + fluorescence);
    }
    return out;
}

VirtualIsis& VirtualIsis::instance() {
    static VirtualIsis* reader = new VirtualIsis;
    return *reader;
}

VirtualIsis::VirtualIsis() {
    resetLocked();
}

void VirtualIsis::reset() {
    std::lock_guard lock(mutex_);
    resetLocked();
    resetSignal_.notify_all();
}

void VirtualIsis::resetLocked() {
    options_ = {{"Version", "4.1.0"},
                {"SerialNumber", "1004217"},
                {"IlluminationModesKey", "M0;M1;M2"},
                {"24034", "240"},
                {"LastError", ""}};
    emu_isis_layout_defaults(&layout_);
    connected_ = true;
    paper_ = Paper::Empty;
    feedAfterPolls_ = 3;
    takeAfterPolls_ = 1;
    polls_ = 0;
    sheet_ = 0;
    nextSheet_ = 0;
    sheetMeasured_ = false;
    prescanFailures_ = 0;
    measureFailures_ = 0;
    hangNext_ = false;
    // A measurement still hanging ends as if reset.
    resetWritten_ = true;
    sheetsMeasured_ = 0;
    journal_.clear();
}

void VirtualIsis::note(const std::string& line) {
    journal_.push_back(line);
    if (journal_.size() > kJournalLimit)
        journal_.erase(journal_.begin(), journal_.begin() + kJournalLimit / 2);
}

void VirtualIsis::feedLocked() {
    sheet_ = nextSheet_;
    sheetMeasured_ = false;
    paper_ = Paper::Inside;
    polls_ = 0;
    note("sheet " + std::to_string(sheet_) + " drawn in");
}

void VirtualIsis::refuseLocked() {
    paper_ = Paper::Released;
    polls_ = 0;
}

int32_t VirtualIsis::writtenNumber(const char* key) const {
    const auto it = options_.find(key);
    if (it == options_.end() || it->second.empty()) return -1;
    return static_cast<int32_t>(std::lround(std::strtod(it->second.c_str(), nullptr)));
}

bool VirtualIsis::layoutMatchesLocked() const {
    for (const auto& option : kLayoutOptions)
        if (writtenNumber(option.key) != layout_.*option.field) return false;
    // A partial last sheet is read over its first rows only.
    const int32_t rows = writtenNumber("NumberOfRows");
    return rows >= 1 && rows <= layout_.rows;
}

int32_t VirtualIsis::measureChart(int32_t how) {
    std::unique_lock lock(mutex_);
    note("MeasureChart " + std::to_string(how));
    if (!connected_) return kNotConnected;
    if (paper_ != Paper::Prescanned) return kNotTriggered;
    measuring_ = true;
    if (hangNext_) {
        hangNext_ = false;
        resetWritten_ = false;
        resetSignal_.wait_for(lock, kLongestHang, [this] { return resetWritten_; });
        measuring_ = false;
        note("MeasureChart => 1");
        refuseLocked();
        return kNotReady;
    }
    measuring_ = false;
    if (measureFailures_ > 0) {
        --measureFailures_;
        note("MeasureChart => " + std::to_string(measureCode_));
        refuseLocked();
        return measureCode_;
    }
    paper_ = Paper::Measured;
    sheetMeasured_ = true;
    ++sheetsMeasured_;
    return kOk;
}

int32_t VirtualIsis::getSpectrum(float* spectrum36, int32_t row, int32_t column) {
    std::lock_guard lock(mutex_);
    if (spectrum36 == nullptr) return kInvalidArgument;
    if (!sheetMeasured_) return kNotReady;
    const int32_t rows = writtenNumber("NumberOfRows");
    const int32_t columns = writtenNumber("NumberOfColumns");
    if (row < 0 || column < 0 || row >= rows || column >= columns) return kOutOfBounds;
    const auto it = options_.find("IlluminationCondition");
    const int32_t condition = it == options_.end() ? 0 : conditionOf(it->second);
    const auto patch = isisPatch(sheet_, layout_.rows, layout_.columns, row, column, condition);
    std::copy(patch.begin(), patch.end(), spectrum36);
    return kOk;
}

const char* VirtualIsis::getOption(const char* key) {
    // The SDK's answer stays valid until the caller's next call.
    thread_local std::string answer;
    std::lock_guard lock(mutex_);
    if (key == nullptr) return nullptr;
    const auto it = options_.find(key);
    if (it == options_.end()) return nullptr;
    answer = it->second;
    return answer.c_str();
}

int32_t VirtualIsis::setOption(const char* key, const char* value) {
    std::lock_guard lock(mutex_);
    if (key == nullptr || value == nullptr) return kInvalidArgument;
    note(std::string("SetOption ") + key + "=" + value);
    options_[key] = value;
    if (std::strcmp(key, "Reset") == 0 && std::strcmp(value, "All") == 0) {
        resetWritten_ = true;
        resetSignal_.notify_all();
    }
    return kOk;
}

int32_t VirtualIsis::chartStatus() {
    std::lock_guard lock(mutex_);
    if (!connected_) return kNotConnected;
    ++polls_;
    if (paper_ == Paper::Released && takeAfterPolls_ >= 0 && polls_ > takeAfterPolls_) {
        note("sheet " + std::to_string(sheet_) + " taken away");
        if (sheetMeasured_) nextSheet_ = sheet_ + 1;
        paper_ = Paper::Empty;
        polls_ = 0;
    }
    if (paper_ == Paper::Empty) {
        if (feedAfterPolls_ < 0 || polls_ <= feedAfterPolls_) return kNoChart;
        feedLocked();
    }
    return kOk;
}

int32_t VirtualIsis::isConnected() {
    std::lock_guard lock(mutex_);
    note("IsConnected");
    return connected_ ? kOk : kNotConnected;
}

int32_t VirtualIsis::prepareChart(int32_t how) {
    std::lock_guard lock(mutex_);
    note("PrepareChart " + std::to_string(how));
    return connected_ ? kOk : kNotConnected;
}

int32_t VirtualIsis::prescan() {
    std::lock_guard lock(mutex_);
    note("Prescan");
    if (!connected_) return kNotConnected;
    if (paper_ != Paper::Inside && paper_ != Paper::Prescanned) return kNoChart;
    int32_t code = kOk;
    if (prescanFailures_ > 0) {
        --prescanFailures_;
        code = prescanCode_;
    } else if (!layoutMatchesLocked()) {
        code = kBarNotFound;
    }
    if (code != kOk) {
        journal_.back() += " => " + std::to_string(code);
        refuseLocked();
        return code;
    }
    paper_ = Paper::Prescanned;
    return kOk;
}

void VirtualIsis::releasePaper() {
    std::lock_guard lock(mutex_);
    note("ReleasePaper");
    if (paper_ == Paper::Empty || paper_ == Paper::Released) return;
    paper_ = Paper::Released;
    polls_ = 0;
}

const char* VirtualIsis::serialNumberUnopened() {
    thread_local std::string answer;
    std::lock_guard lock(mutex_);
    note("SerialNumberUnopened");
    answer = connected_ ? options_["SerialNumber"] : "";
    return answer.c_str();
}

void VirtualIsis::setLayout(const EmuIsisLayout& layout) {
    std::lock_guard lock(mutex_);
    layout_ = layout;
}

EmuIsisLayout VirtualIsis::layout() {
    std::lock_guard lock(mutex_);
    return layout_;
}

void VirtualIsis::setText(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    options_[key] = value;
}

bool VirtualIsis::option(const std::string& key, std::string& value) {
    std::lock_guard lock(mutex_);
    const auto it = options_.find(key);
    if (it == options_.end()) return false;
    value = it->second;
    return true;
}

void VirtualIsis::setConnected(bool connected) {
    std::lock_guard lock(mutex_);
    connected_ = connected;
}

void VirtualIsis::setUser(int32_t feedAfterPolls, int32_t takeAfterPolls) {
    std::lock_guard lock(mutex_);
    feedAfterPolls_ = feedAfterPolls;
    takeAfterPolls_ = takeAfterPolls;
}

void VirtualIsis::insertSheet() {
    std::lock_guard lock(mutex_);
    if (paper_ == Paper::Released && sheetMeasured_) nextSheet_ = sheet_ + 1;
    feedLocked();
}

void VirtualIsis::failPrescans(int32_t count, int32_t code) {
    std::lock_guard lock(mutex_);
    prescanFailures_ = count;
    prescanCode_ = code;
}

void VirtualIsis::failMeasurements(int32_t count, int32_t code) {
    std::lock_guard lock(mutex_);
    measureFailures_ = count;
    measureCode_ = code;
}

void VirtualIsis::hangNextMeasurement() {
    std::lock_guard lock(mutex_);
    hangNext_ = true;
}

bool VirtualIsis::measuring() {
    std::lock_guard lock(mutex_);
    return measuring_;
}

int32_t VirtualIsis::sheetsMeasured() {
    std::lock_guard lock(mutex_);
    return sheetsMeasured_;
}

int32_t VirtualIsis::count(const std::string& line) {
    std::lock_guard lock(mutex_);
    return static_cast<int32_t>(std::count(journal_.begin(), journal_.end(), line));
}

std::string VirtualIsis::journal() {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const auto& line : journal_) text += line + "\n";
    return text;
}

void VirtualIsis::clearJournal() {
    std::lock_guard lock(mutex_);
    journal_.clear();
}

}  // namespace xrite_emu

// ---------------------------------------------------------------------------
// The emu_isis_ control calls.

using xrite_emu::VirtualIsis;

namespace {

// A text into the caller's buffer, cut to fit and always ended.
void copyOut(const std::string& text, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return;
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace

extern "C" {

EMU_ISIS_API void emu_isis_reset(void) {
    VirtualIsis::instance().reset();
}

EMU_ISIS_API void emu_isis_layout_defaults(EmuIsisLayout* layout) {
    if (layout == nullptr) return;
    // The sheet of default_layout.txt.
    *layout = EmuIsisLayout{210, 6, 8, 6, 180, 8, 12, 15, 20, 20, 3};
}

EMU_ISIS_API void emu_isis_set_layout(const EmuIsisLayout* layout) {
    if (layout != nullptr) VirtualIsis::instance().setLayout(*layout);
}

EMU_ISIS_API void emu_isis_set_text(const char* key, const char* value) {
    if (key != nullptr) VirtualIsis::instance().setText(key, value != nullptr ? value : "");
}

EMU_ISIS_API int32_t emu_isis_option(const char* key, char* buffer, size_t size) {
    std::string value;
    if (key == nullptr || !VirtualIsis::instance().option(key, value)) return 0;
    copyOut(value, buffer, size);
    return 1;
}

EMU_ISIS_API void emu_isis_set_connected(int32_t connected) {
    VirtualIsis::instance().setConnected(connected != 0);
}

EMU_ISIS_API void emu_isis_set_user(int32_t feedAfterPolls, int32_t takeAfterPolls) {
    VirtualIsis::instance().setUser(feedAfterPolls, takeAfterPolls);
}

EMU_ISIS_API void emu_isis_insert_sheet(void) {
    VirtualIsis::instance().insertSheet();
}

EMU_ISIS_API void emu_isis_fail_prescans(int32_t count, int32_t code) {
    VirtualIsis::instance().failPrescans(count, code);
}

EMU_ISIS_API void emu_isis_fail_measurements(int32_t count, int32_t code) {
    VirtualIsis::instance().failMeasurements(count, code);
}

EMU_ISIS_API void emu_isis_hang_next_measurement(void) {
    VirtualIsis::instance().hangNextMeasurement();
}

EMU_ISIS_API int32_t emu_isis_measuring(void) {
    return VirtualIsis::instance().measuring() ? 1 : 0;
}

EMU_ISIS_API void emu_isis_patch_spectrum(int32_t sheet, int32_t row, int32_t column, int32_t condition,
                                          float spectrum36[36]) {
    if (spectrum36 == nullptr) return;
    const EmuIsisLayout layout = VirtualIsis::instance().layout();
    const auto patch = xrite_emu::isisPatch(sheet, layout.rows, layout.columns, row, column, condition);
    std::copy(patch.begin(), patch.end(), spectrum36);
}

EMU_ISIS_API int32_t emu_isis_sheets_measured(void) {
    return VirtualIsis::instance().sheetsMeasured();
}

EMU_ISIS_API int32_t emu_isis_count(const char* line) {
    return line != nullptr ? VirtualIsis::instance().count(line) : 0;
}

EMU_ISIS_API size_t emu_isis_journal(char* buffer, size_t size) {
    const std::string text = VirtualIsis::instance().journal();
    copyOut(text, buffer, size);
    return text.size();
}

EMU_ISIS_API void emu_isis_clear_journal(void) {
    VirtualIsis::instance().clearJournal();
}

}  // extern "C"
