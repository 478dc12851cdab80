/*
 * measure: one flat C interface to colour-measurement instruments.
 *
 * A host fills a measurement record (MEASURE2STRUCT, or the older
 * MEASURESTRUCT), opens an instrument by its registry ID, and starts
 * calibrations and measurements. Every start call returns at once; the work
 * runs on the driver's own threads and its progress and results come back as
 * window messages (Message, Message+1, Message+2, Message+4) or as calls on
 * one observer object.
 *
 * Layouts are fixed: little-endian, 64-bit pointers. Records only grow at the
 * end. Compiles as C11 and as C++20.
 */
#ifndef MEASURE_MEASURE_H
#define MEASURE_MEASURE_H

#include <stddef.h>
#include <stdint.h>

/* A window handle. On Windows this is the declaration <windows.h> makes, so a
 * host may include the two headers in either order; on POSIX a window is a
 * message queue created by MeasureCreateMessageWindow. */
typedef struct HWND__* HWND;

#ifdef _WIN32
#define MEASURE_CALL
#ifdef MEASURE_BUILDING_LIBRARY
#define MEASURE_EXPORT_ATTR __declspec(dllexport)
#else
#define MEASURE_EXPORT_ATTR __declspec(dllimport)
#endif
#else
#define MEASURE_CALL
#define MEASURE_EXPORT_ATTR __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define MEASURE_API extern "C" MEASURE_EXPORT_ATTR
#else
#define MEASURE_API extern MEASURE_EXPORT_ATTR
#endif

/* ------------------------------------------------------------------------ */
/* Measurement modes (the Mode field and the registry's mode lists).         */

enum {
    MEASURE_MODE_STATUS_E = 0,
    MEASURE_MODE_STATUS_T = 1,
    MEASURE_MODE_CIE_LAB = 2,
    MEASURE_MODE_CIE_XYZ = 3,
    MEASURE_MODE_SPECTRAL = 4,
    MEASURE_MODE_DIN_16536 = 5,
    MEASURE_MODE_DIN_16536_NARROW = 6,
    /* Added to a mode to ask for emission instead of reflection. */
    MEASURE_MODE_EMISSION = 16,
    MEASURE_MODE_EMISSION_XYZ = 19,
    MEASURE_MODE_EMISSION_SPECTRAL = 20,
    /* Ends a mode list; also "any mode" for GetNextInstrumentByMode. */
    MEASURE_MODE_NONE = (int)0xFFFFFFFFu
};

/* Manufacturer codes of the registry rows. */
enum {
    MEASURE_MFR_NONE = 0,
    MEASURE_MFR_XRITE = 2,
    MEASURE_MFR_TECHKON = 6,
    MEASURE_MFR_VANTU = 8,
    MEASURE_MFR_BARBIERI = 9,
    MEASURE_MFR_PRINTER_EMBEDDED = 10,
    MEASURE_MFR_EPSON_SD10 = 11,
    MEASURE_MFR_KONICA_MINOLTA = 13,
    MEASURE_MFR_RICOH = 15,
    MEASURE_MFR_NIX = 16
};

/* ------------------------------------------------------------------------ */
/* Notifications.                                                            */

/* Kinds carried in wParam of message Message+1 (value in lParam). */
enum {
    MEASURE_KIND_SCANSPEED = 1,
    MEASURE_KIND_PASSNO = 2,
    MEASURE_KIND_PASSEND = 3,
    MEASURE_KIND_STATUS = 4,
    MEASURE_KIND_PAGENO = 5
};

/* Offsets added to the record's Message for each notification. */
enum {
    MEASURE_MSG_OLD_RECORD_DENSITY = 0, /* wParam NumOfMeasurements, lParam slot address */
    MEASURE_MSG_STATUS = 1,             /* wParam kind, lParam value */
    MEASURE_MSG_THREAD_END = 2,         /* wParam end code */
    MEASURE_MSG_MEASURE_DATA = 4        /* wParam 0, lParam result pointer */
};

