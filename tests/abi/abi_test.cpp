// The registry and the export list as a host sees them: the built shared
// library loaded at run time, every field read through the exports.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "abi/host_library.h"
#include "measure/measure.h"
#include "support/environment.h"

namespace {

using measure::abi::HostLibrary;

// Kept loaded for the life of the test, as hosts keep it: the library's
// process-wide state lives until the process ends.
const HostLibrary& lib() {
    static const HostLibrary* instance = new HostLibrary(MEASURE_LIBRARY_PATH);
    return *instance;
}

// Read in text mode: the library writes its log with the system's line ends.
std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// First in this file, so that a run of the whole program loads the library
// here for the first time: loading and unloading reach the module entry,
// which a user can make log with MEASURE_LOG.
TEST(ModuleEntry, LoadAndUnloadAreLogged) {
    const auto log = std::filesystem::temp_directory_path() / "measure-abi-module-entry.log";
    std::filesystem::remove(log);
    {
        measure::test::ScopedEnvironment path("MEASURE_LOG", log.string().c_str());
        measure::test::ScopedEnvironment level("MEASURE_LOG_LEVEL", "1");
        HostLibrary library(MEASURE_LIBRARY_PATH);
        ASSERT_TRUE(library.loaded()) << library.error();
    }
    const std::string text = readText(log);
    std::filesystem::remove(log);
    EXPECT_NE(text.find(" : DllMain: DLL_PROCESS_ATTACH _DEBUG Compiled\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" : DllMain: DLL_PROCESS_DETACH\n"), std::string::npos) << text;
}

struct ExpectedRow {
    uint32_t id;
    uint32_t maker;
    const char* name;
    const char* manufacturer;
    const char* fullName;
    const char* attributes;  // words 0 to 6
    char charts;             // 'i' i1, 'S' SpectroScan, '-' none
    char modes;              // list A..E or N
    const char* slots;       // D driver, 0 no-op, - not supported
};

// Transcribed from the model table, independently of the library's own table.
const ExpectedRow kExpected[] = {
    {28, 9, "Barbieri Spectro LFP", "Barbieri", "Barbieri Spectro LFP", "1001102", 'i', 'B',
     "DD0D00DDDD--DDD"},
    {33, 9, "Barbieri Spectro LFP", "Barbieri", "Barbieri Spectro LFP", "1001102", 'i', 'B',
     "DD0D00DDDD--DDD"},
    {34, 9, "Barbieri Spectropad", "Barbieri", "Barbieri Spectropad", "1001102", 'i', 'B', "DD0D00DDDD--DDD"},
    {31, 9, "Barbieri Spectro Swing", "Barbieri", "Barbieri Spectro Swing", "1001102", 'i', 'B',
     "DD0D00DDDD--DDD"},
    {30, 9, "Barbieri Device", "Barbieri", "Barbieri Device", "1001102", 'i', 'B', "DD0D00DDDD--DDD"},
    {43, 9, "Barbieri Spectro LFP qb", "Barbieri", "Barbieri Spectro LFP qb", "1001102", 'i', 'B',
     "DD0D00DDDD--DDD"},
    {53, 9, "Barbieri Spectro Swing qb", "Barbieri", "Barbieri Spectro Swing qb", "1001102", 'i', 'B',
     "DD0D00DDDD--DDD"},
    {15, 8, "Spectrometer QRV SP-100", "Vantu", "QRV SP-100", "1001102", 'i', 'A', "DD0D--DDDD-D-D-"},
    {21, 8, "Spectrometer QRV SP-200", "Vantu", "QRV SP-200", "1001102", 'i', 'A', "DD0D--DDDD-D-D-"},
    {22, 8, "Spectrometer X-Rite Eye-One Pro2", "Vantu", "X-Rite i1Pro2", "1001102", 'i', 'A',
     "DD0D--DDDD-D-D-"},
    {48, 8, "Spectrometer Vantu SP-300", "Vantu", "Vantu SP-300", "1001102", 'i', 'A', "DD0D--DDDD-D-D-"},
    {49, 8, "Spectrometer X-Rite Eye-One Pro3", "Vantu", "X-Rite i1Pro3", "1001102", 'i', 'A',
     "DD0D--DDDD-D-D-"},
    {50, 8, "Spectrometer X-Rite Eye-One Pro3+", "Vantu", "X-Rite i1Pro3+", "1001102", 'i', 'A',
     "DD0D--DDDD-D-D-"},
    {46, 10, "Canon Spectrophotometer", "Canon", "Canon Spectrophotometer", "0000002", '-', 'N',
     "---------------"},
    {45, 10, "EPSON SpectroProofer", "Epson", "EPSON SpectroProofer", "0000002", '-', 'N', "---------------"},
    {47, 10, "EPSON SpectroProofer (ILS30)", "Epson", "EPSON SpectroProofer (ILS30)", "0000002", '-', 'N',
     "---------------"},
    {40, 10, "HP Designjet Z embedded", "HP", "HP Designjet Z embedded", "0000002", '-', 'N',
     "---------------"},
    {41, 10, "HP Designjet Z embedded UVCut", "HP", "HP Designjet Z embedded UVCut", "0000002", '-', 'N',
     "---------------"},
    {11, 2, "EyeOne", "X-Rite", "X-Rite i1Pro", "1001102", 'i', 'A', "DD0D--DDDD-D-D-"},
    {23, 2, "X-Rite i1i02", "X-Rite", "X-Rite i1i02", "1001102", 'i', 'A', "DD0D00DDDD-DDD-"},
    {51, 2, "X-Rite i1iO3 (i1iO3 / i1Pro3)", "X-Rite", "X-Rite i1iO3 (i1iO3 / i1Pro3)", "1001102", 'i', 'A',
     "DD0D00DDDD-DDD-"},
    {52, 2, "X-Rite i1iO3+ (i1iO3 / i1Pro3+)", "X-Rite", "X-Rite i1iO3+ (i1iO3 / i1Pro3+)", "1001102", 'i',
     'A', "DD0D00DDDD-DDD-"},
    {26, 2, "X-Rite i1iSis / Vantu SP-600", "X-Rite", "X-Rite i1iSis / Vantu SP-600", "0000102", 'i', 'B',
     "DD00--DD-----DD"},
    {37, 2, "Vantu SP-600", "X-Rite", "Vantu SP-600", "0000102", 'i', 'B', "DD00--DD-------"},
    {5, 2, "SpectroScan", "X-Rite", "X-Rite SpectroScan", "0000102", 'S', 'C', "DDD0--DD----DD-"},
    {35, 13, "FD-5BT", "Konica Minolta", "Konica Minolta FD-5BT", "1001102", 'i', 'D', "DD0D--DDDD-D-D-"},
    {38, 13, "FD-9", "Konica Minolta", "Konica Minolta FD-9", "0000102", 'i', 'D', "DD00--DD-----DD"},
    {42, 13, "FD-9 Terminal", "Konica Minolta", "Konica Minolta FD-9 (Terminal)", "0000102", 'i', 'D',
     "DD00--DD-----DD"},
    {56, 13, "MYIRO-9", "Konica Minolta", "Konica Minolta MYIRO-9", "0000102", 'i', 'D', "DD00--DD00---DD"},
    {44, 13, "MYIRO-9 Terminal", "Konica Minolta", "Konica Minolta MYIRO-9 (Terminal)", "0000102", 'i', 'D',
     "DD00--DD-----DD"},
    {55, 13, "FD-5BT", "Konica Minolta", "Konica Minolta MYIRO-1", "1001102", 'i', 'D', "DD0D00DDDD-D-D-"},
    {39, 6, "TECHKON SpectroDens", "Techkon", "TECHKON SpectroDens", "1001102", 'i', 'E', "DD0D00DDDD-D-D-"},
    {61, 15, "Ricoh Auto Color Adjuster", "Ricoh", "Ricoh Auto Color Adjuster", "0000100", '-', 'D',
     "DD0---DD-----D-"},
    {62, 2, "X-Rite eXact2", "X-Rite", "X-Rite eXact2", "1001102", 'i', 'A', "DD0D--DDDD-D-D-"},
    {63, 16, "NIX Spectro", "Nix Sensor", "NIX Spectro", "1001002", '-', 'N', "DD0D0000DD-D-0-"},
    {64, 2, "X-Rite i1 Studio", "Ricoh", "X-Rite i1 Studio", "1001102", 'i', 'A', "DD0D--DDDD-D-D-"},
    {65, 11, "Epson SD-10", "Epson", "Epson SD-10", "1001002", '-', 'N', "DD0D00DDDD-D-D-"},
    {66, 11, "Epson SD-10 Auto Chart Reader", "Epson", "Epson SD-10 Auto Chart Reader", "1001002", '-', 'N',
     "DD0000DD00-DDDD"},
    {999, 8, "Simulator Device", "Vantu", "SimulatorDevice", "1111112", '-', 'D', "DD0DD0DDDD-DDDD"},
};

std::vector<uint32_t> modeList(char list) {
    switch (list) {
        case 'A':
            return {0, 1, 5, 6, 3, 4, 19, 20};
        case 'B':
            return {3, 4};
        case 'C':
            return {0, 1, 5, 6, 3, 4};
        case 'D':
            return {2, 3, 4};
        case 'E':
            return {2};
        default:
            return {};
    }
}

std::string modeName(uint32_t mode) {
    switch (mode) {
        case 0:
            return "Status E";
        case 1:
            return "Status T";
        case 2:
            return "Cie Lab";
        case 3:
            return "Cie XYZ";
        case 4:
            return "Spectral";
        case 5:
            return "DIN 16536";
        case 6:
            return "DIN 16536 Narrow";
        case 19:
            return "Emission Cie XYZ";
        case 20:
            return "Emission Spectral";
        default:
            return "?";
    }
}

using GetListFn = const InstrumentDescriptor* (*)(uint64_t*);
using ByIdFn = const InstrumentDescriptor* (*)(uint32_t);
using ByNameFn = const InstrumentDescriptor* (*)(const char*);
using NextFn = const InstrumentDescriptor* (*)(const InstrumentDescriptor*);
using NextByModeFn = const InstrumentDescriptor* (*)(const InstrumentDescriptor*, uint32_t);

void expectCharts(const ChartImageEntry* charts, char kind) {
    if (kind == '-') {
        EXPECT_EQ(charts[0].number, 0u);
        EXPECT_EQ(charts[0].pszFileName, nullptr);
        return;
    }
    const char* suffix = kind == 'S' ? "SpectroScan" : "eye-one";
    EXPECT_EQ(charts[0].number, 120u);
    EXPECT_EQ(std::string(charts[0].pszFileName), std::string("Baselin_") + suffix + ".tif");
    EXPECT_EQ(charts[1].number, 52u);
    EXPECT_EQ(std::string(charts[1].pszFileName), std::string("Lin_") + suffix + ".tif");
    EXPECT_EQ(charts[2].number, 154u);
    EXPECT_STREQ(charts[2].pszFileName, "Channel_Inklimit_chart.tif");
    EXPECT_EQ(charts[3].number, 0u);
    EXPECT_EQ(charts[3].pszFileName, nullptr);
}

void expectModes(const ModeEntry* modes, char list) {
    const std::vector<uint32_t> expected = modeList(list);
    size_t i = 0;
    for (; i < expected.size(); ++i) {
        EXPECT_EQ(modes[i].mode, expected[i]);
        EXPECT_EQ(modes[i].reserved, 0u);
        EXPECT_EQ(std::string(modes[i].pszName), modeName(expected[i]));
    }
    EXPECT_EQ(modes[i].mode, 0xFFFFFFFFu);
    EXPECT_STREQ(modes[i].pszName, "No mode");
}

// A default slot answers without looking at its record; driver slots are not
// called here.
void expectDefaultSlots(const InstrumentDescriptor& row, const char* slots) {
    const DriverEntry entries[15] = {row.pfnOpen,
                                     row.pfnClose,
                                     row.pfnSetup,
                                     row.pfnCalibrateWhite,
                                     row.pfnCalibrateBlack,
                                     row.pfnReserved,
                                     row.pfnStartMultiMeasure,
                                     row.pfnStopMultiMeasure,
                                     row.pfnSingleMeasure,
                                     row.pfnStopSingleMeasure,
                                     row.pfnCancelStripePass,
                                     row.pfnMustCalibrate,
                                     row.pfnStartRegisterCorners,
                                     row.pfnStartSimpleMultiMeasure,
                                     row.pfnStartInsertPaper};
    for (int i = 0; i < 15; ++i) {
        ASSERT_NE(entries[i], nullptr) << "slot " << i + 1;
        if (slots[i] == '0') {
            EXPECT_EQ(entries[i](nullptr), 0) << "row " << row.ID << " slot " << i + 1;
        } else if (slots[i] == '-') {
            EXPECT_EQ(entries[i](nullptr), -1) << "row " << row.ID << " slot " << i + 1;
        }
    }
}

TEST(Registry, EveryRowReadsFieldByFieldAsTheModelTableGivesIt) {
    ASSERT_TRUE(lib().loaded()) << lib().error();
    auto getList = lib().get<GetListFn>("GetInstrumentList");
    ASSERT_NE(getList, nullptr);
    uint64_t rowSize = 0;
    const InstrumentDescriptor* rows = getList(&rowSize);
    ASSERT_EQ(rowSize, 240u);
    ASSERT_EQ(getList(nullptr), rows);

    const auto* bytes = reinterpret_cast<const uint8_t*>(rows);
    size_t index = 0;
    for (const ExpectedRow& want : kExpected) {
        SCOPED_TRACE("row " + std::to_string(index) + " ID " + std::to_string(want.id));
        const auto& row = *reinterpret_cast<const InstrumentDescriptor*>(bytes + index * rowSize);
        EXPECT_EQ(row.ID, want.id);
        EXPECT_EQ(row.ManufacturerCode, want.maker);
        EXPECT_STREQ(row.pszName, want.name);
        EXPECT_STREQ(row.pszManufacturer, want.manufacturer);
        EXPECT_STREQ(row.pszFullName, want.fullName);
        for (int w = 0; w < 7; ++w)
            EXPECT_EQ(row.Attributes[w], uint32_t(want.attributes[w] - '0')) << "word " << w;
        for (int w = 7; w < 10; ++w) EXPECT_EQ(row.Attributes[w], 0u);
        for (uint64_t r : row.Reserved) EXPECT_EQ(r, 0u);
        expectCharts(row.pChartList, want.charts);
        expectModes(row.pModeList, want.modes);
        expectDefaultSlots(row, want.slots);
        ++index;
    }
    const auto& end = *reinterpret_cast<const InstrumentDescriptor*>(bytes + index * rowSize);
    EXPECT_EQ(end.ID, 0u);
    EXPECT_EQ(end.ManufacturerCode, 0u);
    EXPECT_STREQ(end.pszName, "No Instrument");
    EXPECT_STREQ(end.pszManufacturer, "MFGN_NONE");
    EXPECT_STREQ(end.pszFullName, "No Instrument");
    for (int w = 0; w < 10; ++w) EXPECT_EQ(end.Attributes[w], w == 6 ? 1u : 0u);
    expectCharts(end.pChartList, '-');
    expectModes(end.pModeList, 'N');
    expectDefaultSlots(end, "---------------");
}

TEST(Registry, LookupsByIdNameAndModeWalkTheTableInOrder) {
    auto byId = lib().get<ByIdFn>("GetInstrumentByID");
    auto nzById = lib().get<ByIdFn>("GetInstrumentNZByID");
    auto byName = lib().get<ByNameFn>("GetInstrumentByName");
    auto byFullName = lib().get<ByNameFn>("GetInstrumentByFullName");
    auto next = lib().get<NextFn>("GetNextInstrument");
    auto nextByMode = lib().get<NextByModeFn>("GetNextInstrumentByMode");
    ASSERT_TRUE(byId && nzById && byName && byFullName && next && nextByMode);

    EXPECT_EQ(byName("FD-5BT")->ID, 35u);
    EXPECT_EQ(byName("Barbieri Spectro LFP")->ID, 28u);
    EXPECT_EQ(byFullName("Konica Minolta MYIRO-1")->ID, 55u);
    EXPECT_EQ(byName("fd-5bt"), nullptr) << "names compare case-sensitively";
    EXPECT_EQ(byName(nullptr), nullptr);
    EXPECT_EQ(byId(12345), nullptr);
    EXPECT_EQ(byId(13), nullptr);
    const InstrumentDescriptor* terminator = nzById(12345);
    ASSERT_NE(terminator, nullptr);
    EXPECT_EQ(terminator->ID, 0u);
    EXPECT_EQ(terminator->pfnOpen(nullptr), -1);
    EXPECT_EQ(nzById(999)->ID, 999u);

    std::vector<uint32_t> all;
    for (auto* r = next(nullptr); r != nullptr; r = next(r)) all.push_back(r->ID);
    ASSERT_EQ(all.size(), 39u);
    EXPECT_EQ(all.front(), 28u);
    EXPECT_EQ(all.back(), 999u);
    EXPECT_EQ(next(terminator), nullptr);

    std::vector<uint32_t> emission;
    for (auto* r = nextByMode(nullptr, 19); r != nullptr; r = nextByMode(r, 19)) emission.push_back(r->ID);
    EXPECT_EQ(emission, (std::vector<uint32_t>{15, 21, 22, 48, 49, 50, 11, 23, 51, 52, 62, 64}));
    EXPECT_EQ(nextByMode(nullptr, 2)->ID, 35u);
    EXPECT_EQ(nextByMode(nullptr, 7), nullptr);
    EXPECT_EQ(nextByMode(nullptr, 0xFFFFFFFFu)->ID, 28u);
}

TEST(Registry, VersionAndInfoString) {
    auto version = lib().get<void (*)(uint32_t*)>("GetDllInterfaceVersion");
    auto info = lib().get<int32_t (*)(const char**)>("GetInfoString");
    ASSERT_TRUE(version && info);
    version(nullptr);
    uint32_t pair[2] = {0, 0};
    version(pair);
    EXPECT_EQ(pair[0], 1u);
    EXPECT_EQ(pair[1], 8u);
    const char* text = nullptr;
    EXPECT_EQ(info(&text), -1);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
}

TEST(Exports, OnlyTheListedFunctionsAreVisible) {
    for (const char* name : {"OpenInstrument", "Open2Instrument", "CloseInstrument", "MustCalibrate",
                             "AttachObserver", "LogfileCreate", "SetParameterFile", "SpectrumToXYZ",
                             "SpectrumToDensity"})
        EXPECT_NE(lib().get<void*>(name), nullptr) << name;
    for (const char* name : measure::abi::systemOnlyExports())
        EXPECT_NE(lib().get<void*>(name), nullptr) << name;
    for (const char* name : measure::abi::exportsOfOtherSystems())
        EXPECT_EQ(lib().get<void*>(name), nullptr) << name;
    for (const char* name : {"_ZN7measure3LogEiPKcS2_", "EntryNotSupported", "AllocDllData"})
        EXPECT_EQ(lib().get<void*>(name), nullptr) << name;
}

}  // namespace
