// How late the main thread's event loop answers a 5 ms timer, idle and while
// runs of the real view model are in flight (each submission goes to a closed
// loopback port, so it fails fast).
//   build-bench/bench/client/responsiveness [runs]
#include "BenchStats.h"
#include "model/BenchmarkViewModel.h"
#include "submission/Payload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr qint64 kPeriodNs = 5'000'000;
constexpr int kIdleMs = 2000;

struct Session {
    QTimer timer;
    QElapsedTimer clock;
    std::vector<double> idle, busy, runSeconds;
    std::vector<double>* lateness = &idle; // where samples go; nullptr drops them
    std::shared_ptr<model::BenchmarkViewModel> viewModel;
    int runsLeft = 0;

    // Re-armed from each answer, so every sample is one full wait for the loop.
    void answer() {
        if (lateness != nullptr) {
            lateness->push_back(double(clock.nsecsElapsed() - kPeriodNs) / 1e6);
        }
        clock.start();
        timer.start(5);
    }
    void runNext() {
        if (runsLeft-- == 0) {
            lateness = nullptr;
            QCoreApplication::quit();
            return;
        }
        viewModel->startBenchmark();
    }
};

// Every outcome ends a run, so the next starts right after the view model has taken it.
std::shared_ptr<model::BenchmarkViewModel> viewModelFor(Session& session) {
    model::ViewModelSeams seams;
    seams.endpoint = {"https://127.0.0.1:1", "", std::chrono::seconds(5)};
    seams.postToMain = [&session](std::function<void()> item) {
        const auto outcome = [&session, item = std::move(item)] {
            item();
            const double score = session.viewModel->score->value_or(0);
            session.runSeconds.push_back(score / submission::kBuildFactor);
            session.runNext();
        };
        QMetaObject::invokeMethod(QCoreApplication::instance(), outcome, Qt::QueuedConnection);
    };
    return model::BenchmarkViewModel::create(std::move(seams));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Session session;
    session.runsLeft = argc > 1 ? std::atoi(argv[1]) : 3;
    session.viewModel = viewModelFor(session);
    session.timer.setTimerType(Qt::PreciseTimer);
    session.timer.setSingleShot(true);
    QObject::connect(&session.timer, &QTimer::timeout, [&session] { session.answer(); });
    session.clock.start();
    session.timer.start(5);
    QTimer::singleShot(kIdleMs, [&session] {
        session.lateness = &session.busy;
        session.runNext();
    });
    QCoreApplication::exec();
    std::printf("%d hardware threads\n", int(std::thread::hardware_concurrency()));
    for (const auto& [label, late] : {std::pair{"idle", session.idle}, {"during", session.busy}}) {
        std::printf("%-10s samples=%-5zu p50=%.3f p99=%.3f max=%.3f ms late\n", label, late.size(),
                    bench::percentile(late, 50), bench::percentile(late, 99),
                    bench::percentile(late, 100));
    }
    bench::printSeries("run (reported)", session.runSeconds, 1e3, "ms");
    return 0;
}
