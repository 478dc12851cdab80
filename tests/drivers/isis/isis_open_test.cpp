// Opening the i1iSis row against the SDK stand-in: what the record learns,
// the layout parameter file, the serial number without opening, and the
// reader or SDK that is not there.
#include <gtest/gtest.h>

#include "drivers/isis/isis_host.h"
#include "drivers/xrite/isis/isis.h"

namespace measure::test {
namespace {

class IsisOpen : public ::testing::Test {
protected:
    void SetUp() override { useIsisStandIn(); }
    void TearDown() override { emu_isis_reset(); }
    TempDir dir;
};

TEST_F(IsisOpen, OpenPublishesPortModesSerialAndGivesTheReaderTheLayout) {
    IsisHost host(MEASURE_MODE_SPECTRAL, 48, defaultIsisLayout());
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.rec.port, 11);
    EXPECT_EQ(host.rec.OptionBits & ~uint32_t{opInstrumentOpened},
              uint32_t{opDualScanOption | opM0Mode | opM1Mode | opM2Mode});
    EXPECT_EQ(host.rec.SerialNumber, 1004217u);
    EXPECT_EQ(isis::isisSerialNumber(), "1004217");
    EXPECT_EQ(isis::lastIsisRecord(), host.record());
    // The file's keywords under the reader's option names.
    EXPECT_EQ(isisOption("LargeBarSizeY"), "180");
    EXPECT_EQ(isisOption("DistToLargeBar"), "8");
    EXPECT_EQ(isisOption("DistToFirstField"), "3");
    EXPECT_EQ(host.close(), 0);
    EXPECT_EQ(isis::lastIsisRecord(), nullptr);
}

TEST_F(IsisOpen, WideReaderIsTheXlModelAndModesFollowTheReader) {
    emu_isis_set_text("24034", "330");
    emu_isis_set_text("IlluminationModesKey", "M0;M2");
    IsisHost host(MEASURE_MODE_SPECTRAL, 48, defaultIsisLayout());
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.rec.OptionBits & ~uint32_t{opInstrumentOpened},
              uint32_t{opDualScanOption | opM0Mode | opM2Mode | opiSisIsXLDevice});
}

TEST_F(IsisOpen, EachRefusedParameterFileFailsWithItsTextAndStatus20) {
    const std::string shortFile = writeFile(dir, "short.txt", "ChartSize");
    const std::string noColumns =
        writeFile(dir, "no_columns.txt",
                  "ChartSizeX=210 NumberOfRows=6 BarSizeX=6 BarSizeY=180 "
                  "DistancePaperEdgeToBar=8 DistBarToFirstLine=12 MarkersDistance=15 "
                  "PatchSizeX=20 PatchSizeY=20 MarkerPatchDistance=3");
    const struct {
        std::string file;
        const char* text;
    } cases[] = {
        {dir.file("absent.txt"), "catch(Parameter file not found)"},
        {dir.path(), "catch(Parameter file not found)"},  // a folder, not a file
        {shortFile, "catch(Wrong parameter file)"},
        {noColumns, "catch(Wrong parameter file)"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        IsisHost host(MEASURE_MODE_SPECTRAL, 48, c.file);
        EXPECT_EQ(host.open(), -1) << c.file;
        EXPECT_TRUE(log.has("OpenISIS", c.text)) << c.file;
        host.drain(50);
        EXPECT_EQ(host.values(HostEvent::Status), std::vector<int64_t>{MEASURE_STATUS_PARAMETER_FILE_REFUSED})
            << c.file;
        EXPECT_EQ(host.rec.port, -1);
    }
}

TEST_F(IsisOpen, PreopenFileNameOpensWithoutALayout) {
    IsisHost host(MEASURE_MODE_SPECTRAL, 48, "Preopen file name");
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(isisOption("LargeBarSizeY"), "");
    EXPECT_EQ(emu_isis_count("SetOption ChartSizeX=210"), 0);
}

TEST_F(IsisOpen, PreopenGetSerialFillsTheSerialWordWithoutADriver) {
    emu_isis_set_text("SerialNumber", "2007311");
    {
        LogCapture log;
        IsisHost host(MEASURE_MODE_SPECTRAL, 48, "Preopen Get SN");
        EXPECT_EQ(host.open(), -1);
        EXPECT_EQ(host.rec.SerialNumber, 2007311u);
        EXPECT_EQ(isis::isisSerialNumber(), "2007311");
        EXPECT_EQ(emu_isis_count("IsConnected"), 0);  // never opened
        EXPECT_FALSE(log.has("clISIS::clISIS", ""));
    }
    // A reader that is not there has no serial number.
    emu_isis_set_connected(0);
    LogCapture log;
    IsisHost host(MEASURE_MODE_SPECTRAL, 48, "Preopen Get SN");
    EXPECT_EQ(host.open(), -1);
    EXPECT_EQ(host.rec.SerialNumber, 0u);
    EXPECT_TRUE(log.has("OpenISIS", "catch(not valid)"));
}

TEST_F(IsisOpen, NoReaderOldSdkOrNoSdkFailTheOpen) {
    {
        emu_isis_set_connected(0);
        LogCapture log;
        IsisHost host(MEASURE_MODE_SPECTRAL, 48, defaultIsisLayout());
        EXPECT_EQ(host.open(), -1);
        EXPECT_TRUE(log.has("clISIS::ThreadConstructor", "ISIS_IsConnected()=Device not connected"));
        emu_isis_set_connected(1);
    }
    {
        emu_isis_set_text("Version", "0.9");
        emu_isis_clear_journal();
        LogCapture log;
        IsisHost host(MEASURE_MODE_SPECTRAL, 48, defaultIsisLayout());
        EXPECT_EQ(host.open(), -1);
        EXPECT_TRUE(log.has("clISIS::ThreadConstructor", "Wrong version of EyeOne_iSis.dll, please update!"));
        EXPECT_EQ(emu_isis_count("IsConnected"), 0);
    }
    ScopedEnvironment noSdk("MEASURE_SDK_PATH", dir.path().c_str());
    IsisHost host(MEASURE_MODE_SPECTRAL, 48, defaultIsisLayout());
    EXPECT_EQ(host.open(), -1);
}

}  // namespace
}  // namespace measure::test