/* Status codes (kind 4). Drivers post further codes named with the driver. */
enum {
    MEASURE_STATUS_IDLE = 0,
    MEASURE_STATUS_STARTED = 1,
    MEASURE_STATUS_CALIBRATING = 2,
    MEASURE_STATUS_WAIT_USER = 3,
    MEASURE_STATUS_PASS_FAILED = 4,
    MEASURE_STATUS_CORNER_1 = 6,
    MEASURE_STATUS_CORNER_2 = 7,
    MEASURE_STATUS_CORNER_3 = 8,
    MEASURE_STATUS_KEY_PRESSED = 9,
    MEASURE_STATUS_PAPER_GOING_IN = 14,
    MEASURE_STATUS_CALIBRATION_FAILED = 15,
    MEASURE_STATUS_CALIBRATION_DONE = 16,
    MEASURE_STATUS_PARAMETER_FILE_REFUSED = 20,
    MEASURE_STATUS_CORNERS_DONE = 23,
    MEASURE_STATUS_PAPER_IN_PLACE = 24,
    MEASURE_STATUS_PAPER_INSERT_START = 25,
    MEASURE_STATUS_SCAN_RIGHT = 28,
    MEASURE_STATUS_SCAN_LEFT = 29,
    MEASURE_STATUS_DEVICE_ATTACHED = 31,
    MEASURE_STATUS_DEVICE_REMOVED = 32,
    MEASURE_STATUS_TABLE_REFUSED = 38, /* the i1iO table is too old for this driver */
    MEASURE_STATUS_MODE_UNSUITABLE = 39
};

/* Thread end codes (message Message+2). */
enum {
    MEASURE_END_DONE = 0,
    MEASURE_END_STOPPED = 1,
    MEASURE_END_FAILED = 3,
    MEASURE_END_CALIBRATION_FAILED = 4
};

/* ------------------------------------------------------------------------ */
/* Instrument option bits (record offset 2160). Open2Instrument sets
 * opInstrumentOpened before a real instrument's Open; the driver adds the
 * abilities it finds. Bits 18 to 20 are the M0/M1/M2 conditions the Epson
 * SD-10 and the Konica Minolta drivers report. */
enum {
    opInstrumentOpened = 0x00000001,
    opDualScanOption = 0x00000002,
    opDualSpotOption = 0x00000004,
    opZebraRullerSensor = 0x00000008,
    opi1IsRevisionA = 0x00000010,
    opLanConectivity = 0x00000020,
    opi1i02isConnected = 0x00000040, /* the i1Pro sits on an i1iO2 table */
    opiSisIsXLDevice = 0x00000080,   /* the i1iSis is the XL model (wider sheets) */
    opSingleMeasurementOption = 0x00000400,
    opUVCutOption = 0x00020000,
    opM0Mode = 0x00040000,
    opM1Mode = 0x00080000,
    opM2Mode = 0x00100000,
    opM3Mode = 0x00200000,
    opM3Emissive = 0x00400000,
    opLowResolution = 0x01000000
};

/* Measurement conditions (record offset 2192). */
enum {
    MEASURE_CONDITION_M0 = 0,
    MEASURE_CONDITION_M1 = 1,
    MEASURE_CONDITION_M2 = 2,
    MEASURE_CONDITION_M3 = 3 /* emissive or M3, by driver */
};

/* Sound selector (record offset 2128). */
enum { MEASURE_SOUND_OBSERVER = 0, MEASURE_SOUND_BUILT_IN = 1 };

/* ------------------------------------------------------------------------ */
/* The measurement record. The host owns it and passes the same pointer to
 * every call for one instrument; it must stay alive until CloseInstrument
 * has returned. The driver threads read it while a request runs, so the
 * host must not change it then. */

#define MEASURE_RECORD_SIZE 2080u
#define MEASURE2_RECORD_SIZE 2304u
#define MEASURE_DENSITY_SLOTS 256

typedef struct MEASURESTRUCT {
    uint32_t instrument;        /* registry ID; 999 while a simulation override is active */
    int32_t port;               /* -1 when closed; the connection the driver uses */
    uint32_t Mode;              /* MEASURE_MODE_*, plus 16 for emission */
    uint32_t NumOfMeasurements; /* old record: density results stored so far */
    union {
        /* Old record: four densities x 1000 per slot (Status/DIN channels). */
        uint16_t Density[MEASURE_DENSITY_SLOTS][4];
        /* MEASURE2STRUCT: bytes 16..39 carry the simulation parameters. */
        uint8_t SimulationArea[2048];
    };
    HWND hWnd;                  /* window for notifications, or null */
    uint32_t Message;           /* base message number */
    int32_t NumOfPatchesToRead; /* patches expected; sizes the result block */
} MEASURESTRUCT;

