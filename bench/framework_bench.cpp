// Costs of the driver framework's hot paths: handing a request to a worker
// and waiting for it (every start entry and every sound pays this), and
// reading a built-in sound before playback.
#include <benchmark/benchmark.h>

#include "framework/sound.h"
#include "framework/wave.h"
#include "framework/worker_thread.h"
#include "platform/clock.h"

namespace {

using measure::framework::clWORKER_THREAD;

void BM_WorkerRequestRoundTrip(benchmark::State& state) {
    clWORKER_THREAD worker(10000, "Bench");
    int counter = 0;
    for (auto _ : state) {
        worker.StartRequest([&counter] { ++counter; });
        worker.WaitRequest(measure::platform::kInfinite);
    }
    benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_WorkerRequestRoundTrip);

void BM_WorkerStartAndStop(benchmark::State& state) {
    for (auto _ : state) {
        clWORKER_THREAD worker(10000, "Bench");
    }
}
BENCHMARK(BM_WorkerStartAndStop);

void BM_ReadFailureSound(benchmark::State& state) {
    const auto bytes = measure::framework::builtInSound(measure::framework::kSoundFailure);
    measure::framework::WaveSound wave;
    for (auto _ : state) benchmark::DoNotOptimize(measure::framework::parseWave(bytes, wave));
}
BENCHMARK(BM_ReadFailureSound);

}  // namespace
