// Kernel, pool overhead and timing honesty, measured side by side in one process.
//   build-bench/bench/client/measure_workload [rounds] [hooks]
#include "BenchStats.h"
#include "ReferenceLoop.h"
#include "model/StressWorkload.h"
#include "model/VectorState.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using bench::median;
using bench::printRatios;
using bench::printSeries;

constexpr model::WorkloadSize kProduct{};

// One kernel call, from a clean vector state as every child of a run starts.
double timedChild(std::int64_t steps, double (*kernel)(std::int64_t) = model::stressSum) {
    model::startWithCleanVectorState();
    return bench::timeCall([&] { return kernel(steps); });
}

// Alternates the loops so drifting machine load hits them alike.
void kernel(int rounds) {
    std::vector<double> child, reference, twice;
    for (int r = 0; r < rounds; ++r) {
        child.push_back(timedChild(kProduct.steps));
        reference.push_back(timedChild(kProduct.steps, bench::referenceSum));
        twice.push_back(timedChild(2 * kProduct.steps));
    }
    std::printf("== kernel (%lld steps)\n", static_cast<long long>(kProduct.steps));
    printSeries("child stressSum", child, 1e3, "ms");
    printSeries("reference loop", reference, 1e3, "ms");
    std::printf("child ns/step (median)             %.3f\n",
                median(child) / double(kProduct.steps) * 1e9);
    printRatios("child/reference ", child, reference);
    printRatios("child 2n/n ", twice, child);
}

double plainThreadsRun(const model::WorkloadSize& size) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int k = 0; k < size.tasks; ++k) {
        threads.emplace_back([steps = size.steps] {
            model::startWithCleanVectorState();
            bench::keep(model::stressSum(steps));
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    return bench::secondsSince(start);
}

// T1 is taken between the runs so both see the same load.
void pool(int rounds, unsigned hardwareThreads) {
    std::vector<double> single, run, threads;
    for (int r = 0; r < rounds; ++r) {
        single.push_back(timedChild(kProduct.steps));
        run.push_back(model::runStressWorkload(kProduct));
        threads.push_back(plainThreadsRun(kProduct));
    }
    const double waves = std::ceil(double(kProduct.tasks) / double(hardwareThreads));
    const double ideal = waves * median(single);
    std::printf("== pool (N=%u hardware threads, %d rounds)\n", hardwareThreads, rounds);
    printSeries("T1 single child", single, 1e3, "ms");
    printSeries("run (task group, 24 tasks)", run, 1e3, "ms");
    printSeries("24 plain std::threads", threads, 1e3, "ms");
    std::printf("run / (ceil(24/N) x T1)            %.4f (min-based %.4f)\n", median(run) / ideal,
                bench::minimum(run) / (waves * bench::minimum(single)));
    std::printf("threads / (ceil(24/N) x T1)        %.4f (min-based %.4f)\n",
                median(threads) / ideal,
                bench::minimum(threads) / (waves * bench::minimum(single)));
    // The score is the run time times a constant, so it varies as the run does.
    std::printf("score CV over %d back-to-back runs %.2f %%\n", rounds,
                100 * bench::coefficientOfVariation(run));
}

void doubling() {
    const model::WorkloadSize twice{kProduct.tasks, 2 * kProduct.steps};
    std::vector<double> run1, run2;
    for (int r = 0; r < 3; ++r) {
        run1.push_back(model::runStressWorkload(kProduct));
        run2.push_back(model::runStressWorkload(twice));
    }
    std::printf("== doubling the steps of a whole run (3 rounds)\n");
    printRatios("run   2n/n ", run2, run1);
}

double processCpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// The run with the hooks a terminal front end attaches (a counter and a stop
// check per child) against the run without, alternated so load hits both alike.
// CPU seconds of the whole process too: unlike wall time, they do not grow
// when other processes take the cores.
void hooks(int rounds) {
    std::atomic<int> finished{0};
    std::atomic<bool> stop{false};
    const model::RunHooks attached{[&finished] { ++finished; }, [&stop] { return stop.load(); }};
    std::vector<double> plain, hooked, plainCpu, hookedCpu;
    for (int r = 0; r < rounds; ++r) {
        double cpu = processCpuSeconds();
        plain.push_back(model::runStressWorkload(kProduct));
        plainCpu.push_back(processCpuSeconds() - cpu);
        cpu = processCpuSeconds();
        hooked.push_back(*model::runStressWorkload(kProduct, attached));
        hookedCpu.push_back(processCpuSeconds() - cpu);
    }
    std::printf("== run hooks\n");
    printSeries("run without hooks (wall)", plain, 1e3, "ms");
    printSeries("run with progress and stop hooks", hooked, 1e3, "ms");
    printSeries("run without hooks (process CPU)", plainCpu, 1e3, "ms");
    printSeries("run with hooks (process CPU)", hookedCpu, 1e3, "ms");
    printRatios("hooked/plain wall ", hooked, plain);
    printRatios("hooked/plain CPU  ", hookedCpu, plainCpu);
}

// The reported interval against one taken around the whole call: the gap is
// what the call adds outside the group. An empty group shows the clock's floor.
void interval(int rounds) {
    std::vector<double> gap, empty;
    for (int r = 0; r < rounds; ++r) {
        double inner = 0.0;
        const double outer =
            bench::timeCall([&] { return inner = model::runStressWorkload(kProduct); });
        gap.push_back(outer - inner);
        empty.push_back(model::runStressWorkload(model::WorkloadSize{0, kProduct.steps}));
    }
    std::printf("== measured interval\n");
    printSeries("outer call - reported elapsed", gap, 1e6, "us");
    printSeries("reported elapsed, empty group", empty, 1e6, "us");
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc > 2 && std::string_view(argv[2]) == "hooks") {
        hooks(rounds);
        return 0;
    }
    kernel(rounds);
    pool(rounds, std::thread::hardware_concurrency());
    doubling();
    interval(3);
    return 0;
}