typedef struct MEASURE2STRUCT {
    uint32_t instrument;
    int32_t port;
    uint32_t Mode;
    uint32_t NumOfMeasurements;
    union {
        uint16_t Density[MEASURE_DENSITY_SLOTS][4];
        uint8_t SimulationArea[2048];
    };
    HWND hWnd;
    uint32_t Message;
    int32_t NumOfPatchesToRead;
    /* Extended record from here on. */
    uint32_t cb; /* must be 2304 */
    uint32_t Reserved2084;
    void* pDllData;            /* result block; null before Open2Instrument */
    int32_t NumPatchesPerLine; /* patches per strip pass; 0 = not given */
    int32_t bAlternating;      /* passes alternate in direction */
    int32_t CellX;             /* patch width, micrometres; 0 = not given */
    int32_t CellY;             /* patch height, micrometres */
    int32_t GapX;              /* gap between patches, micrometres */
    int32_t NumPatchesPerChart;
    char* pszParameterFile;           /* driver parameter file */
    uint32_t SoundSelector;           /* 2128: MEASURE_SOUND_* */
    uint32_t ReferencePatches;        /* 2132: reference patch flag; FD-5BT paper margins */
    uint32_t DirectionDetection;      /* 2136: strip direction; FD-5BT reverse scanning */
    uint32_t CornerMode;              /* 2140: simulator corner registration mode */
    uint32_t Option2144;              /* 2144 */
    uint32_t BarbieriPreparation;     /* 2148 */
    uint32_t BarbieriCondition;       /* 2152 */
    uint32_t Option2156;              /* 2156 */
    uint32_t OptionBits;              /* 2160: op* bits */
    uint32_t ChartPageIndex;          /* 2164: 0-based chart page */
    uint32_t DualScan;                /* 2168: dual scan in use; FD-5BT/MYIRO-1 mismatch at once */
    uint32_t PositionRecognition;     /* 2172 */
    uint32_t OwnSegmentation;         /* 2176: i1Pro own segmentation; i1iO table recognition; FD-9 start */
    uint32_t HostProcessId;           /* 2180: Barbieri manual positioning keys */
    uint32_t Option2184;              /* 2184 */
    uint32_t ColumnOrder;             /* 2188: read a chart column by column */
    uint32_t MeasurementCondition;    /* 2192: MEASURE_CONDITION_* */
    uint32_t NetworkAddress;          /* 2196: IPv4, network byte order; 0 = not given */
    uint32_t ReferenceStrip;          /* 2200: SD-10 reference strip selector */
    uint32_t SerialNumber;            /* 2204 */
    uint32_t ReverseOrder;            /* 2208 */
    uint32_t ModelCheckOverride;      /* 2212 */
    uint32_t BarbieriDefinition;      /* 2216 */
    uint32_t SingleTriggerMode;       /* 2220 */
    uint32_t SimulationBesideLibrary; /* 2224: 1 = configuration beside the library */
    uint32_t RicohPort;               /* 2228 */
    uint32_t Option2232;              /* 2232 */
    uint32_t BatteryLevel;            /* 2236: percent */
    uint32_t DiscoveredDevices;       /* 2240 */
    uint32_t Reserved2244[15];
} MEASURE2STRUCT;

#if defined(__cplusplus)
#define MEASURE_STATIC_ASSERT static_assert
#else
#define MEASURE_STATIC_ASSERT _Static_assert
#endif

#define MEASURE_CHECK_OFFSET(type, field, off) \
    MEASURE_STATIC_ASSERT(offsetof(type, field) == (off), #type "." #field " offset")

MEASURE_CHECK_OFFSET(MEASURESTRUCT, instrument, 0);
MEASURE_CHECK_OFFSET(MEASURESTRUCT, port, 4);
MEASURE_CHECK_OFFSET(MEASURESTRUCT, Mode, 8);
MEASURE_CHECK_OFFSET(MEASURESTRUCT, NumOfMeasurements, 12);
MEASURE_CHECK_OFFSET(MEASURESTRUCT, Density, 16);
MEASURE_CHECK_OFFSET(MEASURESTRUCT, hWnd, 2064);
MEASURE_CHECK_OFFSET(MEASURESTRUCT, Message, 2072);
MEASURE_CHECK_OFFSET(MEASURESTRUCT, NumOfPatchesToRead, 2076);
MEASURE_STATIC_ASSERT(sizeof(MEASURESTRUCT) == MEASURE_RECORD_SIZE, "MEASURESTRUCT size");

MEASURE_CHECK_OFFSET(MEASURE2STRUCT, hWnd, 2064);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, NumOfPatchesToRead, 2076);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, cb, 2080);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, pDllData, 2088);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, NumPatchesPerLine, 2096);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, bAlternating, 2100);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, CellX, 2104);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, CellY, 2108);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, GapX, 2112);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, NumPatchesPerChart, 2116);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, pszParameterFile, 2120);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, SoundSelector, 2128);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, ReferencePatches, 2132);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, DirectionDetection, 2136);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, CornerMode, 2140);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, BarbieriPreparation, 2148);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, BarbieriCondition, 2152);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, OptionBits, 2160);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, ChartPageIndex, 2164);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, DualScan, 2168);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, PositionRecognition, 2172);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, OwnSegmentation, 2176);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, HostProcessId, 2180);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, ColumnOrder, 2188);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, MeasurementCondition, 2192);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, NetworkAddress, 2196);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, ReferenceStrip, 2200);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, SerialNumber, 2204);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, ReverseOrder, 2208);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, ModelCheckOverride, 2212);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, BarbieriDefinition, 2216);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, SingleTriggerMode, 2220);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, SimulationBesideLibrary, 2224);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, RicohPort, 2228);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, BatteryLevel, 2236);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, DiscoveredDevices, 2240);
MEASURE_CHECK_OFFSET(MEASURE2STRUCT, Reserved2244, 2244);
MEASURE_STATIC_ASSERT(sizeof(MEASURE2STRUCT) == MEASURE2_RECORD_SIZE, "MEASURE2STRUCT size");

