// Opening row 23 through the exports against the i1 SDK stand-in: the head
// must sit on a table that answers, and the table must be new enough.
#include <gtest/gtest.h>

#include "drivers/i1io/i1io_host.h"
#include "support/test_environment.h"

namespace measure::test {
namespace {

class I1ioOpen : public ::testing::Test {
protected:
    void SetUp() override {
        useI1StandIn();
        emu_i1_set_table(1);
    }
    void TearDown() override { emu_i1_reset(); }
};

TEST_F(I1ioOpen, HeadOnTheTableOpensWithTheTableBitAndPort11) {
    emu_i1_set_text("HasUVcutFilter", "1");
    I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.rec.port, 11);
    EXPECT_EQ(host.rec.SerialNumber, 1041234u);
    EXPECT_EQ(host.rec.OptionBits, uint32_t(opInstrumentOpened | opSingleMeasurementOption | opM0Mode |
                                            opUVCutOption | opi1i02isConnected));
    EXPECT_EQ(i1Option("I1T_EnableElectrostaticFoil"), "1");
    EXPECT_EQ(MustCalibrate(host.record()), 1);

    // The foil lets the sheet go at the close.
    EXPECT_EQ(host.close(), 0);
    EXPECT_EQ(i1Option("I1T_EnableElectrostaticFoil"), "0");
}

TEST_F(I1ioOpen, AnI1Pro2HeadReportsItsDualModesConditionsAndResolution) {
    emu_i1_set_model(EMU_I1_MODEL_I1PRO2);
    I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
    ASSERT_EQ(host.open(), 0);
    EXPECT_EQ(host.rec.OptionBits,
              uint32_t(opInstrumentOpened | opSingleMeasurementOption | opDualScanOption | opDualSpotOption |
                       opM0Mode | opM1Mode | opM2Mode | opLowResolution | opi1i02isConnected));
}

TEST_F(I1ioOpen, NoTableNoTableExtensionsOrAnOldTableFailTheOpen) {
    {
        LogCapture log;
        emu_i1_set_table(0);
        I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), -1);
        EXPECT_TRUE(log.contains("i1Pro is not connected to an iO"));
    }
    {
        emu_i1_reset();
        emu_i1_set_table(1);
        emu_i1_table_fail_extensions(73);
        I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), -1);
        EXPECT_EQ(emu_i1_count("I1_OpenDevice"), 0);
    }
    {
        emu_i1_reset();
        emu_i1_set_table(1);
        emu_i1_set_text("I1T_SerialNumber", "22050");
        I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), -1);
        host.drain(50);
        EXPECT_EQ(host.values(HostEvent::Status), (std::vector<int64_t>{MEASURE_STATUS_TABLE_REFUSED}));
        EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_NONE);  // closed again
    }
    {
        emu_i1_reset();
        emu_i1_set_table(1);
        emu_i1_set_text("I1T_SerialNumber", "22051");
        I1ProHost host(kIoRow, MEASURE_MODE_SPECTRAL);
        EXPECT_EQ(host.open(), 0);
    }
}

// Two records on one table: the first close must leave the second its
// result block, so that its close ends its driver and the SDK is let go.
TEST_F(I1ioOpen, TwoOpensOfOneTableLetTheSdkGoWhenBothAreClosed) {
    EXPECT_EQ(emu_i1_library_loaded(EMU_I1_HOLDER_I1PRO), 0);
    {
        I1ProHost first(kIoRow, MEASURE_MODE_SPECTRAL);
        I1ProHost second(kIoRow, MEASURE_MODE_SPECTRAL);
        ASSERT_EQ(first.open(), 0);
        ASSERT_EQ(second.open(), 0);
        EXPECT_EQ(first.close(), 0);
        EXPECT_EQ(emu_i1_library_loaded(EMU_I1_HOLDER_I1PRO), 1);  // the second still uses it
        EXPECT_EQ(second.close(), 0);
        EXPECT_EQ(second.rec.pDllData, nullptr);
    }
    EXPECT_EQ(emu_i1_library_loaded(EMU_I1_HOLDER_I1PRO), 0);
    EXPECT_EQ(emu_i1_holder(), EMU_I1_HOLDER_NONE);
}

TEST_F(I1ioOpen, AnI1ProOnTheTableIsNotTheHandHeldRow) {
    I1ProHost host(11, MEASURE_MODE_SPECTRAL);
    EXPECT_EQ(host.open(), -1);
}

}  // namespace
}  // namespace measure::test
