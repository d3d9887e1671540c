// Times the stress kernel alone, next to the same loop written plainly in a translation unit of
// its own (the yardstick), and a whole run through the real run path.
//   build-bench/bench/client/workload_bench --benchmark_repetitions=5
#include "ReferenceLoop.h"
#include "model/StressWorkload.h"
#include "model/VectorState.h"

#include <benchmark/benchmark.h>

namespace {

using benchmark::kMillisecond;

constexpr std::int64_t kChildSteps = model::WorkloadSize{}.steps;

void kernel(benchmark::State& state, double (*loop)(std::int64_t)) {
    for (auto _ : state) {
        model::startWithCleanVectorState(); // as every child of a run does
        benchmark::DoNotOptimize(loop(kChildSteps));
    }
    state.SetItemsProcessed(state.iterations() * kChildSteps);
}
BENCHMARK_CAPTURE(kernel, singleChild, model::stressSum)->Unit(kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(kernel, referenceLoop, bench::referenceSum)->Unit(kMillisecond)->UseRealTime();

void wholeRun(benchmark::State& state) {
    for (auto _ : state) {
        const double seconds = model::runStressWorkload(model::WorkloadSize{});
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(wholeRun)->Unit(kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