/* ------------------------------------------------------------------------ */
/* Result block: the block behind pDllData (or the library's global block
 * with the old record). Offset 0 holds the driver object, offset 8 the
 * capacity in patches; PostMeasureData hands the host a pointer to offset 16,
 * laid out in one of the two forms below. */

#define MEASURE_BLOCK_BASE_SIZE 4800048u /* block for up to 256 patches */
#define MEASURE_BLOCK_BASE_PATCHES 256
#define MEASURE_SPECTRAL_SLOT_BYTES 1600u /* 200 doubles per patch */
#define MEASURE_SPECTRAL_BANDS 36
#define MEASURE_SPECTRAL_START_NM 380
#define MEASURE_SPECTRAL_STEP_NM 10

/* Three-value form (Mode 2 and 3): the head, then per patch three doubles,
 * X, Y, Z or L*, a*, b*. */
typedef struct MEASURE_TRIPLE_RESULT {
    uint64_t NumPatches;
    uint64_t Reserved;
} MEASURE_TRIPLE_RESULT;
/* The three values of patch i (0-based) behind a three-value result. */
#define MEASURE_TRIPLE_VALUES(result, i) \
    ((const double*)((const char*)(result) + sizeof(MEASURE_TRIPLE_RESULT) + (size_t)(i)*3 * sizeof(double)))

/* Spectral form (Mode 4): the head, then one 1600-byte slot of 200 doubles
 * per patch. Values 0..35 of a slot are the spectrum from 380 to 730 nm
 * (reflectance factors, 1.0 a perfect white); values 36..38 may hold colour
 * values a driver also delivers. */
typedef struct MEASURE_SPECTRAL_RESULT {
    uint32_t StartNm;  /* 380 */
    uint32_t StepNm;   /* 10 */
    uint32_t NumBands; /* 36 */
    uint32_t Reserved;
    uint64_t NumPatches;
} MEASURE_SPECTRAL_RESULT;
/* The 200-value slot of patch i (0-based) behind a spectral result. */
#define MEASURE_SPECTRAL_PATCH(result, i)                                      \
    ((const double*)((const char*)(result) + sizeof(MEASURE_SPECTRAL_RESULT) + \
                     (size_t)(i)*MEASURE_SPECTRAL_SLOT_BYTES))

MEASURE_STATIC_ASSERT(sizeof(MEASURE_TRIPLE_RESULT) == 16, "three-value head");
MEASURE_CHECK_OFFSET(MEASURE_SPECTRAL_RESULT, NumPatches, 16);
MEASURE_STATIC_ASSERT(sizeof(MEASURE_SPECTRAL_RESULT) == 24, "spectral head");

/* ------------------------------------------------------------------------ */
/* The instrument registry (39 rows and a terminator with ID 0). */

typedef int32_t(MEASURE_CALL* DriverEntry)(MEASURESTRUCT* pMeasure);

typedef struct ChartImageEntry {
    uint64_t number; /* 0 ends the list */
    const char* pszFileName;
} ChartImageEntry;

typedef struct ModeEntry {
    uint32_t mode; /* 0xFFFFFFFF ends the list ("No mode") */
    uint32_t reserved;
    const char* pszName;
} ModeEntry;

