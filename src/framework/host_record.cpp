#include "framework/host_record.h"

#include <cstring>

#include "core/delivery.h"

namespace measure::framework {

HostRecord::~HostRecord() {
    if (detached()) silenceRecord(reinterpret_cast<MEASURESTRUCT*>(&shadow_), false);
}

void HostRecord::detach(uint8_t* block) {
    if (detached()) return;
    MEASURESTRUCT* host = get();
    // Only as much as the host's record holds: the extended part exists only
    // when it was opened as one.
    std::memcpy(&shadow_, host, usingExtendedRecord() ? sizeof(MEASURE2STRUCT) : sizeof(MEASURESTRUCT));
    shadow_.cb = MEASURE2_RECORD_SIZE;
    shadow_.pDllData = block;
    // The parameter file copy is freed by the close.
    shadow_.pszParameterFile = nullptr;
    block_.reset(block);
    silenceRecord(reinterpret_cast<MEASURESTRUCT*>(&shadow_), true);
    current_.store(reinterpret_cast<MEASURESTRUCT*>(&shadow_), std::memory_order_release);
    detached_.store(true, std::memory_order_release);
}

uint8_t* GetResultBlock(const HostRecord& record) {
    if (record.detached()) return record.privateBlock();
    return GetResultBlock(record.get());
}

uint8_t* takeResultBlock(MEASURESTRUCT* record) {
    if (record == nullptr) return nullptr;
    if (usingExtendedRecord()) {
        auto* block = static_cast<uint8_t*>(extended(record)->pDllData);
        extended(record)->pDllData = nullptr;
        return block;
    }
    return exchangeGlobalBlock(nullptr);
}

}  // namespace measure::framework
