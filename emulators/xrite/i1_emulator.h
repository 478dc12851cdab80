/*
 * Control of the virtual i1 instrument behind the i1 SDK stand-in
 * (libi1Pro64.so, libi1Pro364.so). Tests and the demo script the instrument
 * through these calls: whether it is attached, what it says about itself,
 * button presses, the chart under it, scans, and failures. The drivers never
 * call them; they see only the SDK.
 *
 * The instrument lives in libxrite_i1_emulator.so, which both SDK libraries
 * use, so its state survives the drivers loading and freeing the SDK. All
 * calls are thread-safe.
 *
 * At load the instrument is an attached i1Pro with an indicator LED and a
 * "virtual user" who presses the button a moment after each poll sequence
 * starts, so that a host can measure against it unattended. The environment
 * variables MEASURE_EMU_I1_STRIP (patches per strip of the default chart,
 * default 6) and MEASURE_EMU_I1_BUTTON ("auto" or "manual") change that.
 * MEASURE_EMU_I1_TABLE=n puts the instrument on an i1iO table with n sheets
 * of the default chart (see emu_i1_table_chart_defaults); its chart scans then take
 * a real row's time along each row, times MEASURE_TIME_SCALE.
 * emu_i1_reset() sets the baseline tests start from: attached, i1Pro,
 * button manual, nothing scripted, journal empty.
 */
#ifndef MEASURE_EMULATORS_XRITE_I1_EMULATOR_H
#define MEASURE_EMULATORS_XRITE_I1_EMULATOR_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define EMU_I1_API __declspec(dllexport)
#else
#define EMU_I1_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Instrument generations; emu_i1_set_model loads its identity texts. */
enum {
    EMU_I1_MODEL_I1PRO = 1,      /* HWRevision "D", LED, M0 only, no dual modes */
    EMU_I1_MODEL_I1PRO2 = 2,     /* HWRevision "E", LED, zebra ruler, M0/M1/M2, dual modes */
    EMU_I1_MODEL_I1PRO3 = 3,     /* HWRevision "F", device type "i1Pro3(SA)", M3 head */
    EMU_I1_MODEL_I1PRO3_PLUS = 4 /* the same, device type "i1Pro3(LA)" */
};
/* An i1Pro3's head: "DeviceHeadSensorKey" set (emu_i1_set_text) to a text
 * without "M3" takes the polarising filter away: "M3" leaves the offered
 * illuminations and result indexes, the M3 modes are still accepted but
 * measure unpolarised. With the filter an M3-mode reading read with result
 * index "M3" is polarised: the surface gloss is gone, so every patch reads
 * darker, dark patches the most. MEASURE_EMU_I1_MODEL (i1pro, i1pro2,
 * i1pro3, i1pro3plus) picks the model at load. */

/* Patch indexes besides the chart's own (0 ... EMU_I1_CHART_PATCHES-1). */
enum {
    EMU_I1_PATCH_DARK_REFERENCE = -1,  /* reference patch before a strip */
    EMU_I1_PATCH_LIGHT_REFERENCE = -2, /* reference patch after a strip */
    EMU_I1_PATCH_SUBSTRATE = -3,       /* the paper around the strips */
    EMU_I1_PATCH_EMISSION_SOURCE = -4  /* what an emission spot sees */
};
#define EMU_I1_CHART_PATCHES 4096

/* Which library holds the instrument open. */
enum { EMU_I1_HOLDER_NONE = 0, EMU_I1_HOLDER_I1PRO = 1, EMU_I1_HOLDER_I1PRO3 = 2 };

/* One strip drawn under the instrument. Fill with emu_i1_scan_defaults. */
typedef struct EmuI1Scan {
    int32_t firstPatch;     /* chart index of the strip's first patch */
    int32_t patchCount;     /* patches on the strip, references not counted */
    int32_t withReferences; /* a dark reference before and a light one after */
    int32_t reversed;       /* drawn from the strip's end to its start */
    /* Raw samples, seen when the SDK's recognition is disabled: */
    int32_t samplesPerPatch;   /* samples across one patch (default 20) */
    int32_t leadingSubstrate;  /* paper samples before the strip (default 30) */
    int32_t trailingSubstrate; /* paper samples after it (default 30; 0 none) */
    int32_t transitionSamples; /* blended samples at each edge (default 2) */
    int32_t widePatch;         /* strip position drawn three times as wide, -1 none */
    float noise;               /* relative sample noise (default 0.002) */
    float trailingPaperShift;  /* added to the paper's reflectance after the strip */
} EmuI1Scan;

