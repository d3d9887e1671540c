// Times the stress kernel alone and a whole run through the real run path.
//   build-bench/bench/client/workload_bench --benchmark_repetitions=5
#include "ReferenceLoop.h"
#include "model/StressWorkload.h"
#include "model/VectorState.h"

#include <benchmark/benchmark.h>

namespace {

constexpr std::int64_t kChildSteps = model::WorkloadSize{}.steps;

void singleChild(benchmark::State& state) {
    for (auto _ : state) {
        model::startWithCleanVectorState(); // as every child of a run does
        benchmark::DoNotOptimize(model::stressSum(kChildSteps));
    }
    state.SetItemsProcessed(state.iterations() * kChildSteps);
}
BENCHMARK(singleChild)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same loop written plainly in a separate translation unit: the yardstick.
void referenceLoop(benchmark::State& state) {
    for (auto _ : state) {
        model::startWithCleanVectorState();
        benchmark::DoNotOptimize(bench::referenceSum(kChildSteps));
    }
    state.SetItemsProcessed(state.iterations() * kChildSteps);
}
BENCHMARK(referenceLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

void wholeRun(benchmark::State& state) {
    for (auto _ : state) {
        const double seconds = model::runStressWorkload(model::WorkloadSize{});
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(wholeRun)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
