// The export frame as a host meets it: record checks, result block, fixed
// answers, dispatch to the row's driver, and what an escaping exception does.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "core/delivery.h"
#include "core/record.h"
#include "interface/export_frame.h"
#include "interface/registry.h"
#include "support/host_window.h"
#include "support/test_environment.h"

namespace measure {
namespace {

// A driver of the test's own, standing behind ID 4242.
struct TestDriver {
    static inline int opens = 0;
    static inline int closes = 0;
    static inline int32_t openResult = 0;
    static int32_t open(MEASURESTRUCT* m) {
        ++opens;
        m->port = 11;
        return openResult;
    }
    static int32_t close(MEASURESTRUCT*) {
        ++closes;
        return 0;
    }
    static int32_t throwStd(MEASURESTRUCT*) { throw std::runtime_error("MoveAbsXY"); }
    static int32_t throwOther(MEASURESTRUCT*) { throw 42; }
    static int32_t mustCalibrate(MEASURESTRUCT*) { return 1; }
};

class ExportFrame : public ::testing::Test {
protected:
    void SetUp() override {
        TestDriver::opens = TestDriver::closes = 0;
        TestDriver::openResult = 0;
        row_ = *GetInstrumentNZByID(0);
        row_.ID = 4242;
        row_.pfnOpen = &TestDriver::open;
        row_.pfnClose = &TestDriver::close;
        row_.pfnStartMultiMeasure = &TestDriver::throwStd;
        row_.pfnSingleMeasure = &TestDriver::throwOther;
        row_.pfnMustCalibrate = &TestDriver::mustCalibrate;
        setTestDriverRow(&row_);
        std::memset(&record_, 0, sizeof record_);
        record_.instrument = 4242;
        record_.cb = MEASURE2_RECORD_SIZE;
        record_.NumOfPatchesToRead = 24;
        record_.Mode = MEASURE_MODE_SPECTRAL;
    }
    void TearDown() override {
        if (record_.pDllData != nullptr) CloseInstrument(old());
        setTestDriverRow(nullptr);
    }
    MEASURESTRUCT* old() { return reinterpret_cast<MEASURESTRUCT*>(&record_); }