/* Back to the test baseline (see above). */
EMU_I1_API void emu_i1_reset(void);

/* Identity. */
EMU_I1_API void emu_i1_set_model(int32_t model);
/* Sets an identity text the SDK reports: a device option ("HWRevision",
 * "HasIndicatorLed", "AvailableMeasurementModes", "SerialNumber", ...) or the
 * global "SDKVersion". Lists are separated by ";". */
EMU_I1_API void emu_i1_set_text(const char* key, const char* value);

/* Presence. Plugging or unplugging calls the registered event handlers. */
EMU_I1_API void emu_i1_set_attached(int32_t attached);
/* 1: the instrument sits on an i1iO table (connection status 15 when open). */
EMU_I1_API void emu_i1_set_table(int32_t onTable);
/* The status a closed instrument reports: 1 (default) or 5. */
EMU_I1_API void emu_i1_set_closed_status(uint32_t status);
/* Opens the instrument through the given library as another program would. */
EMU_I1_API void emu_i1_set_holder(int32_t holder);
EMU_I1_API int32_t emu_i1_holder(void);
/* 1 while the SDK library (EMU_I1_HOLDER_I1PRO or EMU_I1_HOLDER_I1PRO3) is
 * loaded in the process. */
EMU_I1_API int32_t emu_i1_library_loaded(int32_t library);

/* Button. Each press is reported once by I1_GetButtonStatusD. */
EMU_I1_API void emu_i1_press_button(void);
/* The virtual user presses after this many unanswered polls (0: never). */
EMU_I1_API void emu_i1_set_auto_press(int32_t polls);
/* Button polls since the last reset (lets a test wait for the instrument to wait). */
EMU_I1_API int32_t emu_i1_button_polls(void);

/* White tile and calibration. */
EMU_I1_API void emu_i1_set_on_white_tile(int32_t onTile);
/* The next `count` calibrations fail (code 57 unless set below). */
EMU_I1_API void emu_i1_fail_calibrations(int32_t count);
/* The code failing calibrations return. */
EMU_I1_API void emu_i1_set_calibration_failure(uint32_t code);
/* Calibrations of this measurement mode block until released with null
 * (bounded to 10 s), so a test can act while one runs. */
EMU_I1_API void emu_i1_hold_calibration(const char* measurementMode);
/* 1 while a calibration waits at the hold. */
EMU_I1_API int32_t emu_i1_calibration_waiting(void);
EMU_I1_API int32_t emu_i1_is_calibrated(const char* measurementMode);

/* Failures. The next `count` triggers fail with `code`. */
EMU_I1_API void emu_i1_fail_triggers(uint32_t code, int32_t count);

/* The chart. Patch spectra are reflectance factors of 36 bands (380..730 nm). */
EMU_I1_API void emu_i1_set_patch_spectrum(int32_t patch, const float* spectrum36);
EMU_I1_API void emu_i1_patch_spectrum(int32_t patch, float* spectrum36);
/* The patch a spot measurement sees. */
EMU_I1_API void emu_i1_set_spot_patch(int32_t patch);

/* Scans. Scripted strips are used in order, one per scan trigger; without a
 * script, each scan reads the next strip of the default chart. */
EMU_I1_API void emu_i1_scan_defaults(EmuI1Scan* scan);
EMU_I1_API void emu_i1_queue_scan(const EmuI1Scan* scan);
EMU_I1_API int32_t emu_i1_queued_scans(void);

/* The stand-in's own colorimetry, as its SDK reports values: colourSpace is a
 * "ColorSpaceDescription.Type" value, densityStandard a
 * "Colorimetric.DensityStandard" value. */
EMU_I1_API void emu_i1_colour_of(const float* spectrum36, const char* colourSpace, float* values3);
EMU_I1_API void emu_i1_densities_of(const float* spectrum36, const char* densityStandard, float* densities4);

