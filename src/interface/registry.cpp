#include "interface/registry.h"

#include <array>
#include <cstring>
#include <string_view>

#include "core/record.h"
#include "interface/driver_tables.h"

namespace measure {

int32_t EntryNotSupported(MEASURESTRUCT*) {
    return -1;
}
int32_t EntryNoOp(MEASURESTRUCT*) {
    return 0;
}

namespace {

// Chart images offered to the host; the library does not read them.
constexpr ChartImageEntry kChartsI1[] = {
    {120, "Baselin_eye-one.tif"}, {52, "Lin_eye-one.tif"}, {154, "Channel_Inklimit_chart.tif"}, {0, nullptr}};
constexpr ChartImageEntry kChartsSS[] = {{120, "Baselin_SpectroScan.tif"},
                                         {52, "Lin_SpectroScan.tif"},
                                         {154, "Channel_Inklimit_chart.tif"},
                                         {0, nullptr}};
constexpr ChartImageEntry kChartsNone[] = {{0, nullptr}};

constexpr uint32_t kEnd = 0xFFFFFFFFu;
constexpr ModeEntry kModeStatusE{0, 0, "Status E"};
constexpr ModeEntry kModeStatusT{1, 0, "Status T"};
constexpr ModeEntry kModeLab{2, 0, "Cie Lab"};
constexpr ModeEntry kModeXyz{3, 0, "Cie XYZ"};
constexpr ModeEntry kModeSpectral{4, 0, "Spectral"};
constexpr ModeEntry kModeDin{5, 0, "DIN 16536"};
constexpr ModeEntry kModeDinNarrow{6, 0, "DIN 16536 Narrow"};
constexpr ModeEntry kModeEmissionXyz{19, 0, "Emission Cie XYZ"};
constexpr ModeEntry kModeEmissionSpectral{20, 0, "Emission Spectral"};
constexpr ModeEntry kModeEnd{kEnd, 0, "No mode"};

constexpr ModeEntry kModesA[] = {kModeStatusE, kModeStatusT,  kModeDin,         kModeDinNarrow,
                                 kModeXyz,     kModeSpectral, kModeEmissionXyz, kModeEmissionSpectral,
                                 kModeEnd};
constexpr ModeEntry kModesB[] = {kModeXyz, kModeSpectral, kModeEnd};
constexpr ModeEntry kModesC[] = {kModeStatusE, kModeStatusT,  kModeDin, kModeDinNarrow,
                                 kModeXyz,     kModeSpectral, kModeEnd};
constexpr ModeEntry kModesD[] = {kModeLab, kModeXyz, kModeSpectral, kModeEnd};
constexpr ModeEntry kModesE[] = {kModeLab, kModeEnd};
constexpr ModeEntry kModesN[] = {kModeEnd};

// Slot use of a row, slots 1 to 15 in order: 'D' the driver's own entry,
// '0' EntryNoOp, '-' EntryNotSupported. A driver slot the driver has not
// filled yet answers -1 (DriverTable's default).
constexpr DriverEntry pick(char code, DriverEntry own) {
    if (code == '0') return &EntryNoOp;
    if (code == 'D') return own;
    return &EntryNotSupported;
}

struct Identity {
    uint32_t id;
    uint32_t manufacturerCode;
    const char* name;
    const char* manufacturer;
    const char* fullName;
};

constexpr InstrumentDescriptor row(Identity who, std::string_view attributes, const ChartImageEntry* charts,
                                   const ModeEntry* modes, std::string_view slots, const DriverTable& d) {
    InstrumentDescriptor r{};
    r.ID = who.id;
    r.ManufacturerCode = who.manufacturerCode;
    r.pszName = who.name;
    r.pszManufacturer = who.manufacturer;
    r.pszFullName = who.fullName;
    for (size_t i = 0; i < 7 && i < attributes.size(); ++i)
        r.Attributes[i] = static_cast<uint32_t>(attributes[i] - '0');
    r.pChartList = charts;
    r.pModeList = modes;
    r.pfnOpen = pick(slots[0], d.open);
    r.pfnClose = pick(slots[1], d.close);
    r.pfnSetup = pick(slots[2], d.setup);
    r.pfnCalibrateWhite = pick(slots[3], d.calibrateWhite);
    r.pfnCalibrateBlack = pick(slots[4], d.calibrateBlack);
    r.pfnReserved = pick(slots[5], &EntryNotSupported);
    r.pfnStartMultiMeasure = pick(slots[6], d.startMultiMeasure);
    r.pfnStopMultiMeasure = pick(slots[7], d.stopMultiMeasure);
    r.pfnSingleMeasure = pick(slots[8], d.singleMeasure);
    r.pfnStopSingleMeasure = pick(slots[9], d.stopSingleMeasure);
    r.pfnCancelStripePass = pick(slots[10], d.cancelStripePass);
    r.pfnMustCalibrate = pick(slots[11], d.mustCalibrate);
    r.pfnStartRegisterCorners = pick(slots[12], d.startRegisterCorners);
    r.pfnStartSimpleMultiMeasure = pick(slots[13], d.startSimpleMultiMeasure);
    r.pfnStartInsertPaper = pick(slots[14], d.startInsertPaper);
    return r;
}

namespace d = drivers;

// Slot patterns of the driver families.
constexpr std::string_view kBarbieriSlots = "DD0D00DDDD--DDD";
constexpr std::string_view kHandHeldSlots = "DD0D--DDDD-D-D-";  // i1Pro, i1Pro3, FD-5BT, eXact2, i1Studio
constexpr std::string_view kTableSlots = "DD0D00DDDD-DDD-";     // i1iO, i1iO3
constexpr std::string_view kNoDriverSlots = "---------------";
constexpr std::string_view kIsisSlots = "DD00--DD-----DD";  // i1iSis, FD-9 / MYIRO-9
constexpr std::string_view kIsis2NetSlots = "DD00--DD-------";
constexpr std::string_view kGretagSlots = "DDD0--DD----DD-";
constexpr std::string_view kMyiro9SpotSlots = "DD00--DD00---DD";
constexpr std::string_view kSpotStripSlots = "DD0D00DDDD-D-D-";  // MYIRO-1, SpectroDens, SD-10
constexpr std::string_view kRicohSlots = "DD0---DD-----D-";
constexpr std::string_view kNixSlots = "DD0D0000DD-D-0-";
constexpr std::string_view kSd10ArSlots = "DD0000DD00-DDDD";
constexpr std::string_view kSimulatorSlots = "DD0DD0DDDD-DDDD";

constexpr std::string_view kHandHeldAttrs = "1001102";
constexpr std::string_view kEmbeddedAttrs = "0000002";
constexpr std::string_view kChartReaderAttrs = "0000102";

constexpr std::array<InstrumentDescriptor, kRegistryRows + 1> kRows = {{
    row({28, 9, "Barbieri Spectro LFP", "Barbieri", "Barbieri Spectro LFP"}, kHandHeldAttrs, kChartsI1,
        kModesB, kBarbieriSlots, d::kBarbieri),
    row({33, 9, "Barbieri Spectro LFP", "Barbieri", "Barbieri Spectro LFP"}, kHandHeldAttrs, kChartsI1,
        kModesB, kBarbieriSlots, d::kBarbieri),
    row({34, 9, "Barbieri Spectropad", "Barbieri", "Barbieri Spectropad"}, kHandHeldAttrs, kChartsI1, kModesB,
        kBarbieriSlots, d::kBarbieri),
    row({31, 9, "Barbieri Spectro Swing", "Barbieri", "Barbieri Spectro Swing"}, kHandHeldAttrs, kChartsI1,
        kModesB, kBarbieriSlots, d::kBarbieri),
    row({30, 9, "Barbieri Device", "Barbieri", "Barbieri Device"}, kHandHeldAttrs, kChartsI1, kModesB,
        kBarbieriSlots, d::kBarbieri),
    row({43, 9, "Barbieri Spectro LFP qb", "Barbieri", "Barbieri Spectro LFP qb"}, kHandHeldAttrs, kChartsI1,
        kModesB, kBarbieriSlots, d::kBarbieri),
    row({53, 9, "Barbieri Spectro Swing qb", "Barbieri", "Barbieri Spectro Swing qb"}, kHandHeldAttrs,
        kChartsI1, kModesB, kBarbieriSlots, d::kBarbieri),
    row({15, 8, "Spectrometer QRV SP-100", "Vantu", "QRV SP-100"}, kHandHeldAttrs, kChartsI1, kModesA,
        kHandHeldSlots, d::kEyeOnePro),
    row({21, 8, "Spectrometer QRV SP-200", "Vantu", "QRV SP-200"}, kHandHeldAttrs, kChartsI1, kModesA,
        kHandHeldSlots, d::kEyeOnePro),
    row({22, 8, "Spectrometer X-Rite Eye-One Pro2", "Vantu", "X-Rite i1Pro2"}, kHandHeldAttrs, kChartsI1,
        kModesA, kHandHeldSlots, d::kEyeOnePro),
    row({48, 8, "Spectrometer Vantu SP-300", "Vantu", "Vantu SP-300"}, kHandHeldAttrs, kChartsI1, kModesA,
        kHandHeldSlots, d::kEyeOnePro3),
    row({49, 8, "Spectrometer X-Rite Eye-One Pro3", "Vantu", "X-Rite i1Pro3"}, kHandHeldAttrs, kChartsI1,
        kModesA, kHandHeldSlots, d::kEyeOnePro3),
    row({50, 8, "Spectrometer X-Rite Eye-One Pro3+", "Vantu", "X-Rite i1Pro3+"}, kHandHeldAttrs, kChartsI1,
        kModesA, kHandHeldSlots, d::kEyeOnePro3),
    row({46, 10, "Canon Spectrophotometer", "Canon", "Canon Spectrophotometer"}, kEmbeddedAttrs, kChartsNone,
        kModesN, kNoDriverSlots, {}),
    row({45, 10, "EPSON SpectroProofer", "Epson", "EPSON SpectroProofer"}, kEmbeddedAttrs, kChartsNone,
        kModesN, kNoDriverSlots, {}),
    row({47, 10, "EPSON SpectroProofer (ILS30)", "Epson", "EPSON SpectroProofer (ILS30)"}, kEmbeddedAttrs,
        kChartsNone, kModesN, kNoDriverSlots, {}),
    row({40, 10, "HP Designjet Z embedded", "HP", "HP Designjet Z embedded"}, kEmbeddedAttrs, kChartsNone,
        kModesN, kNoDriverSlots, {}),
    row({41, 10, "HP Designjet Z embedded UVCut", "HP", "HP Designjet Z embedded UVCut"}, kEmbeddedAttrs,
        kChartsNone, kModesN, kNoDriverSlots, {}),
    row({11, 2, "EyeOne", "X-Rite", "X-Rite i1Pro"}, kHandHeldAttrs, kChartsI1, kModesA, kHandHeldSlots,
        d::kEyeOnePro),
    row({23, 2, "X-Rite i1i02", "X-Rite", "X-Rite i1i02"}, kHandHeldAttrs, kChartsI1, kModesA, kTableSlots,
        d::kIoPro),
    row({51, 2, "X-Rite i1iO3 (i1iO3 / i1Pro3)", "X-Rite", "X-Rite i1iO3 (i1iO3 / i1Pro3)"}, kHandHeldAttrs,
        kChartsI1, kModesA, kTableSlots, d::kIoPro3),
    row({52, 2, "X-Rite i1iO3+ (i1iO3 / i1Pro3+)", "X-Rite", "X-Rite i1iO3+ (i1iO3 / i1Pro3+)"},
        kHandHeldAttrs, kChartsI1, kModesA, kTableSlots, d::kIoPro3),
    row({26, 2, "X-Rite i1iSis / Vantu SP-600", "X-Rite", "X-Rite i1iSis / Vantu SP-600"}, kChartReaderAttrs,
        kChartsI1, kModesB, kIsisSlots, d::kIsis),
    row({37, 2, "Vantu SP-600", "X-Rite", "Vantu SP-600"}, kChartReaderAttrs, kChartsI1, kModesB,
        kIsis2NetSlots, d::kIsis2Net),
    row({5, 2, "SpectroScan", "X-Rite", "X-Rite SpectroScan"}, kChartReaderAttrs, kChartsSS, kModesC,
        kGretagSlots, d::kGretag),
    row({35, 13, "FD-5BT", "Konica Minolta", "Konica Minolta FD-5BT"}, kHandHeldAttrs, kChartsI1, kModesD,
        kHandHeldSlots, d::kKonicaMinolta),
    row({38, 13, "FD-9", "Konica Minolta", "Konica Minolta FD-9"}, kChartReaderAttrs, kChartsI1, kModesD,
        kIsisSlots, d::kKonicaMyiro9),
    row({42, 13, "FD-9 Terminal", "Konica Minolta", "Konica Minolta FD-9 (Terminal)"}, kChartReaderAttrs,
        kChartsI1, kModesD, kIsisSlots, d::kKonicaMyiro9),
    row({56, 13, "MYIRO-9", "Konica Minolta", "Konica Minolta MYIRO-9"}, kChartReaderAttrs, kChartsI1,
        kModesD, kMyiro9SpotSlots, d::kKonicaMyiro9),
    row({44, 13, "MYIRO-9 Terminal", "Konica Minolta", "Konica Minolta MYIRO-9 (Terminal)"},
        kChartReaderAttrs, kChartsI1, kModesD, kIsisSlots, d::kKonicaMyiro9),
    row({55, 13, "FD-5BT", "Konica Minolta", "Konica Minolta MYIRO-1"}, kHandHeldAttrs, kChartsI1, kModesD,
        kSpotStripSlots, d::kKonicaMyiro),
    row({39, 6, "TECHKON SpectroDens", "Techkon", "TECHKON SpectroDens"}, kHandHeldAttrs, kChartsI1, kModesE,
        kSpotStripSlots, d::kSpectroDens),
    row({61, 15, "Ricoh Auto Color Adjuster", "Ricoh", "Ricoh Auto Color Adjuster"}, "0000100", kChartsNone,
        kModesD, kRicohSlots, d::kRicohMonet),
    row({62, 2, "X-Rite eXact2", "X-Rite", "X-Rite eXact2"}, kHandHeldAttrs, kChartsI1, kModesA,
        kHandHeldSlots, d::kXriteExact),
    row({63, 16, "NIX Spectro", "Nix Sensor", "NIX Spectro"}, "1001002", kChartsNone, kModesN, kNixSlots,
        d::kNix),
    row({64, 2, "X-Rite i1 Studio", "Ricoh", "X-Rite i1 Studio"}, kHandHeldAttrs, kChartsI1, kModesA,
        kHandHeldSlots, d::kEyeOneStudio),
    row({65, 11, "Epson SD-10", "Epson", "Epson SD-10"}, "1001002", kChartsNone, kModesN, kSpotStripSlots,
        d::kSd10),
    row({66, 11, "Epson SD-10 Auto Chart Reader", "Epson", "Epson SD-10 Auto Chart Reader"}, "1001002",
        kChartsNone, kModesN, kSd10ArSlots, d::kSd10AutoReader),
    row({999, 8, "Simulator Device", "Vantu", "SimulatorDevice"}, "1111112", kChartsNone, kModesD,
        kSimulatorSlots, d::kSimulatorDevice),
    // The terminator: every lookup stops here, and GetInstrumentNZByID answers
    // with it for unknown IDs, so their every slot gives -1.
    row({0, 0, "No Instrument", "MFGN_NONE", "No Instrument"}, "0000001", kChartsNone, kModesN,
        kNoDriverSlots, {}),
}};

static_assert(sizeof(kRows) == (kRegistryRows + 1) * MEASURE_REGISTRY_ROW_SIZE);

const InstrumentDescriptor* first() {
    return kRows.data();
}
const InstrumentDescriptor* terminator() {
    return &kRows[kRegistryRows];
}

// A hook for hiding models; no model is hidden.
bool isModelShown(uint32_t) {
    return true;
}

bool IsInstrumentVisible(const InstrumentDescriptor* row) {
    if (row->ID == 11 || row->ID == 13 || row->ID == 15) return isModelShown(row->ID);
    return true;
}

// Row pointers handed back by a host are only trusted when they are ours.
bool isOurRow(const InstrumentDescriptor* row) {
    const auto address = reinterpret_cast<uintptr_t>(row);
    const auto begin = reinterpret_cast<uintptr_t>(first());
    const auto end = reinterpret_cast<uintptr_t>(terminator());
    return address >= begin && address <= end && (address - begin) % sizeof(InstrumentDescriptor) == 0;
}

template <class Match>
const InstrumentDescriptor* findFrom(const InstrumentDescriptor* start, Match match) {
    for (const InstrumentDescriptor* r = start; r->ID != 0; ++r)
        if (IsInstrumentVisible(r) && match(r)) return r;
    return nullptr;
}

const InstrumentDescriptor* after(const InstrumentDescriptor* previous) {
    if (previous == nullptr) return first();
    if (!isOurRow(previous) || previous->ID == 0) return nullptr;
    return previous + 1;
}

bool sameText(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

bool holdsMode(const InstrumentDescriptor* row, uint32_t mode) {
    for (const ModeEntry* m = row->pModeList; m->mode != kEnd; ++m)
        if (m->mode == mode) return true;
    return false;
}

}  // namespace

const InstrumentDescriptor* registryRows() {
    return first();
}

}  // namespace measure

MEASURE_API const InstrumentDescriptor* GetInstrumentList(uint64_t* pRowSize) {
    if (pRowSize != nullptr) *pRowSize = MEASURE_REGISTRY_ROW_SIZE;
    return measure::first();
}

MEASURE_API const InstrumentDescriptor* GetInstrumentByID(uint32_t id) {
    return measure::findFrom(measure::first(), [id](const InstrumentDescriptor* r) { return r->ID == id; });
}

MEASURE_API const InstrumentDescriptor* GetInstrumentNZByID(uint32_t id) {
    const InstrumentDescriptor* row = GetInstrumentByID(id);
    return row != nullptr ? row : measure::terminator();
}

MEASURE_API const InstrumentDescriptor* GetInstrumentByName(const char* name) {
    if (name == nullptr) return nullptr;
    return measure::findFrom(measure::first(), [name](const InstrumentDescriptor* r) {
        return measure::sameText(r->pszName, name);
    });
}

MEASURE_API const InstrumentDescriptor* GetInstrumentByFullName(const char* name) {
    if (name == nullptr) return nullptr;
    return measure::findFrom(measure::first(), [name](const InstrumentDescriptor* r) {
        return measure::sameText(r->pszFullName, name);
    });
}

MEASURE_API const InstrumentDescriptor* GetNextInstrument(const InstrumentDescriptor* previous) {
    const InstrumentDescriptor* start = measure::after(previous);
    if (start == nullptr) return nullptr;
    return measure::findFrom(start, [](const InstrumentDescriptor*) { return true; });
}

MEASURE_API const InstrumentDescriptor* GetNextInstrumentByMode(const InstrumentDescriptor* previous,
                                                                uint32_t mode) {
    if (mode == measure::kEnd) return GetNextInstrument(previous);
    const InstrumentDescriptor* start = measure::after(previous);
    if (start == nullptr) return nullptr;
    return measure::findFrom(start,
                             [mode](const InstrumentDescriptor* r) { return measure::holdsMode(r, mode); });
}

MEASURE_API void GetDllInterfaceVersion(uint32_t* out) {
    if (out == nullptr) return;
    out[0] = 1;
    out[1] = 8;
}

MEASURE_API int32_t GetInfoString(const char** out) {
    return measure::readInfoString(out) ? 0 : -1;
}
