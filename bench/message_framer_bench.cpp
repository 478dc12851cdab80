// Cost of cutting the TCP stream into frames as the read thread does: 512-byte
// reads into frames of growing size. Linear time per byte means the cost per
// byte stays flat as the frame grows towards the 16 MiB limit.
#include <benchmark/benchmark.h>

#include <string>

#include "transport/message_framer.h"

namespace {

void BM_FrameOfSize(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    std::string stream = "BEGIN_MESSAGE\r\n" + std::string(size, 'x') + "\r\nEND_MESSAGE\r\n";
    for (auto _ : state) {
        measure::transport::MessageFramer framer;
        size_t frames = 0;
        for (size_t at = 0; at < stream.size(); at += 512)
            frames += framer.feed(std::string_view(stream).substr(at, 512)).has_value() ? 1 : 0;
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_FrameOfSize)->Arg(1 << 10)->Arg(1 << 16)->Arg(1 << 20)->Arg(15 << 20);

}  // namespace
