// The store's own cost of one submission, without HTTP or TLS: N records of
// one processor added one after another to the database given, timed in
// process, each among the fastest of its processor so that its rank walks
// few index entries. Usage: add_cost DATABASE N
#include "service/store/SqlScoreStore.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: add_cost DATABASE N\n");
        return 2;
    }
    const auto store = service::openStore(
        argv[1], [](const std::string& e) { std::fprintf(stderr, "%s\n", e.c_str()); });
    const int n = std::stoi(argv[2]);
    const auto cpu0 = std::clock();
    const auto wall0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
        const double t = 20.0 + (i % 200) * 0.001;
        store->add({"add cost", "AMD EPYC 7B13", 16, t, t * 1.5 / 3.5, 0, 0},
                   "2026-12-07T00:00:00.000Z");
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    std::printf("%d adds: %.3f ms wall, %.3f ms CPU each\n", n, 1000 * wall / n,
                1000.0 * static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC / n);
}