typedef struct InstrumentDescriptor {
    uint32_t ID; /* 0 only in the terminator */
    uint32_t ManufacturerCode;
    const char* pszName;
    const char* pszManufacturer;
    const char* pszFullName;
    uint32_t Attributes[10]; /* carried for the host; never read by the library */
    const ChartImageEntry* pChartList;
    const ModeEntry* pModeList;
    DriverEntry pfnOpen;
    DriverEntry pfnClose;
    DriverEntry pfnSetup;
    DriverEntry pfnCalibrateWhite;
    DriverEntry pfnCalibrateBlack;
    DriverEntry pfnReserved;
    DriverEntry pfnStartMultiMeasure;
    DriverEntry pfnStopMultiMeasure;
    DriverEntry pfnSingleMeasure;
    DriverEntry pfnStopSingleMeasure;
    DriverEntry pfnCancelStripePass;
    DriverEntry pfnMustCalibrate;
    DriverEntry pfnStartRegisterCorners;
    DriverEntry pfnStartSimpleMultiMeasure;
    DriverEntry pfnStartInsertPaper;
    uint64_t Reserved[4];
} InstrumentDescriptor;

#define MEASURE_REGISTRY_ROW_SIZE 240u
MEASURE_CHECK_OFFSET(ChartImageEntry, pszFileName, 8);
MEASURE_STATIC_ASSERT(sizeof(ChartImageEntry) == 16, "ChartImageEntry size");
MEASURE_CHECK_OFFSET(ModeEntry, pszName, 8);
MEASURE_STATIC_ASSERT(sizeof(ModeEntry) == 16, "ModeEntry size");
MEASURE_CHECK_OFFSET(InstrumentDescriptor, ManufacturerCode, 4);
MEASURE_CHECK_OFFSET(InstrumentDescriptor, pszName, 8);
MEASURE_CHECK_OFFSET(InstrumentDescriptor, pszManufacturer, 16);
MEASURE_CHECK_OFFSET(InstrumentDescriptor, pszFullName, 24);
MEASURE_CHECK_OFFSET(InstrumentDescriptor, Attributes, 32);
MEASURE_CHECK_OFFSET(InstrumentDescriptor, pChartList, 72);
MEASURE_CHECK_OFFSET(InstrumentDescriptor, pModeList, 80);
MEASURE_CHECK_OFFSET(InstrumentDescriptor, pfnOpen, 88);
MEASURE_CHECK_OFFSET(InstrumentDescriptor, pfnStartInsertPaper, 200);
MEASURE_CHECK_OFFSET(InstrumentDescriptor, Reserved, 208);
MEASURE_STATIC_ASSERT(sizeof(InstrumentDescriptor) == MEASURE_REGISTRY_ROW_SIZE, "InstrumentDescriptor size");

/* ------------------------------------------------------------------------ */
/* The observer. The library calls it on driver threads when the record has
 * no window. Slots 0, 1 and 8 belong to the host and are never called. It is
 * declared twice: as a C++ class and as a C struct with a function table;
 * the two are layout-compatible. */

typedef struct MeasureObserverC MeasureObserverC;
typedef struct MeasureObserverVtbl {
    void (*HostSlot0)(MeasureObserverC* self);
    void (*HostSlot1)(MeasureObserverC* self);
    void (*OnScanspeedStatus)(MeasureObserverC* self, uint32_t message, uint32_t kind, uint32_t value);
    void (*OnPassno)(MeasureObserverC* self, uint32_t message, uint32_t kind, int32_t value);
    void (*OnPageno)(MeasureObserverC* self, uint32_t message, uint32_t kind, int32_t value);
    void (*OnPassEnd)(MeasureObserverC* self, uint32_t message, uint32_t kind, uint32_t value);
    void (*OnStatusCode)(MeasureObserverC* self, uint32_t message, uint32_t kind, int32_t value);
    void (*OnMeasureData)(MeasureObserverC* self, uint32_t message, uint64_t wParam, void* result);
    void (*HostSlot8)(MeasureObserverC* self);
    void (*OnThreadEnd)(MeasureObserverC* self, uint32_t message, int32_t endCode);
    void (*OnBeep)(MeasureObserverC* self, uint32_t zero, uint32_t frequencyHz, uint32_t durationMs);
} MeasureObserverVtbl;

struct MeasureObserverC {
    const MeasureObserverVtbl* lpVtbl;
};

#ifdef __cplusplus
/* Derive from this and pass it to AttachObserver. Calls arrive on driver
 * threads; do not call a blocking export of the same instrument from them. */
