// A build without the HTTP, JSON and XML libraries refuses the Ricoh
// adjuster with one log line.
#include <gtest/gtest.h>

#include "measure/measure.h"
#include "support/test_environment.h"

namespace {

TEST(RicohUnavailable, OpenFailsWithOneLogLine) {
    measure::test::LogCapture log;
    MEASURE2STRUCT r{};
    r.cb = MEASURE2_RECORD_SIZE;
    r.instrument = 61;
    r.Mode = MEASURE_MODE_CIE_LAB;
    r.NumOfPatchesToRead = 4;
    EXPECT_EQ(Open2Instrument(reinterpret_cast<MEASURESTRUCT*>(&r)), -1);
    EXPECT_EQ(log.count("OpenRicohMonet", "HTTP not available in this build"), 1);
}

}  // namespace
