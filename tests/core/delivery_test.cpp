// Notifications reach the host by window first, observer second, else not at
// all; window messages keep their order and sent messages wait for the host.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "core/delivery.h"
#include "core/record.h"
#include "support/host_window.h"
#include "support/test_environment.h"

namespace measure {
namespace {

struct Call {
    int slot;
    uint32_t message;
    uint64_t a;
    int64_t b;
};

// A host observer written in C++, called through the library's C view.
class RecordingObserver : public MeasureObserver {
public:
    void OnScanspeedStatus(uint32_t m, uint32_t k, uint32_t v) override { add(2, m, k, v); }
    void OnPassno(uint32_t m, uint32_t k, int32_t v) override { add(3, m, k, v); }
    void OnPageno(uint32_t m, uint32_t k, int32_t v) override { add(4, m, k, v); }
    void OnPassEnd(uint32_t m, uint32_t k, uint32_t v) override { add(5, m, k, v); }
    void OnStatusCode(uint32_t m, uint32_t k, int32_t v) override { add(6, m, k, v); }
    void OnMeasureData(uint32_t m, uint64_t w, void* p) override {
        add(7, m, w, reinterpret_cast<int64_t>(p));
    }
    void OnThreadEnd(uint32_t m, int32_t code) override { add(9, m, 0, code); }
    void OnBeep(uint32_t m, uint32_t f, uint32_t d) override { add(10, m, f, d); }

    std::vector<Call> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void add(int slot, uint32_t m, uint64_t a, int64_t b) {
        std::lock_guard lock(mutex_);
        calls_.push_back({slot, m, a, b});
    }
    std::mutex mutex_;
    std::vector<Call> calls_;
};

class Delivery : public ::testing::Test {
protected:
    void SetUp() override { record_.Message = 0x8000; }
    void TearDown() override {
        DetachObserver();
        forgetWindow();
    }
    std::vector<test::HostMessage> drain() { return window_.drain(); }

    test::HostWindow window_;
    MEASURESTRUCT record_{};
    RecordingObserver observer_;
};

TEST_F(Delivery, WindowBeatsObserver) {
    AttachObserver(&observer_);
    record_.hWnd = window_.handle();
    PostStatusCode(&record_, 3);
    PostPassno(&record_, -3);
    PostThreadEndMessage(&record_, MEASURE_END_STOPPED);
    int marker = 0;
    PostMeasureData(&record_, 0, &marker);
    const auto got = drain();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].message, 0x8001u);
    EXPECT_EQ(got[0].wParam, uint64_t(MEASURE_KIND_STATUS));
    EXPECT_EQ(got[0].lParam, 3);
    EXPECT_EQ(got[1].wParam, uint64_t(MEASURE_KIND_PASSNO));
    EXPECT_EQ(got[1].lParam, -3);
    EXPECT_EQ(got[2].message, 0x8002u);
    EXPECT_EQ(got[2].wParam, 1u);
    EXPECT_EQ(got[3].message, 0x8004u);
    EXPECT_EQ(got[3].lParam, reinterpret_cast<int64_t>(&marker));
    EXPECT_TRUE(observer_.calls().empty());
}

TEST_F(Delivery, ObserverGetsEverySlotWithItsMessageAndKind) {
    AttachObserver(&observer_);
    int marker = 0;
    PostScanspeedStatus(&record_, 12);
    PostPassno(&record_, 2);
    PostPageno(&record_, 1);
    PostPassEnd(&record_, 7);
    PostStatusCode(&record_, 16);
    PostMeasureData(&record_, 0, &marker);
    PostThreadEndMessage(&record_, MEASURE_END_FAILED);
    NotifyBeep(1600, 32);
    const auto calls = observer_.calls();
    ASSERT_EQ(calls.size(), 8u);
    const int slots[] = {2, 3, 4, 5, 6, 7, 9, 10};
    const uint64_t kinds[] = {1, 2, 5, 3, 4, 0, 0, 1600};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(calls[i].slot, slots[i]) << i;
        EXPECT_EQ(calls[i].a, kinds[i]) << i;
    }
    EXPECT_EQ(calls[0].message, 0x8001u);
    EXPECT_EQ(calls[0].b, 12);
    EXPECT_EQ(calls[5].message, 0x8004u);
    EXPECT_EQ(calls[5].b, reinterpret_cast<int64_t>(&marker));
    EXPECT_EQ(calls[6].message, 0x8002u);
    EXPECT_EQ(calls[6].b, 3);
    EXPECT_EQ(calls[7].message, 0u);
    EXPECT_EQ(calls[7].b, 32);
}

