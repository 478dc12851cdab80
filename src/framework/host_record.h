// The record a driver works on. While the driver is open this is the host's
// record. When a close gives up on a request that ignores the stop (a hung
// SDK call, an error box left open), the host is told the instrument is
// closed and may free its record and forget the result block; the request,
// however, still runs. Before the close returns, the driver is cut loose: it
// then works on a private copy of the record whose notifications go nowhere,
// and writes its results into the block it took over from the host. Nothing
// the abandoned request does reaches memory the host has been told is free.
//
// Threads: read on every driver thread; detach runs once, on the host's
// thread, during the close.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "core/record.h"
#include "measure/measure.h"

namespace measure::framework {

class HostRecord {
public:
    explicit HostRecord(MEASURESTRUCT* record) : current_(record) {}
    ~HostRecord();
    HostRecord(const HostRecord&) = delete;
    HostRecord& operator=(const HostRecord&) = delete;

    MEASURESTRUCT* get() const { return current_.load(std::memory_order_acquire); }
    operator MEASURESTRUCT*() const { return get(); }
    MEASURESTRUCT* operator->() const { return get(); }

    // Host thread, during a close that gives up on a request: from now on
    // the driver works on a silenced private copy, and `block` (the result
    // block taken from the host, or null) is its own until it is destroyed.
    void detach(uint8_t* block);
    bool detached() const { return detached_.load(std::memory_order_acquire); }
    // The block taken over at detach.
    uint8_t* privateBlock() const { return block_.get(); }

private:
    struct FreeBlock {
        void operator()(uint8_t* block) const { FreeDllData(block); }
    };

    std::atomic<MEASURESTRUCT*> current_;
    std::atomic<bool> detached_{false};
    MEASURE2STRUCT shadow_{};
    std::unique_ptr<uint8_t, FreeBlock> block_;
};

// The result block a driver writes into: the host's (GetResultBlock) while it
// is open, the block it took over once cut loose.
uint8_t* GetResultBlock(const HostRecord& record);
using measure::GetResultBlock;

// Takes the record's result block away from the host (the extended record's
// pDllData is cleared, the old record's global block released), so that the
// close does not free what an abandoned request still writes into.
uint8_t* takeResultBlock(MEASURESTRUCT* record);

}  // namespace measure::framework