class MeasureObserver {
public:
    virtual void HostSlot0() {}
    virtual void HostSlot1() {}
    virtual void OnScanspeedStatus(uint32_t, uint32_t, uint32_t) {}
    virtual void OnPassno(uint32_t, uint32_t, int32_t) {}
    virtual void OnPageno(uint32_t, uint32_t, int32_t) {}
    virtual void OnPassEnd(uint32_t, uint32_t, uint32_t) {}
    virtual void OnStatusCode(uint32_t, uint32_t, int32_t) {}
    virtual void OnMeasureData(uint32_t, uint64_t, void*) {}
    virtual void HostSlot8() {}
    virtual void OnThreadEnd(uint32_t, int32_t) {}
    virtual void OnBeep(uint32_t, uint32_t, uint32_t) {}

protected:
    ~MeasureObserver() = default;
};
typedef MeasureObserver MEASURE_OBSERVER;
#else
typedef MeasureObserverC MEASURE_OBSERVER;
#endif

/* ------------------------------------------------------------------------ */
/* Registry queries. Rows are static; pointers stay valid while loaded. */

MEASURE_API const InstrumentDescriptor* GetInstrumentList(uint64_t* pRowSize);
MEASURE_API const InstrumentDescriptor* GetInstrumentByID(uint32_t id);
MEASURE_API const InstrumentDescriptor* GetInstrumentNZByID(uint32_t id);
MEASURE_API const InstrumentDescriptor* GetInstrumentByName(const char* name);
MEASURE_API const InstrumentDescriptor* GetInstrumentByFullName(const char* name);
MEASURE_API const InstrumentDescriptor* GetNextInstrument(const InstrumentDescriptor* previous);
MEASURE_API const InstrumentDescriptor* GetNextInstrumentByMode(const InstrumentDescriptor* previous,
                                                                uint32_t mode);
/* Writes the interface version pair 1, 8 into out[0], out[1]. */
MEASURE_API void GetDllInterfaceVersion(uint32_t* out);
/* Returns 0 with *out set to the instrument information text, -1 if empty. */
MEASURE_API int32_t GetInfoString(const char** out);

/* ------------------------------------------------------------------------ */
/* Open, calibrate, measure, stop, close. All take the record and return 0 on
 * success, -1 on failure or when the instrument cannot do it; a null record
 * gives -1. Start calls return at once; the outcome arrives as status and
 * thread end notifications. */

