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

// Re-arms a 5 ms single-shot timer from each answer, so every sample is one
// full wait for the loop, and records how far past 5 ms the answer came.
class LatenessProbe {
public:
    LatenessProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
    }
    void start() {
        clock_.start();
        timer_.start(5);
    }
    // Samples taken from now on go to `into` (nullptr: dropped).
    void recordInto(std::vector<double>* into) { into_ = into; }

private:
    void answer() {
        const qint64 late = clock_.nsecsElapsed() - kPeriodNs;
        if (into_ != nullptr) {
            into_->push_back(double(late) / 1e6);
        }
        clock_.start();
        timer_.start(5);
    }
    QTimer timer_;
    QElapsedTimer clock_;
    std::vector<double>* into_ = nullptr;
};

using Finished = std::function<void(double)>; // the run's reported seconds
using RunStarter = std::function<void(Finished)>;

void postToApp(std::function<void()> item) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(item), Qt::QueuedConnection);
}

RunStarter viewModelRuns() {
    auto finished = std::make_shared<std::function<void()>>();
    model::ViewModelSeams seams;
    seams.endpoint = {"https://127.0.0.1:1", "", std::chrono::seconds(5)};
    // Every outcome ends a run, so the probe learns of it right after the view model.
    seams.postToMain = [finished](std::function<void()> item) {
        postToApp([finished, item = std::move(item)] {
            item();
            (*finished)();
        });
    };
    auto viewModel = model::BenchmarkViewModel::create(std::move(seams));
    return [viewModel, finished](Finished done) {
        *finished = [viewModel, done = std::move(done)] {
            done(viewModel->score->value_or(0) / submission::kBuildFactor);
        };
        viewModel->startBenchmark();
    };
}

void report(const char* label, const std::vector<double>& lateMs) {
    std::printf("%-10s samples=%-5zu p50=%.3f p99=%.3f max=%.3f ms late\n", label, lateMs.size(),
                bench::percentile(lateMs, 50), bench::percentile(lateMs, 99),
                bench::maximum(lateMs));
}

struct Session {
    LatenessProbe probe;
    std::vector<double> idle, busy, runSeconds;
    RunStarter startRun;
    int runsLeft = 0;

    void runNext() {
        if (runsLeft-- == 0) {
            probe.recordInto(nullptr);
            QCoreApplication::quit();
            return;
        }
        startRun([this](double seconds) {
            runSeconds.push_back(seconds);
            runNext();
        });
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Session session;
    session.runsLeft = argc > 1 ? std::atoi(argv[1]) : 3;
    session.startRun = viewModelRuns();
    session.probe.recordInto(&session.idle);
    session.probe.start();
    QTimer::singleShot(kIdleMs, [&session] {
        session.probe.recordInto(&session.busy);
        session.runNext();
    });
    QCoreApplication::exec();
    std::printf("%d hardware threads\n", int(std::thread::hardware_concurrency()));
    report("idle", session.idle);
    report("during", session.busy);
    bench::printSeries("run (reported)", session.runSeconds, 1e3, "ms");
    return 0;
}