TEST_F(Delivery, WithNeitherChannelOnlyTheThreadEndLeavesATrace) {
    test::LogCapture log;
    PostStatusCode(&record_, 3);
    PostPassno(&record_, 1);
    EXPECT_EQ(log.text().find("PostStatusCode"), std::string::npos);
    PostThreadEndMessage(&record_, 0);
    EXPECT_TRUE(log.contains("PostThreadEndMessage: hWnd==NULL\tand observer==NULL"));
}

TEST_F(Delivery, MessageZeroRefusesOnlyTheThreadEnd) {
    test::LogCapture log;
    record_.hWnd = window_.handle();
    record_.Message = 0;
    PostStatusCode(&record_, 4);
    PostThreadEndMessage(&record_, 0);
    // The status goes out as message 1; Windows itself refuses to post it
    // (its message 1 carries a pointer), the POSIX queue takes it.
    const auto got = drain();
    ASSERT_EQ(got.size(), test::systemRefusesPointerMessages() ? 0u : 1u);
    for (const auto& m : got) {
        EXPECT_EQ(m.message, 1u);
        EXPECT_EQ(m.lParam, 4);
    }
    EXPECT_TRUE(log.contains("PostThreadEndMessage: Message==0"));
}

TEST_F(Delivery, ANullRecordUsesTheRememberedWindowExceptForData) {
    test::LogCapture log;
    rememberWindow(window_.handle(), 0x500);
    PostStatusCode(nullptr, 9);
    PostThreadEndMessage(nullptr, 1);
    const auto got = drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, 0x501u);
    EXPECT_EQ(got[1].message, 0x502u);
    EXPECT_TRUE(log.contains("PostStatusCode: pMeasure==NULL"));
    EXPECT_THROW(PostMeasureData(nullptr, 0, nullptr), std::runtime_error);
}

TEST_F(Delivery, PostedMessagesKeepTheirOrderUnderLoadFromSeveralThreads) {
    record_.hWnd = window_.handle();
    constexpr int kThreads = 4, kEach = 2000;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            MEASURESTRUCT mine = record_;
            mine.Message = 0x8000 + 0x100 * t;
            for (int i = 0; i < kEach; ++i) PostStatusCode(&mine, i);
        });
    std::vector<int> next(kThreads, 0);
    int received = 0;
    test::HostMessage msg{};
    while (received < kThreads * kEach && window_.next(msg, 5000) == 1) {
        const int t = int((msg.message - 0x8000) / 0x100);
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(msg.lParam, next[t]) << "thread " << t;
        next[t] = int(msg.lParam) + 1;
        ++received;
    }
    for (auto& p : posters) p.join();
    EXPECT_EQ(received, kThreads * kEach);
}

TEST_F(Delivery, ASentDensityNotificationWaitsUntilTheHostTakesIt) {
    record_.hWnd = window_.handle();
    record_.NumOfMeasurements = 1;
    std::atomic<bool> returned{false};
    std::thread driver([&] {
        NotifyDensitySlot(&record_, true, nullptr);
        returned = true;
    });
    test::HostMessage msg{};
    ASSERT_EQ(window_.next(msg, 5000), 1);
    EXPECT_EQ(msg.message, 0x8000u);
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, reinterpret_cast<int64_t>(&record_.Density[0][0]));
    driver.join();
    EXPECT_TRUE(returned);
}

