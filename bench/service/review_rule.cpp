// How the review rule's limits trade genuine results held against fakes let
// through, on simulated processors whose results spread as this benchmark's
// do: a few per cent between runs and machines, a loaded minority up to a
// fifth slower, and throttled laptops slower still. Prints one table per
// board size; the figures chosen go to BENCHMARKS.md.
#include "service/rules/Review.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using service::ReviewFigures;

// One genuine run time, relative to the processor's typical machine.
double genuine(std::mt19937_64& random) {
    std::normal_distribution<double> machine(0.0, 0.03);
    std::normal_distribution<double> run(0.0, 0.022);
    std::uniform_real_distribution<double> share(0.0, 1.0);
    std::exponential_distribution<double> load(1.0 / 0.15);
    std::uniform_real_distribution<double> throttled(1.2, 2.0);
    double time = std::exp(machine(random) + run(random));
    const double kind = share(random);
    if (kind < 0.25) {
        time *= 1.0 + load(random);
    } else if (kind < 0.30) {
        time *= throttled(random);
    }
    return time;
}

ReviewFigures figuresOf(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    const auto n = times.size();
    return ReviewFigures{static_cast<std::int64_t>(n), times[(n - 1) / 4], times[(n - 1) / 2],
                         times[3 * (n - 1) / 4], 0.0};
}

// The share of `trials` times that `hold` holds.
template <class Hold> double heldShare(int trials, Hold hold) {
    int held = 0;
    for (int i = 0; i < trials; ++i) {
        held += hold(i) ? 1 : 0;
    }
    return static_cast<double>(held) / trials;
}

constexpr int kBoards = 200;
constexpr int kTrials = 200;

void table(std::size_t records, std::mt19937_64& random) {
    std::printf("\n%zu records per processor; held share of %d new results on each of %d "
                "processors\nfast limit  slow limit  genuine-fast  genuine-slow  fake 0.5x  0.7x   "
                "0.8x   0.9x\n",
                records, kTrials, kBoards);
    for (const double fastLimit : {3.0, 4.0, 6.0, 8.0}) {
        for (const double slowLimit : {6.0, 12.0, 20.0}) {
            double genuineFast = 0, genuineSlow = 0;
            std::vector<double> fakes(4, 0.0);
            for (int b = 0; b < kBoards; ++b) {
                std::vector<double> times(records);
                std::generate(times.begin(), times.end(), [&] { return genuine(random); });
                const auto f = figuresOf(times);
                const auto held = [&](double t) {
                    const bool fast = t < f.median;
                    const double spread = std::max(fast ? f.median - f.q1 : f.q3 - f.median,
                                                   service::kReviewMinSpread * f.median);
                    const double d = (t - f.median) / spread;
                    return fast ? d < -fastLimit : d > slowLimit;
                };
                std::vector<double> fresh(kTrials);
                std::generate(fresh.begin(), fresh.end(), [&] { return genuine(random); });
                genuineFast += heldShare(
                    kTrials, [&](int i) { return fresh[i] < f.median && held(fresh[i]); });
                genuineSlow += heldShare(
                    kTrials, [&](int i) { return fresh[i] >= f.median && held(fresh[i]); });
                const double factors[] = {0.5, 0.7, 0.8, 0.9};
                for (std::size_t k = 0; k < 4; ++k) {
                    fakes[k] += held(factors[k] * f.median) ? 1.0 : 0.0;
                }
            }
            std::printf("%10.0f  %10.0f  %11.3f%%  %11.3f%%  %8.0f%%  %4.0f%%  %4.0f%%  %4.0f%%\n",
                        fastLimit, slowLimit, 100 * genuineFast / kBoards,
                        100 * genuineSlow / kBoards, 100 * fakes[0] / kBoards,
                        100 * fakes[1] / kBoards, 100 * fakes[2] / kBoards,
                        100 * fakes[3] / kBoards);
        }
    }
}

// A board of six processors with 100 results each, the fastest at 1 and
// the others 1.3 to 3 times slower, its times sorted.
std::vector<double> board(std::mt19937_64& random) {
    std::vector<double> times;
    for (const double slower : {1.0, 1.3, 1.6, 2.0, 2.5, 3.0}) {
        for (int i = 0; i < 100; ++i) {
            times.push_back(slower * genuine(random));
        }
    }
    std::sort(times.begin(), times.end());
    return times;
}

// The board's best, or its reference.
double reference(const std::vector<double>& sorted, bool best) {
    const auto n = std::min(sorted.size(), std::size_t{service::kReviewBoardTimes});
    return best ? sorted.front() : service::boardReference({sorted.begin(), sorted.begin() + n});
}

// Below the minimum, the board bounds a new processor: how often a genuine
// result of a processor up to 1.6 times faster than the board's fastest
// processor falls under each share of the board's best and of its reference.
void newProcessors(std::mt19937_64& random) {
    std::printf("\nnew processor (few records), genuine, up to 1.6x faster than the board's "
                "fastest processor\n");
    std::uniform_real_distribution<double> speedup(1.0, 1.6);
    for (const double share : {0.4, 0.5, 0.6, 0.7}) {
        double held[2] = {}; // by the reference, by the best
        for (int b = 0; b < 100; ++b) {
            const auto times = board(random);
            for (const bool best : {true, false}) {
                held[best] += heldShare(1000, [&](int) {
                    return genuine(random) / speedup(random) < share * reference(times, best);
                });
            }
        }
        std::printf("board share %.1f: genuine held %.3f%% by the best, %.3f%% by the reference\n",
                    share, held[1], held[0]);
    }
}

// A submitter who sends half the bound's time, again and again, each on a new
// processor; and one who sends exactly the bound until the bound halves.
void walks(std::mt19937_64& random) {
    std::printf("\nwalking the board down, share %.1f, on the board above\n",
                service::kReviewBoardShare);
    for (const bool best : {true, false}) {
        auto times = board(random);
        int firstHeld = 0;
        double seconds = service::kReviewBoardShare * reference(times, best);
        for (int step = 1; step <= 60 && firstHeld == 0; ++step, seconds /= 2) {
            if (seconds < service::kReviewBoardShare * reference(times, best)) {
                firstHeld = step;
            } else {
                times.insert(std::lower_bound(times.begin(), times.end(), seconds), seconds);
            }
        }
        times = board(random);
        const double start = reference(times, best);
        int accepted = 0;
        while (reference(times, best) > start / 2 && accepted < 1000) {
            const double bound = service::kReviewBoardShare * reference(times, best);
            times.insert(std::lower_bound(times.begin(), times.end(), bound), bound);
            ++accepted;
        }
        const std::string held =
            firstHeld == 0 ? "none of 60 halvings held"
                           : "first held at halving " + std::to_string(firstHeld) + " of 60";
        std::printf("by the %s: %s; %d results at the bound halve it\n",
                    best ? "best" : "reference", held.c_str(), accepted);
    }
}

} // namespace

int main() {
    std::mt19937_64 random(20261207);
    for (const std::size_t records : {20U, 50U, 200U, 2000U}) {
        table(records, random);
    }
    newProcessors(random);
    walks(random);
}