/* The i1iO table, under both libraries: the i1Pro library's options carry
 * the prefix "I1T_", the i1Pro3 library's "I1PRO3T_" (each refuses the
 * other's); the descriptions below use "I1T_". With the instrument on the table (emu_i1_set_table) and
 * the table extensions registered before the open, the head moves between
 * the travel limits (0..320 mm across, 0..230 mm down; home is (0, 0)), the
 * visor shows the point 28 mm further down than the aperture, and spots,
 * I1_Scan and I1_ScanChart read the patch or the paper under the aperture.
 * The options "I1T_HoldPosition", "I1T_EnableElectrostaticFoil",
 * "I1T_IsVisorCoordinate" ("0" or "1"), "I1T_PatchLength" (6..100 mm),
 * "I1T_ScanSpeed" (above 0, at most "I1T_SuggestedMaxScanSpeed") and
 * "I1T_ScanChartGapSize" (0..10 mm) are checked and journalled;
 * "I1T_SerialNumber" (default "22417") and "I1T_SuggestedMaxScanSpeed"
 * (default "60.0") are read-only and set with emu_i1_set_text.
 *
 * The virtual user: whenever a button press is due while the head is free
 * ("I1T_HoldPosition" "0"), the user first moves the visor to the next
 * queued position; with nothing queued, to the next corner the chart scan
 * asks for: the first patch of the first row, the first of the last row and
 * the last of the last row of the sheet on the table (the first and last of
 * a one-row sheet). Asked again, the user shows the same corners again;
 * once the sheet was scanned (or the head sent home after its corners), the
 * user lays the next sheet on the table and shows its corners.
 *
 * I1_ScanChart takes its three points as the first patch of the first row,
 * the first patch of the last row and the last patch of the last row, reads
 * the rows in that order and calls back after each row with that row's
 * samples. A callback answering 2110 ends the chart with 2110; one answering
 * 2111 (the row was short) is noted in the journal and the chart goes on
 * with the next row. */
typedef struct EmuI1TableChart {
    float originX, originY; /* centre of the first patch of the first row, mm */
    float pitchX, pitchY;   /* centre to centre, mm */
    float gap;              /* paper between neighbouring patches, mm */
    float rotationDegrees;  /* the sheet turned about its first patch */
    int32_t rows, columns;
    int32_t sheets;        /* laid on the table one after another */
    int32_t lastSheetRows; /* rows of the last sheet, 0: as the others */
} EmuI1TableChart;

/* A 4 x 6 chart of 10 mm patches with 1 mm gaps at (40, 60), one sheet. */
EMU_I1_API void emu_i1_table_chart_defaults(EmuI1TableChart* chart);
/* Lays the chart's first sheet on the table and forgets the corners taken. */
EMU_I1_API void emu_i1_table_set_chart(const EmuI1TableChart* chart);
/* The sheet on the table (0-based). */
EMU_I1_API int32_t emu_i1_table_sheet(void);
/* Lays sheet `sheet` on the table; the virtual user shows its corners next. */
EMU_I1_API void emu_i1_table_lay_sheet(int32_t sheet);
/* Where the aperture is, in table millimetres. */
EMU_I1_API void emu_i1_table_position(float* x, float* y);
/* Queues a point the virtual user moves the visor to before a press. */
EMU_I1_API void emu_i1_table_queue_visor(float x, float y);
/* Queues the centre of a patch (row and column of the sheet on the table). */
EMU_I1_API void emu_i1_table_queue_patch(int32_t row, int32_t column);
/* I1_RegisterTableExtensions fails with this code (0: succeeds). */
EMU_I1_API void emu_i1_table_fail_extensions(uint32_t code);
/* Row `row` (0-based) of every chart scan yields only `samples` samples
 * (-1: no short row). */
EMU_I1_API void emu_i1_table_short_row(int32_t row, int32_t samples);
/* I1_ScanChart fails with `code` before reading row `row` (-1: never). */
EMU_I1_API void emu_i1_table_fail_chart_at_row(int32_t row, uint32_t code);
/* 1: a chart scan waits after each row's callback (but the last) for a
 * permit before it reads the next row (bounded to 10 s), so that a test host
 * can take each row's delivery before the next one overwrites it; a real
 * table takes seconds per row. */
EMU_I1_API void emu_i1_table_gate_rows(int32_t on);
/* Grants one permit to read the next row. */
EMU_I1_API void emu_i1_table_next_row(void);
/* Rows the chart scans have read since the last reset. */
EMU_I1_API int32_t emu_i1_table_rows_read(void);

/* The journal of SDK calls: one line per call ("I1_OpenDevice",
 * "I1_SetOption MeasurementMode=ReflectanceScan", "I1PRO3_CloseDevice"). */
EMU_I1_API int32_t emu_i1_count(const char* linePrefix);
/* Copies the journal (lines separated by "\n") and returns its full length. */
EMU_I1_API size_t emu_i1_journal(char* buffer, size_t size);
EMU_I1_API void emu_i1_clear_journal(void);
/* The value the driver last set for a device option, "" when never set. */
EMU_I1_API void emu_i1_option(const char* key, char* buffer, size_t size);

#ifdef __cplusplus
}
#endif

#endif /* MEASURE_EMULATORS_XRITE_I1_EMULATOR_H */
