#include "drivers/xrite/isis2net/isis2net_protocol.h"

#include <cstring>

namespace measure::isis2net {
namespace {

void putLe(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

constexpr uint16_t kTypeA = 1;
constexpr uint16_t kTypePtr = 12;
constexpr uint16_t kTypeTxt = 16;
constexpr uint16_t kTypeSrv = 33;
constexpr uint8_t kResponseFlags = 0x84;
constexpr size_t kDnsHeader = 12;
// A name's compression pointers followed no further than this (a loop of
// pointers ends here).
constexpr int kMostNameJumps = 32;
constexpr size_t kLongestName = 255;

// Reads the (possibly compressed) name at `at` into `name`; `next` is where
// the record goes on after it. False for a name that runs past the message.
bool readName(const uint8_t* data, size_t size, size_t at, std::string& name, size_t& next) {
    name.clear();
    bool jumped = false;
    int jumps = 0;
    for (;;) {
        if (at >= size) return false;
        const uint8_t length = data[at];
        if ((length & 0xC0) == 0xC0) {
            if (at + 1 >= size || ++jumps > kMostNameJumps) return false;
            if (!jumped) next = at + 2;
            jumped = true;
            at = static_cast<size_t>(length & 0x3F) << 8 | data[at + 1];
            continue;
        }
        if ((length & 0xC0) != 0) return false;
        if (length == 0) {
            if (!jumped) next = at + 1;
            return true;
        }
        if (at + 1 + length > size || name.size() + length + 1 > kLongestName) return false;
        if (!name.empty()) name += '.';
        name.append(reinterpret_cast<const char*>(data + at + 1), length);
        at += 1 + length;
    }
}

}  // namespace

PayloadWriter& PayloadWriter::text(std::string_view value) {
    putLe(bytes_, value.size(), 4);
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    return *this;
}

PayloadWriter& PayloadWriter::u8(uint8_t value) {
    bytes_.push_back(value);
    return *this;
}

PayloadWriter& PayloadWriter::u32(uint32_t value) {
    putLe(bytes_, value, 4);
    return *this;
}

PayloadWriter& PayloadWriter::u64(uint64_t value) {
    putLe(bytes_, value, 8);
    return *this;
}

PayloadWriter& PayloadWriter::f32(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return u32(bits);
}

bool PayloadReader::take(void* out, size_t n) {
    if (remaining() < n) return false;
    std::memcpy(out, data_ + at_, n);
    at_ += n;
    return true;
}

bool PayloadReader::u32(uint32_t& value) {
    uint8_t bytes[4];
    if (!take(bytes, sizeof bytes)) return false;
    value = le32(bytes);
    return true;
}

bool PayloadReader::u64(uint64_t& value) {
    uint8_t bytes[8];
    if (!take(bytes, sizeof bytes)) return false;
    value = static_cast<uint64_t>(le32(bytes + 4)) << 32 | le32(bytes);
    return true;
}

bool PayloadReader::text(std::string& value) {
    const size_t start = at_;
    uint32_t length = 0;
    if (!u32(length) || remaining() < length) {
        at_ = start;
        return false;
    }
    value.assign(reinterpret_cast<const char*>(data_ + at_), length);
    at_ += length;
    return true;
}

std::vector<uint8_t> buildRequest(uint16_t number, uint32_t command, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    out.reserve(kRequestHeaderSize + payload.size());
    putLe(out, payload.size() + kRequestHeaderSize, 4);
    putLe(out, number, 2);
    out.push_back(128);
    out.push_back(0);
    putLe(out, command, 4);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

bool parseResponseHeader(const uint8_t* header16, ResponseHeader& out) {
    out.totalLength = le32(header16);
    out.status = le32(header16 + 12);
    return out.totalLength >= kResponseHeaderSize && out.totalLength <= kLongestResponse;
}

std::vector<uint8_t> buildDiscoveryQuery() {
    // ID 0, flags 0, one question, no records.
    std::vector<uint8_t> out = {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    for (std::string_view label : {"_i1iSis2NET", "_tcp", "local"}) {
        out.push_back(static_cast<uint8_t>(label.size()));
        out.insert(out.end(), label.begin(), label.end());
    }
    out.push_back(0);
    out.insert(out.end(), {0, kTypePtr, 0, 1});
    return out;
}

bool parseDiscoveryAnswer(const uint8_t* data, size_t size, DiscoveredReader& out) {
    out = {};
    if (size < kDnsHeader || data[2] != kResponseFlags) return false;
    const unsigned questions = be16(data + 4);
    const unsigned records = static_cast<unsigned>(be16(data + 6)) + be16(data + 8) + be16(data + 10);
    size_t at = kDnsHeader;
    std::string name;
    for (unsigned q = 0; q < questions; ++q) {
        if (!readName(data, size, at, name, at) || size - at < 4) return false;
        at += 4;
    }
    bool haveAddress = false;
    for (unsigned r = 0; r < records; ++r) {
        if (!readName(data, size, at, name, at) || size - at < 10) return false;
        const uint16_t type = be16(data + at);
        const uint16_t length = be16(data + at + 8);
        const size_t rdata = at + 10;
        if (size - rdata < length) return false;
        at = rdata + length;
        std::string text;
        size_t ignored = 0;
        switch (type) {
            case kTypeA:
                if (length != 4) return false;
                out.address = std::to_string(data[rdata]) + "." + std::to_string(data[rdata + 1]) + "." +
                              std::to_string(data[rdata + 2]) + "." + std::to_string(data[rdata + 3]);
                haveAddress = true;
                break;
            case kTypePtr:
                if (!readName(data, rdata + length, rdata, text, ignored)) return false;
                out.texts.push_back(text);
                break;
            case kTypeSrv:
                if (length < 7 || !readName(data, rdata + length, rdata + 6, text, ignored)) return false;
                out.texts.push_back(text);
                break;
            case kTypeTxt:
                for (size_t p = rdata; p < rdata + length;) {
                    const size_t n = data[p];
                    if (p + 1 + n > rdata + length) return false;
                    if (!text.empty()) text += ',';
                    text.append(reinterpret_cast<const char*>(data + p + 1), n);
                    p += 1 + n;
                }
                out.texts.push_back(text);
                break;
            default:
                break;
        }
    }
    return haveAddress;
}

std::vector<JobRecord> parseJobRecords(const uint8_t* data, size_t size) {
    std::vector<JobRecord> records;
    PayloadReader reader(data, size);
    while (reader.remaining() >= kShortestJobRecord) {
        JobRecord record;
        if (!reader.text(record.id) || !reader.u64(record.counter) || !reader.u32(record.status)) break;
        records.push_back(std::move(record));
    }
    return records;
}

namespace {

int hexPair(std::string_view text) {
    int value = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace

DataError parseMeasurementData(const uint8_t* data, size_t size, MeasurementData& out) {
    out = {};
    PayloadReader reader(data, size);
    if (!reader.text(out.jobId)) return DataError::JobIdSize;
    // Characters 1-2 and 3-4 of the job ID: rows and columns in hexadecimal.
    const int rows = out.jobId.size() >= 4 ? hexPair(std::string_view(out.jobId).substr(0, 2)) : -1;
    const int columns = out.jobId.size() >= 4 ? hexPair(std::string_view(out.jobId).substr(2, 2)) : -1;
    if (rows < 0 || columns < 0) return DataError::JobIdSize;
    out.rows = rows;
    out.columns = columns;
    out.values = data + reader.position();
    out.valueBytes = reader.remaining();
    if (out.valueBytes < static_cast<size_t>(kSpectralValues)) return DataError::NotEnoughData;
    return DataError::None;
}

size_t patchesInBlock(const MeasurementData& data, int perPatch) {
    if (perPatch < 1) return 0;
    const size_t block = data.valueBytes / 3;
    return block / (sizeof(float) * static_cast<size_t>(perPatch));
}

void readPatch(const MeasurementData& data, int block, size_t patch, int perPatch, float* out) {
    const size_t blockBytes = data.valueBytes / 3;
    const uint8_t* p = data.values + static_cast<size_t>(block) * blockBytes +
                       patch * sizeof(float) * static_cast<size_t>(perPatch);
    for (int i = 0; i < perPatch; ++i) {
        const uint32_t bits = le32(p + sizeof(float) * static_cast<size_t>(i));
        std::memcpy(&out[i], &bits, sizeof bits);
    }
}

}  // namespace measure::isis2net