    InstrumentDescriptor row_{};
    MEASURE2STRUCT record_{};
};

TEST_F(ExportFrame, NullRecordIsRefusedSilentlyByEveryRecordExport) {
    test::LogCapture log;
    for (auto fn : {OpenInstrument, Open2Instrument, SetupInstrument, WhiteCalibration, BlackCalibration,
                    StartSingleMeasure, SingleMeasure, StopSingleMeasure, StartMultiMeasure,
                    StartSimpleMultiMeasure, StopMultiMeasure, CancelStripePass, StartRegisterCorners,
                    StartInsertPaper, MustCalibrate, MustInsertPage, MustRegisterCorners, CloseInstrument})
        EXPECT_EQ(fn(nullptr), -1);
    EXPECT_EQ(log.text(), "");
}

TEST_F(ExportFrame, ExtendedOpenRefusesAnOldSizedRecordAndLogsBothSizes) {
    test::LogCapture log;
    record_.cb = MEASURE_RECORD_SIZE;
    EXPECT_EQ(Open2Instrument(old()), -1);
    EXPECT_EQ(record_.pDllData, nullptr);
    EXPECT_EQ(record_.port, -1);
    EXPECT_EQ(TestDriver::opens, 0);
    EXPECT_TRUE(log.contains("Open2Instrument: sizeof(MEASURE2STRUCT)=2304, pMeasure->cb=2080"));
}

// A host that passes the plain record to Open2Instrument: nothing past the
// 2088 bytes up to and including cb may be written before cb is checked.
TEST_F(ExportFrame, ExtendedOpenWritesNothingBeyondAPlainRecordBeforeCheckingItsSize) {
    EXPECT_EQ(SetParameterFile("/charts/layout.txt"), 0);
    std::vector<uint8_t> bytes(sizeof(MEASURE2STRUCT), 0xA5);
    std::memcpy(bytes.data(), &record_, MEASURE_RECORD_SIZE);
    const uint32_t cb = MEASURE_RECORD_SIZE;
    std::memcpy(bytes.data() + MEASURE_RECORD_SIZE, &cb, sizeof cb);
    EXPECT_EQ(Open2Instrument(reinterpret_cast<MEASURESTRUCT*>(bytes.data())), -1);
    for (size_t i = MEASURE_RECORD_SIZE + 8; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], 0xA5) << "byte " << i << " written";
    EXPECT_EQ(SetParameterFile(nullptr), 0);
}

TEST_F(ExportFrame, OpenAllocatesTheBlockCallsTheDriverAndCloseUndoesIt) {
    test::LogCapture log;
    ASSERT_EQ(Open2Instrument(old()), 0);
    EXPECT_EQ(TestDriver::opens, 1);
    EXPECT_EQ(record_.port, 11);
    EXPECT_EQ(record_.OptionBits, uint32_t(opInstrumentOpened));
    ASSERT_NE(record_.pDllData, nullptr);
    EXPECT_TRUE(usingExtendedRecord());
    EXPECT_EQ(GetResultBlock(old()), record_.pDllData);
    EXPECT_EQ(resultCapacity(GetResultBlock(old())), 256u);
    EXPECT_EQ(openInstrumentId(), 4242u);

    // A second open on the filled record is refused and leaves it open.
    void* block = record_.pDllData;
    EXPECT_EQ(Open2Instrument(old()), -1);
    EXPECT_EQ(record_.pDllData, block);
    EXPECT_EQ(record_.port, -1) << "a refused open resets the port";
    EXPECT_TRUE(log.contains("pMeasure->pDllData != NULL, already open?"));

    EXPECT_EQ(CloseInstrument(old()), 0);
    EXPECT_EQ(TestDriver::closes, 1);
    EXPECT_EQ(record_.port, -1);
    EXPECT_EQ(record_.pDllData, nullptr);
    EXPECT_FALSE(usingExtendedRecord());
    EXPECT_EQ(openInstrumentId(), 0u);
    EXPECT_TRUE(log.contains("Open2Instrument: result=0"));
    // The refused second open already set the port to -1, so the close logs
    // the record with -1 before and after the driver's close.
    EXPECT_EQ(log.count("CloseInstrument", "instrument=4242, port=-1, Mode=4"), 2) << log.text();
    EXPECT_FALSE(log.contains("CloseInstrument: instrument=4242, port=11")) << log.text();
}

TEST_F(ExportFrame, AFailedDriverOpenFreesTheBlockAndResetsThePort) {
    TestDriver::openResult = -1;
    EXPECT_EQ(Open2Instrument(old()), -1);
    EXPECT_EQ(record_.pDllData, nullptr);
    EXPECT_EQ(record_.port, -1);
    EXPECT_FALSE(usingExtendedRecord());
    // An unknown ID reaches the terminator's default entry.
    record_.instrument = 12345;
    EXPECT_EQ(Open2Instrument(old()), -1);
    EXPECT_EQ(record_.pDllData, nullptr);
}

TEST_F(ExportFrame, PatchCountSizesTheBlockAndAbsurdCountsFailCleanly) {
    test::LogCapture log;
    record_.NumOfPatchesToRead = 0;
    EXPECT_EQ(Open2Instrument(old()), -1);
    EXPECT_TRUE(log.contains("pMeasure->pDllData alloc fail"));
    EXPECT_EQ(TestDriver::opens, 0);
    EXPECT_EQ(record_.pDllData, nullptr);

    record_.NumOfPatchesToRead = 2147483647;
    EXPECT_EQ(Open2Instrument(old()), -1);
    EXPECT_EQ(record_.pDllData, nullptr);

    record_.NumOfPatchesToRead = -5;
    EXPECT_EQ(Open2Instrument(old()), -1);

    record_.NumOfPatchesToRead = 300;
    ASSERT_EQ(Open2Instrument(old()), 0);
    EXPECT_EQ(resultCapacity(GetResultBlock(old())), 300u);
    EXPECT_EQ(resultBlockBytes(300), 4800048u + 44u * 1600u);
    EXPECT_TRUE(log.contains("AllocDllData: delta=70400"));
    // The last patch slot of a spectral block is writable; one past is refused.
    const double white[36] = {1.0};
    EXPECT_TRUE(writeSpectrum(GetResultBlock(old()), 299, white));
    EXPECT_FALSE(writeSpectrum(GetResultBlock(old()), 300, white));
}

TEST_F(ExportFrame, OldRecordOpenTakesOnlyDensityModes) {
    test::LogCapture log;
    record_.Mode = MEASURE_MODE_CIE_XYZ;
    EXPECT_EQ(OpenInstrument(old()), -1);
    EXPECT_TRUE(log.contains("PMEASURE2STRUCT required, use Open2Instrument!"));
    EXPECT_EQ(TestDriver::opens, 0);

    record_.Mode = MEASURE_MODE_DIN_16536_NARROW;
    ASSERT_EQ(OpenInstrument(old()), 0);
    EXPECT_FALSE(usingExtendedRecord());
    uint8_t* global = GetResultBlock(old());
    ASSERT_NE(global, nullptr);
    EXPECT_NE(static_cast<void*>(global), record_.pDllData);
    EXPECT_EQ(CloseInstrument(old()), 0);
    EXPECT_EQ(GetResultBlock(old()), nullptr);
    EXPECT_EQ(record_.port, -1);
}

TEST_F(ExportFrame, FixedAnswersNeedNoDriver) {
    auto ask = [&](int32_t (*fn)(MEASURESTRUCT*), uint32_t id) {
        record_.instrument = id;
        return fn(old());
    };
    for (uint32_t id : {5, 23, 28, 29, 33, 43}) EXPECT_EQ(ask(MustInsertPage, id), 1) << id;
    for (uint32_t id : {14, 17, 26, 27, 31, 32}) EXPECT_EQ(ask(MustInsertPage, id), 2) << id;
    for (uint32_t id : {11, 999, 0, 12345}) EXPECT_EQ(ask(MustInsertPage, id), 0) << id;
    for (uint32_t id : {5, 23, 28, 29, 31, 32, 33, 43}) EXPECT_EQ(ask(MustRegisterCorners, id), 1) << id;
    for (uint32_t id : {11, 26, 999}) EXPECT_EQ(ask(MustRegisterCorners, id), 0) << id;
    for (uint32_t id : {5, 14, 17, 26, 27, 28, 29, 31, 32, 33, 34, 43})
        EXPECT_EQ(ask(MustCalibrate, id), 0) << id;
    // Every other ID asks its driver.
    EXPECT_EQ(ask(MustCalibrate, 4242), 1);
    EXPECT_EQ(ask(MustCalibrate, 12345), -1);
}

TEST_F(ExportFrame, CancelStripePassIsRefusedForEveryRow) {
    for (const InstrumentDescriptor* r = GetNextInstrument(nullptr); r != nullptr; r = GetNextInstrument(r)) {
        record_.instrument = r->ID;
        EXPECT_EQ(CancelStripePass(old()), -1) << r->ID;
    }
}

TEST_F(ExportFrame, AnEscapingExceptionBecomesTheErrorBoxAndMinusOne) {
    test::ErrorBoxCapture boxes;
    test::LogCapture log;
    EXPECT_EQ(StartMultiMeasure(old()), -1);
    EXPECT_EQ(StartSingleMeasure(old()), -1);
    ASSERT_EQ(boxes.texts().size(), 2u);
    EXPECT_EQ(boxes.texts()[0], "Exception in StartMultiMeasure: MoveAbsXY");
    EXPECT_EQ(boxes.texts()[1], "Exception in StartSingleMeasure");
    EXPECT_EQ(boxes.captions()[0], "measure.dll Error");
    EXPECT_TRUE(log.contains("ExceptionMessageBox: Exception in StartMultiMeasure: MoveAbsXY"));
}

TEST_F(ExportFrame, StartExportsRememberTheWindowAndCloseForgetsIt) {
    test::HostWindow host;
    const HWND window = host.handle();
    record_.hWnd = window;
    record_.Message = 0x400;
    ASSERT_EQ(Open2Instrument(old()), 0);
    HWND remembered = nullptr;
    uint32_t message = 0;
    rememberedWindow(remembered, message);
    EXPECT_EQ(remembered, nullptr) << "open does not remember the window";
    WhiteCalibration(old());
    rememberedWindow(remembered, message);
    EXPECT_EQ(remembered, window);
    EXPECT_EQ(message, 0x400u);
    CloseInstrument(old());
    rememberedWindow(remembered, message);
    EXPECT_EQ(remembered, nullptr);
}

TEST_F(ExportFrame, ParameterFileNameReachesTheDriverThroughTheRecord) {
    EXPECT_EQ(SetParameterFile("/charts/layout.txt"), 0);
    ASSERT_EQ(Open2Instrument(old()), 0);
    ASSERT_NE(record_.pszParameterFile, nullptr);
    EXPECT_STREQ(record_.pszParameterFile, "/charts/layout.txt");
    test::LogCapture log;  // logs the record's name, so it is read again
    CloseInstrument(old());
    // Close freed the name and the record no longer points at it: the next
    // open gets none.
    EXPECT_EQ(record_.pszParameterFile, nullptr);
    ASSERT_EQ(Open2Instrument(old()), 0);
    EXPECT_EQ(record_.pszParameterFile, nullptr);
    EXPECT_EQ(SetParameterFile(nullptr), 0);
    EXPECT_EQ(SetKeyCode(27), 27u);
    EXPECT_EQ(keyCode(), 27u);
    EXPECT_EQ(SetUseMeas2Struct(0), 0);
    EXPECT_FALSE(usingExtendedRecord());
    SetUseMeas2Struct(1);
}

TEST(RecordHelpers, PassPlanFollowsPatchesPerLine) {
    MEASURE2STRUCT r{};
    auto* m = reinterpret_cast<MEASURESTRUCT*>(&r);
    int passes = -1, patches = -1;
    setUsingExtendedRecord(true);
    r.NumOfPatchesToRead = 100;
    EXPECT_FALSE(SpecifiedPassesPatches(passes, patches, m));
    r.NumPatchesPerLine = 24;
    ASSERT_TRUE(SpecifiedPassesPatches(passes, patches, m));
    EXPECT_EQ(passes, 5);
    EXPECT_EQ(patches, 24);
    r.NumOfPatchesToRead = 20;
    ASSERT_TRUE(SpecifiedPassesPatches(passes, patches, m));
    EXPECT_EQ(passes, 1);
    EXPECT_EQ(patches, 20);
    // The old record has no pass geometry at all.
    setUsingExtendedRecord(false);
    EXPECT_FALSE(SpecifiedPassesPatches(passes, patches, m));
    EXPECT_FALSE(IsAlternatingRequested(m));
    setUsingExtendedRecord(true);
    r.bAlternating = 1;
    EXPECT_TRUE(IsAlternatingRequested(m));
    EXPECT_FALSE(SpecifiedPatchDimensions(m));
    r.CellX = 6000;
    EXPECT_TRUE(SpecifiedPatchDimensions(m));
    setUsingExtendedRecord(false);
}

TEST(RecordHelpers, DensitiesAreStoredTimesThousandTruncatedAndNeverNegative) {
    MEASURESTRUCT r{};
    StoreDensities(&r, 3, 1.2346, 0.0009, -0.5, 2.0);
    EXPECT_EQ(r.Density[3][0], 1234);
    EXPECT_EQ(r.Density[3][1], 0);
    EXPECT_EQ(r.Density[3][2], 0);
    EXPECT_EQ(r.Density[3][3], 2000);
    StoreDensities(&r, 256, 1, 1, 1, 1);  // outside the record: ignored
    StoreDensities(&r, -1, 1, 1, 1, 1);
    EXPECT_EQ(r.Density[255][0], 0);
}

}  // namespace
}  // namespace measure
