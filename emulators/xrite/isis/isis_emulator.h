/*
 * Control of the virtual i1iSis chart reader behind the iSis SDK stand-in
 * (libEyeOne_iSis64.so, EyeOne_iSis64.dll). Tests and the demo script the
 * reader through these calls: whether it is connected, what it says about
 * itself, the layout its sheets are printed with, the virtual user at the
 * paper path, and failures. The driver never calls them; it sees only the
 * SDK's ordinals.
 *
 * The reader lives in the xrite_isis_emulator library, which the SDK library
 * uses, so its state survives the driver loading and freeing the SDK. All
 * calls are thread-safe.
 *
 * The paper path counts chart status polls rather than time, so a script
 * behaves the same at every time scale: with no sheet inside, the virtual
 * user feeds the next sheet of the stack once the driver has polled
 * `feedAfterPolls` times; a released sheet stays in the output tray (chart
 * status 0) until it has been polled `takeAfterPolls` times. A sheet the
 * reader refused (a failed prescan or measurement) comes back unmeasured and
 * is fed again; a measured one is followed by the next sheet of the stack.
 *
 * At load and after emu_isis_reset() the reader is connected, identifies as
 * version "4.1.0", serial "1004217", modes "M0;M1;M2", width "240"
 * (option "24034"; above 300 it is the XL model), its sheets carry the
 * default layout (emu_isis_layout_defaults, 6 rows of 8 patches, the layout
 * file default_layout.txt beside the SDK), the user feeds after 3 polls and
 * takes a sheet away after 1, no failure is scripted and the journal is empty.
 */
#ifndef MEASURE_EMULATORS_XRITE_ISIS_EMULATOR_H
#define MEASURE_EMULATORS_XRITE_ISIS_EMULATOR_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define EMU_ISIS_API __declspec(dllexport)
#else
#define EMU_ISIS_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The print layout of the sheets, in the reader's option units. */
typedef struct EmuIsisLayout {
    int32_t chartSizeX;
    int32_t rows;
    int32_t columns;
    int32_t barSizeX;
    int32_t barSizeY;
    int32_t distanceToBar;
    int32_t distanceToFirstLine;
    int32_t markerDistance;
    int32_t patchSizeX;
    int32_t patchSizeY;
    int32_t distanceToFirstField;
} EmuIsisLayout;

EMU_ISIS_API void emu_isis_reset(void);
EMU_ISIS_API void emu_isis_layout_defaults(EmuIsisLayout* layout);
EMU_ISIS_API void emu_isis_set_layout(const EmuIsisLayout* layout);

/* Identity and SDK texts: "Version", "SerialNumber", "IlluminationModesKey",
 * "24034", "LastError". */
EMU_ISIS_API void emu_isis_set_text(const char* key, const char* value);
/* Copies the current value of an option (an identity text or what the
 * driver wrote); returns 1 when it exists. */
EMU_ISIS_API int32_t emu_isis_option(const char* key, char* buffer, size_t size);
EMU_ISIS_API void emu_isis_set_connected(int32_t connected);

/* The virtual user: polls before feeding (a negative value: never feeds),
 * polls before taking a released sheet away (negative: never). */
EMU_ISIS_API void emu_isis_set_user(int32_t feedAfterPolls, int32_t takeAfterPolls);
/* A sheet is drawn in at once (the next of the stack). */
EMU_ISIS_API void emu_isis_insert_sheet(void);

/* Failures: the next `count` prescans, or chart measurements, answer `code`
 * (and hand the sheet back unmeasured). */
EMU_ISIS_API void emu_isis_fail_prescans(int32_t count, int32_t code);
EMU_ISIS_API void emu_isis_fail_measurements(int32_t count, int32_t code);
/* The next chart measurement runs until "Reset" = "All" is written (at most
 * 30 s), then fails with 1. */
EMU_ISIS_API void emu_isis_hang_next_measurement(void);
/* Whether a chart measurement is running now. */
EMU_ISIS_API int32_t emu_isis_measuring(void);

/* The reflectance of a patch of sheet `sheet` (0-based in the stack) as the
 * reader measures it under condition 0 (M0), 1 (M1) or 2 (M2). */
EMU_ISIS_API void emu_isis_patch_spectrum(int32_t sheet, int32_t row, int32_t column, int32_t condition,
                                          float spectrum36[36]);
/* Sheets measured since the reset. */
EMU_ISIS_API int32_t emu_isis_sheets_measured(void);

/* The journal of SDK calls, one line per call except chart status polls
 * ("SetOption Reset=All", "Prescan => 12", "ReleasePaper"). */
EMU_ISIS_API int32_t emu_isis_count(const char* line);
EMU_ISIS_API size_t emu_isis_journal(char* buffer, size_t size);
EMU_ISIS_API void emu_isis_clear_journal(void);

#ifdef __cplusplus
}
#endif

#endif
