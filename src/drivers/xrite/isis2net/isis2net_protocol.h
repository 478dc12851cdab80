// The Ethernet i1iSis's wire: the mDNS query that finds the readers and the
// parser of their answers, and the binary request/response protocol on TCP
// (little-endian integers; texts as a u32 length and their bytes). Pure
// functions and small readers, no sockets, never throwing, never reading
// past what arrived (the parsers are fuzzed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace measure::isis2net {

// Commands.
inline constexpr uint32_t kCommandName = 1;
inline constexpr uint32_t kCommandJobCounter = 0x300;
inline constexpr uint32_t kCommandJobs = 0x100;
inline constexpr uint32_t kCommandSpectralData = 0x101;
inline constexpr uint32_t kCommandColourData = 0x102;
// Colour spaces of kCommandColourData.
inline constexpr uint8_t kColourSpaceLab = 0;
inline constexpr uint8_t kColourSpaceXyz = 6;

inline constexpr size_t kRequestHeaderSize = 12;
inline constexpr size_t kResponseHeaderSize = 16;
// A larger answer is refused before anything is allocated for it.
inline constexpr uint32_t kLongestResponse = 16u * 1024u * 1024u;
// A job record with its job ID is at least this long; so is a job answer
// worth reading.
inline constexpr size_t kShortestJobRecord = 38;
inline constexpr int kSpectralValues = 36;
inline constexpr int kColourValues = 3;

// Builds a request payload item by item.
class PayloadWriter {
public:
    PayloadWriter& text(std::string_view value);
    PayloadWriter& u8(uint8_t value);
    PayloadWriter& u32(uint32_t value);
    PayloadWriter& u64(uint64_t value);
    PayloadWriter& f32(float value);
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Reads items off a payload; a read past the end fails and leaves the value.
class PayloadReader {
public:
    PayloadReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool text(std::string& value);
    bool u32(uint32_t& value);
    bool u64(uint64_t& value);
    size_t remaining() const { return size_ - at_; }
    size_t position() const { return at_; }

private:
    bool take(void* out, size_t n);
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// The 12-byte request header followed by the payload.
std::vector<uint8_t> buildRequest(uint16_t number, uint32_t command, const std::vector<uint8_t>& payload);

struct ResponseHeader {
    uint32_t totalLength = 0;  // header included
    uint32_t status = 0;       // 0 success
};
// False when the announced length is shorter than the header or longer than
// kLongestResponse.
bool parseResponseHeader(const uint8_t* header16, ResponseHeader& out);

// The 40-byte mDNS question for the readers' service (PTR, class IN,
// _i1iSis2NET._tcp.local).
std::vector<uint8_t> buildDiscoveryQuery();

// A reader as its discovery answer describes it: the address of its A
// record, and the texts of its other records (PTR and SRV targets as dotted
// names, TXT strings joined by ","), in the answer's order.
struct DiscoveredReader {
    std::string address;
    std::vector<std::string> texts;
};
// True for a DNS response (flags with high byte 0x84) holding an A record.
bool parseDiscoveryAnswer(const uint8_t* data, size_t size, DiscoveredReader& out);

// A job record of a kCommandJobs answer.
struct JobRecord {
    std::string id;
    uint64_t counter = 0;
    uint32_t status = 0;
};
// The records of a job answer, read while kShortestJobRecord bytes remain.
std::vector<JobRecord> parseJobRecords(const uint8_t* data, size_t size);

// Measurement data: the job ID, then three equal blocks of f32 values for
// M0, M1 and M2, each row by row.
enum class DataError { None, JobIdSize, NotEnoughData };
struct MeasurementData {
    std::string jobId;
    int rows = 0;
    int columns = 0;
    const uint8_t* values = nullptr;  // into the parsed payload
    size_t valueBytes = 0;            // R
};
DataError parseMeasurementData(const uint8_t* data, size_t size, MeasurementData& out);

// How many whole patches of `perPatch` values one block holds, and the
// values of patch `patch` of block `block` (0 M0, 1 M1, 2 M2); the patch must
// lie below patchesInBlock.
size_t patchesInBlock(const MeasurementData& data, int perPatch);
void readPatch(const MeasurementData& data, int block, size_t patch, int perPatch, float* out);

}  // namespace measure::isis2net
