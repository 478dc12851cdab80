// The TECHKON service emulator's own behaviour: a chart whose patches a
// driver can tell apart, faults that harm only as many requests as scripted,
// and a journal that keeps every request as it came.
#include <gtest/gtest.h>

#include "color/spectral.h"
#include "drivers/techkon/techkon_client.h"
#include "drivers/techkon/techkon_protocol.h"
#include "techkon/techkon_service.h"

namespace measure::emu::techkon {
namespace {

using measure::techkon::clTechcon;
using measure::techkon::Property;

double difference(const Sample& a, const Sample& b) {
    return DeltaE76(a.lab[0], a.lab[1], a.lab[2], b.lab[0], b.lab[1], b.lab[2]);
}

TEST(TechkonServiceEmulator, ChartPatchesDifferFromEachOtherAndFromThePaper) {
    const Chart chart(48);
    for (int i = 0; i < chart.size(); ++i) {
        EXPECT_GT(difference(chart.patch(i), chart.paper()), 6.0) << i;
        for (int k = 0; k < i; ++k)
            EXPECT_GT(difference(chart.patch(i), chart.patch(k)), 1.0) << i << " " << k;
    }
    // A user who scans past the chart's end starts over at its beginning.
    EXPECT_EQ(chart.patch(48).lab, chart.patch(0).lab);
}

TEST(TechkonServiceEmulator, AFaultHarmsAsManyRequestsAsScriptedAndTheJournalKeepsEveryByte) {
    Service service;
    ASSERT_TRUE(service.start());
    service.addFault(Fault::on(Fault::Kind::ReplyData, "getproperty", "ILLUMINANT", "C", 0, 1));
    clTechcon client;
    ASSERT_TRUE(client.connect(service.port()));
    EXPECT_EQ(client.GetProperty(Property::Illuminant), 1);  // "C", once
    EXPECT_EQ(client.GetProperty(Property::Illuminant), 3);  // the service's own D65
    EXPECT_TRUE(client.SetProperty(Property::Illuminant, 0));
    EXPECT_EQ(service.property("Illuminant"), "A");
    const std::vector<std::string> journal = service.journal();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[2], measure::techkon::buildMessage("SetProperty", "Illuminant", "A"));
    EXPECT_EQ(service.count("GetProperty", "Illuminant"), 2);
    EXPECT_EQ(service.connections(), 1);
}

}  // namespace
}  // namespace measure::emu::techkon
