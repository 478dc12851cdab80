// The emu_i1_ control calls: thin C wrappers over the virtual instrument.
#include <algorithm>
#include <cstring>
#include <string>

#include "i1_emulator.h"
#include "virtual_i1.h"

using xrite_emu::Spectrum;
using xrite_emu::VirtualI1;

namespace {

VirtualI1& emu() {
    return VirtualI1::instance();
}

std::string text(const char* s) {
    return s != nullptr ? s : "";
}

Spectrum spectrumFrom(const float* values) {
    Spectrum s{};
    std::copy(values, values + xrite_emu::kBands, s.begin());
    return s;
}

void copyOut(const std::string& value, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return;
    const size_t n = std::min(value.size(), size - 1);
    std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
}

}  // namespace

extern "C" {

EMU_I1_API void emu_i1_reset(void) {
    emu().reset(false);
}
EMU_I1_API void emu_i1_set_model(int32_t model) {
    emu().setModel(model);
}
EMU_I1_API void emu_i1_set_text(const char* key, const char* value) {
    emu().setText(text(key), text(value));
}
EMU_I1_API void emu_i1_set_attached(int32_t attached) {
    emu().setAttached(attached != 0);
}
EMU_I1_API void emu_i1_set_table(int32_t onTable) {
    emu().setTable(onTable != 0);
}
EMU_I1_API void emu_i1_set_closed_status(uint32_t status) {
    emu().setClosedStatus(status);
}
EMU_I1_API void emu_i1_set_holder(int32_t holder) {
    emu().setHolder(holder);
}
EMU_I1_API int32_t emu_i1_holder(void) {
    return emu().holder();
}
EMU_I1_API int32_t emu_i1_library_loaded(int32_t library) {
    return emu().isLoaded(library == EMU_I1_HOLDER_I1PRO3 ? xrite_emu::Library::Pro3
                                                          : xrite_emu::Library::Pro)
               ? 1
               : 0;
}
EMU_I1_API void emu_i1_press_button(void) {
    emu().pressButton();
}
EMU_I1_API void emu_i1_set_auto_press(int32_t polls) {
    emu().setAutoPress(polls);
}
EMU_I1_API int32_t emu_i1_button_polls(void) {
    return emu().buttonPolls();
}
EMU_I1_API void emu_i1_set_on_white_tile(int32_t onTile) {
    emu().setOnWhiteTile(onTile != 0);
}
EMU_I1_API void emu_i1_fail_calibrations(int32_t count) {
    emu().failCalibrations(count);
}
EMU_I1_API void emu_i1_set_calibration_failure(uint32_t code) {
    emu().setCalibrationFailure(code);
}
EMU_I1_API void emu_i1_hold_calibration(const char* measurementMode) {
    emu().holdCalibration(measurementMode);
}
EMU_I1_API int32_t emu_i1_calibration_waiting(void) {
    return emu().calibrationWaiting() ? 1 : 0;
}
EMU_I1_API int32_t emu_i1_is_calibrated(const char* measurementMode) {
    return emu().isCalibrated(text(measurementMode)) ? 1 : 0;
}
EMU_I1_API void emu_i1_fail_triggers(uint32_t code, int32_t count) {
    emu().failTriggers(code, count);
}

EMU_I1_API void emu_i1_set_patch_spectrum(int32_t patch, const float* spectrum36) {
    if (spectrum36 != nullptr) emu().setPatchSpectrum(patch, spectrumFrom(spectrum36));
}

EMU_I1_API void emu_i1_patch_spectrum(int32_t patch, float* spectrum36) {
    if (spectrum36 == nullptr) return;
    const Spectrum s = emu().patchSpectrum(patch);
    std::copy(s.begin(), s.end(), spectrum36);
}

EMU_I1_API void emu_i1_set_spot_patch(int32_t patch) {
    emu().setSpotPatch(patch);
}

EMU_I1_API void emu_i1_scan_defaults(EmuI1Scan* scan) {
    if (scan == nullptr) return;
    *scan = EmuI1Scan{};
    scan->patchCount = 6;
    scan->samplesPerPatch = 20;
    scan->leadingSubstrate = 30;
    scan->trailingSubstrate = 30;
    scan->transitionSamples = 1;
    scan->widePatch = -1;
    scan->noise = 0.002f;
}

EMU_I1_API void emu_i1_queue_scan(const EmuI1Scan* scan) {
    if (scan != nullptr) emu().queueScan(*scan);
}

EMU_I1_API int32_t emu_i1_queued_scans(void) {
    return emu().queuedScans();
}

EMU_I1_API void emu_i1_colour_of(const float* spectrum36, const char* colourSpace, float* values3) {
    if (spectrum36 == nullptr || values3 == nullptr) return;
    xrite_emu::colourValues(xrite_emu::reflectiveXyz(spectrumFrom(spectrum36)), xrite_emu::d50White(),
                            text(colourSpace), values3);
}

EMU_I1_API void emu_i1_densities_of(const float* spectrum36, const char* densityStandard, float* densities4) {
    if (spectrum36 == nullptr || densities4 == nullptr) return;
    xrite_emu::densities(spectrumFrom(spectrum36), text(densityStandard), densities4);
}

EMU_I1_API int32_t emu_i1_count(const char* linePrefix) {
    return emu().count(text(linePrefix));
}

EMU_I1_API size_t emu_i1_journal(char* buffer, size_t size) {
    const std::string journal = emu().journal();
    copyOut(journal, buffer, size);
    return journal.size();
}

EMU_I1_API void emu_i1_clear_journal(void) {
    emu().clearJournal();
}

EMU_I1_API void emu_i1_option(const char* key, char* buffer, size_t size) {
    copyOut(emu().option(text(key)), buffer, size);
}

EMU_I1_API void emu_i1_table_chart_defaults(EmuI1TableChart* chart) {
    if (chart != nullptr) *chart = xrite_emu::defaultTableChart();
}
EMU_I1_API void emu_i1_table_set_chart(const EmuI1TableChart* chart) {
    if (chart != nullptr) emu().setTableChart(*chart);
}
EMU_I1_API int32_t emu_i1_table_sheet(void) {
    return emu().tableSheet();
}
EMU_I1_API void emu_i1_table_lay_sheet(int32_t sheet) {
    emu().laySheet(sheet);
}
EMU_I1_API void emu_i1_table_position(float* x, float* y) {
    const xrite_emu::TablePoint p = emu().tablePosition();
    if (x != nullptr) *x = p.x;
    if (y != nullptr) *y = p.y;
}
EMU_I1_API void emu_i1_table_queue_visor(float x, float y) {
    emu().queueVisor({x, y});
}
EMU_I1_API void emu_i1_table_queue_patch(int32_t row, int32_t column) {
    emu().queueTablePatch(row, column);
}
EMU_I1_API void emu_i1_table_fail_extensions(uint32_t code) {
    emu().failTableExtensions(code);
}
EMU_I1_API void emu_i1_table_short_row(int32_t row, int32_t samples) {
    emu().setShortRow(row, samples);
}
EMU_I1_API void emu_i1_table_fail_chart_at_row(int32_t row, uint32_t code) {
    emu().failChartAtRow(row, code);
}
EMU_I1_API void emu_i1_table_gate_rows(int32_t on) {
    emu().gateRows(on != 0);
}
EMU_I1_API void emu_i1_table_next_row(void) {
    emu().nextRow();
}
EMU_I1_API int32_t emu_i1_table_rows_read(void) {
    return emu().tableRowsRead();
}

}  // extern "C"