MEASURE_API int32_t OpenInstrument(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t Open2Instrument(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t SetupInstrument(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t WhiteCalibration(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t BlackCalibration(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t StartSingleMeasure(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t SingleMeasure(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t StopSingleMeasure(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t StartMultiMeasure(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t StartSimpleMultiMeasure(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t StopMultiMeasure(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t CancelStripePass(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t StartRegisterCorners(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t StartInsertPaper(MEASURESTRUCT* pMeasure);
/* 0 or 1. */
MEASURE_API int32_t MustCalibrate(MEASURESTRUCT* pMeasure);
/* 0, 1 or 2. */
MEASURE_API int32_t MustInsertPage(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t MustRegisterCorners(MEASURESTRUCT* pMeasure);
MEASURE_API int32_t CloseInstrument(MEASURESTRUCT* pMeasure);
MEASURE_API uint8_t SetUseMeas2Struct(uint8_t flag);
/* Keeps a copy of path; Open2Instrument hands it to the driver. Returns 0. */
MEASURE_API int32_t SetParameterFile(const char* path);
/* Key code for drivers that take keys from the host: 13 confirms, 27 cancels. */
MEASURE_API uint32_t SetKeyCode(uint32_t code);

/* ------------------------------------------------------------------------ */
/* i1 pass-through: an i1Pro (or an i1Pro on an i1iO table) driven sample by
 * sample through the i1 SDK on the caller's thread, without a record. Each
 * call finds or opens the instrument first and returns the SDK's code (0 for
 * success), 2 when no instrument is attached, 1010 when only a Konica
 * Minolta FD-5BT is. They share the instrument with the i1 drivers; do not
 * call them while an i1 driver measures. Texts are copied; answers of
 * I1GetOption live in one library buffer until the next call. */
typedef void (*I1DeviceMessageHandler)(int32_t code, const char* serialNumber, void* context);
typedef void (*I1ErrorHandler)(int32_t code, const char* text);
MEASURE_API int32_t I1IsConnected(void);
/* 0 on an i1iO table, else 18. */
MEASURE_API int32_t I1IsTableConnected(void);
MEASURE_API int32_t I1Close(void);
MEASURE_API int32_t I1CloseShort(void);
/* Option names and values in the older spelling ("Version", "yes"/"no",
 * "SingleReflectance") are translated both ways. Never null. */
MEASURE_API const char* I1GetOption(const char* key);
MEASURE_API int32_t I1SetOption(const char* key, const char* value);
MEASURE_API int32_t I1SetSubstrate(float* spectrum36);
MEASURE_API int32_t I1GetDensity(float* density, uint32_t index);
MEASURE_API int32_t I1GetDensities(float* densities4, uint32_t* densityIndex, uint32_t index);
MEASURE_API int32_t I1GetTriStimulus(float* values3, uint32_t index);
MEASURE_API int32_t I1GetSpectrum(float* spectrum36, uint32_t index);
MEASURE_API int32_t I1TriggerMeasurement(void);
MEASURE_API int32_t I1Calibrate(void);
MEASURE_API int32_t I1GetNumberOfAvailableSamples(void);
/* 0 pressed, 4 not pressed. */
MEASURE_API int32_t I1KeyPressed(void);
/* Table millimetres; x below 110.2 and y below 120.0 are raised to them. */
MEASURE_API int32_t I1SetPosition(float x, float y);
MEASURE_API int32_t I1GetPosition(float* x, float* y);
MEASURE_API int32_t I1GoToHomePosition(void);
MEASURE_API int32_t I1Scan(float x0, float y0, float x1, float y1);
/* Called with 0 (instrument event 1), 100 (other events), 1 (removed) or
 * 1000 (arrived) and the serial number text. Returns the handler. */
MEASURE_API I1DeviceMessageHandler I1RegisterDeviceMessageHandler(I1DeviceMessageHandler handler);
/* Kept; the library never calls it. Returns the handler. */
MEASURE_API I1ErrorHandler I1RegisterErrorHandler(I1ErrorHandler handler);

/* The observer receives notifications when the record has no window. The
 * host attaches it before opening and detaches it after closing. */
MEASURE_API MEASURE_OBSERVER* AttachObserver(MEASURE_OBSERVER* observer);
MEASURE_API void DetachObserver(void);

/* Logging is off unless the host asks: LogfileCreate(level, append, path)
 * with a non-empty path writes lines of level <= level to path. The
 * environment MEASURE_LOG=path with MEASURE_LOG_LEVEL=n does the same at load. */
MEASURE_API void LogfileCreate(uint32_t level, uint8_t append, const char* path);

/* ------------------------------------------------------------------------ */
/* Spectral conversion. A spectrum is described by a header of three words
 * (first wavelength nm, step nm, number of values) and that many reflectance
 * factors (0 to 1). It is placed onto 36 bands from 380 to 730 nm without
 * interpolation; bands it does not reach count as 0. The step must be 10.
 * Both functions are safe to call from any thread. */

/* CIE XYZ for D50 and the 2 degree observer into xyz[0..2] (a perfect white
 * gives 96.448, 100, 82.486). Returns 1, or 0 when the step is not 10 (xyz
 * is then left untouched). */
MEASURE_API int32_t SpectrumToXYZ(double* xyz, const uint32_t* header, const double* spectrum);

/* Four densities into densities[0..3]: the red, green and blue filter
 * densities of the standard, then the visual density. mode is the density
 * mode: MEASURE_MODE_STATUS_E, _STATUS_T, _DIN_16536 or _DIN_16536_NARROW.
 * Returns 1, or 0 for another mode or a step other than 10 (nothing is
 * written then). A filter whose weighted reflectance is 0 or below (no light
 * seen at all) reports +infinity; no density is ever NaN. */
MEASURE_API int32_t SpectrumToDensity(double* densities, const uint32_t* header, const double* spectrum,
                                      uint32_t mode);

/* CIELAB of XYZ for the white X 96.4, Y 100, Z 82.49, the white of the
 * instruments' own Lab values. Any output pointer may be null. */
MEASURE_API void XYZToLab(double X, double Y, double Z, double* L, double* a, double* b);
/* XYZ of CIELAB for the same white: the inverse of XYZToLab, so that
 * LabToXYZ then XYZToLab gives the Lab back. Any output pointer may be null. */
MEASURE_API void LabToXYZ(double L, double a, double b, double* X, double* Y, double* Z);

/* Colour differences of two L*a*b* colours: CIE76 (their distance) and
 * CIEDE2000 (kL = kC = kH = 1). Both are symmetric in the two colours. */
MEASURE_API double DeltaE76(double L1, double a1, double b1, double L2, double a2, double b2);
MEASURE_API double DeltaE2000(double L1, double a1, double b1, double L2, double a2, double b2);

/* ------------------------------------------------------------------------ */
/* CGATS / IT8 measurement and chart files, read by the library's own reader
 * (decimal commas, any case, CR/LF/CR LF). A handle belongs to one thread at
 * a time; the texts it hands out live as long as the handle. */

typedef struct MEASURE_CGATS MEASURE_CGATS;

/* Quantities for MeasureCgatsHasData. */
enum {
    MEASURE_CGATS_XYZ = 0,
    MEASURE_CGATS_LAB = 1,
    MEASURE_CGATS_RGB = 2,
    MEASURE_CGATS_CMYK = 3,
    MEASURE_CGATS_SPECTRAL = 6,
    MEASURE_CGATS_DENSITIES = 101
};

/* Reads the whole file. Null on failure, with *error the reader's code
 * (-2370 cannot open ... -2359, see MeasureCgatsErrorText) and *line the line
 * where it stopped (0 when unknown); either pointer may be null. */
MEASURE_API MEASURE_CGATS* MeasureCgatsRead(const char* path, int32_t* error, int32_t* line);
MEASURE_API void MeasureCgatsClose(MEASURE_CGATS* file);
/* A short English text for an error code of MeasureCgatsRead. */
MEASURE_API const char* MeasureCgatsErrorText(int32_t error);
/* NUMBER_OF_SETS; -1 for a null handle. */
MEASURE_API int32_t MeasureCgatsPatchCount(const MEASURE_CGATS* file);
/* 1 when the file holds the quantity (MEASURE_CGATS_*), else 0. */
MEASURE_API int32_t MeasureCgatsHasData(const MEASURE_CGATS* file, int32_t type);
/* X, Y, Z or L*, a*, b* of patch (0-based) into out[0..2]; 1, or 0 when the
 * patch or the quantity is missing. */
MEASURE_API int32_t MeasureCgatsGetXYZ(const MEASURE_CGATS* file, int32_t patch, double* out);
MEASURE_API int32_t MeasureCgatsGetLab(const MEASURE_CGATS* file, int32_t patch, double* out);
/* The spectral fields as a header: first nm, step nm, count; 1, or 0 when
 * the file has none. */
MEASURE_API int32_t MeasureCgatsSpectralLayout(const MEASURE_CGATS* file, uint32_t* header);
/* The reflectance factors of patch (ascending wavelength; SPECTRAL_NM_
 * percentages divided by 100) into values; returns the count written, or -1
 * when the patch is missing, the file has no spectra or capacity is short.
 * A cell that is no number counts as 0 and makes the result -2 (the values
 * are written all the same); MeasureCgatsCheckSpectrum names the cell. */
MEASURE_API int32_t MeasureCgatsGetSpectrum(const MEASURE_CGATS* file, int32_t patch, double* values,
                                            int32_t capacity);
/* -1 when every spectral cell of the patch is a decimal number, else the
 * column (0-based, as in MeasureCgatsFieldName) of the first one that is not. */
MEASURE_API int32_t MeasureCgatsCheckSpectrum(const MEASURE_CGATS* file, int32_t patch);
/* The patch's SAMPLE_ID (or SAMPLE_NAME) text, or null when the file has neither. */
MEASURE_API const char* MeasureCgatsSampleId(const MEASURE_CGATS* file, int32_t patch);
/* The data format: the number of fields (-1 for a null handle) and the name
 * of field `column` (0-based, upper case), or null outside the format. */
MEASURE_API int32_t MeasureCgatsFieldCount(const MEASURE_CGATS* file);
MEASURE_API const char* MeasureCgatsFieldName(const MEASURE_CGATS* file, int32_t column);
/* The text of one cell as the file has it (without its double quotes; upper
 * case unless it was quoted), or null outside the table. */
MEASURE_API const char* MeasureCgatsCell(const MEASURE_CGATS* file, int32_t patch, int32_t column);
/* The number in one cell: 1 with *value set when the whole cell is a decimal
 * number, 0 when it is anything else or outside the table. */
MEASURE_API int32_t MeasureCgatsCellNumber(const MEASURE_CGATS* file, int32_t patch, int32_t column,
                                           double* value);
/* The line of the file (from 1) that holds the patch's row, for messages that
 * point a user at it; 0 outside the table. */
MEASURE_API int32_t MeasureCgatsPatchLine(const MEASURE_CGATS* file, int32_t patch);

#ifndef _WIN32
/* POSIX message windows: a window is a queue the host reads from. Posted
 * notifications arrive in order; a sent one blocks its sender until taken. */
typedef struct MEASURE_MSG {
    HWND hwnd;
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
} MEASURE_MSG;

MEASURE_API HWND MeasureCreateMessageWindow(void);
/* 1 a message, 0 timeout (timeout_ms < 0 waits forever), -1 unknown window. */
MEASURE_API int MeasureGetMessage(HWND hWnd, MEASURE_MSG* msg, int timeout_ms);
MEASURE_API void MeasureDestroyMessageWindow(HWND hWnd);
#endif

#endif /* MEASURE_MEASURE_H */