TEST_F(Delivery, DestroyingTheWindowReleasesABlockedSender) {
    test::HostWindow doomed;
    record_.hWnd = doomed.handle();
    record_.NumOfMeasurements = 1;
    std::thread driver([&] { NotifyDensitySlot(&record_, true, nullptr); });
    // Wait until the message is queued, then pull the window away.
    test::HostMessage msg{};
    while (doomed.next(msg, 0) == 0) std::this_thread::yield();
    record_.NumOfMeasurements = 2;
    std::thread second([&] { NotifyDensitySlot(&record_, true, nullptr); });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    doomed.destroy();
    second.join();
    driver.join();
    EXPECT_EQ(doomed.next(msg, 0), -1);
}

// A host that never reads its window (it is busy closing the instrument)
// must not keep the request forever: the stop withdraws the message.
TEST_F(Delivery, AStoppedRequestGivesUpItsSentNotification) {
    record_.hWnd = window_.handle();
    record_.NumOfMeasurements = 3;
    std::atomic<bool> stop{false};
    std::atomic<bool> returned{false};
    std::thread driver([&] {
        NotifyDensitySlot(&record_, true, &stop);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(returned);
    stop = true;
    driver.join();
    test::HostMessage msg{};
    EXPECT_EQ(window_.next(msg, 0), test::systemWithdrawsCancelledSends() ? 0 : 1)
        << "the withdrawn message still reached the host";
}

}  // namespace
}  // namespace measure

namespace measure {
namespace {

TEST(ResultForms, SpectralAndThreeValueFormsReadAsTheHostExpects) {
    auto* block = static_cast<uint8_t*>(AllocDllData(2));
    ASSERT_NE(block, nullptr);
    double bands[36];
    for (int i = 0; i < 36; ++i) bands[i] = i / 100.0;
    const double lab[3] = {50, -2, 3};
    ASSERT_TRUE(writeSpectrum(block, 0, bands, lab));
    ASSERT_TRUE(writeSpectralCount(block, 1));
    const auto* spectral = static_cast<const MEASURE_SPECTRAL_RESULT*>(deliveredResult(block));
    EXPECT_EQ(spectral->StartNm, 380u);
    EXPECT_EQ(spectral->StepNm, 10u);
    EXPECT_EQ(spectral->NumBands, 36u);
    EXPECT_EQ(spectral->NumPatches, 1u);
    EXPECT_DOUBLE_EQ(MEASURE_SPECTRAL_PATCH(spectral, 0)[35], 0.35);
    EXPECT_DOUBLE_EQ(MEASURE_SPECTRAL_PATCH(spectral, 0)[36], 50);
    EXPECT_DOUBLE_EQ(MEASURE_SPECTRAL_PATCH(spectral, 0)[38], 3);

    ASSERT_TRUE(writeTriple(block, 1, 10, 20, 30));
    ASSERT_TRUE(writeTripleCount(block, 2));
    const auto* triple = static_cast<const MEASURE_TRIPLE_RESULT*>(deliveredResult(block));
    EXPECT_EQ(triple->NumPatches, 2u);
    // A count past the block is never announced.
    EXPECT_FALSE(writeTripleCount(block, 5000));
    EXPECT_EQ(triple->NumPatches, 256u);
    EXPECT_FALSE(writeSpectralCount(block, 257));
    EXPECT_EQ(spectral->NumPatches, 256u);
    EXPECT_DOUBLE_EQ(MEASURE_TRIPLE_VALUES(triple, 1)[2], 30);
    EXPECT_FALSE(writeTriple(block, 256, 1, 2, 3)) << "beyond the capacity";
    EXPECT_FALSE(writeTriple(nullptr, 0, 1, 2, 3));
    FreeDllData(block);
}

}  // namespace
}  // namespace measure
