#pragma once

#include "hardware/SystemProbe.h"
#include "model/Publisher.h"
#include "model/StressWorkload.h"
#include "submission/Endpoint.h"
#include "submission/Payload.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace model {

// Hands a work item to the main thread's event loop; callable from any thread.
using MainThreadPoster = std::function<void(std::function<void()>)>;

inline constexpr std::string_view kReadyStatus = "Hazır. Lütfen testi başlatın.";
inline constexpr std::string_view kRunningStatus =
    "Bütünleşik Bellek (Unified Memory) ve CPU çekirdekleri stres testine tabi tutuluyor "
    "(Lütfen bekleyin)...";
inline constexpr std::string_view kNotStartedStatus =
    "\u26A0\uFE0F Test başlatılamadı: Sistem yeni bir iş parçacığı açamadı. "
    "Lütfen tekrar deneyin.";

// Starts `work` on a thread of its own that nobody joins; false when the
// system cannot start one, and then `work` is dropped unrun.
using ThreadStarter = std::function<bool(std::function<void()> work)>;

// A detached std::thread; a refusal from the system becomes false.
bool startDetachedThread(std::function<void()> work);

// What a view model touches in the outside world.
struct ViewModelSeams {
    hardware::SystemProbe system;
    submission::Endpoint endpoint = submission::Endpoint::system();
    WorkloadSize workload;
    MainThreadPoster postToMain;
    ThreadStarter startThread = &startDetachedThread;
};

// The state behind one window: the hardware facts, read once, and the status,
// running flag and score of the latest run. Published fields are assigned and
// read on the main thread only; a run works on threads of its own and hands its
// outcome back through the poster. Always held by std::shared_ptr, because a
// run in flight keeps its view model alive.
class BenchmarkViewModel : public std::enable_shared_from_this<BenchmarkViewModel> {
    struct PrivateTag {};

public:
    // The system's facts, endpoint and workload; only the main thread's poster
    // has to come from the caller, as it belongs to the window's event loop.
    static std::shared_ptr<BenchmarkViewModel> create(MainThreadPoster postToMain);
    static std::shared_ptr<BenchmarkViewModel> create(ViewModelSeams seams);

    BenchmarkViewModel(PrivateTag, ViewModelSeams seams);
    BenchmarkViewModel(const BenchmarkViewModel&) = delete;
    BenchmarkViewModel& operator=(const BenchmarkViewModel&) = delete;

    // Emits once before every assignment to a published field.
    Publisher objectWillChange;

    Published<std::string> status{objectWillChange, std::string(kReadyStatus)};
    Published<bool> isRunning{objectWillChange, false};
    Published<std::optional<double>> score{objectWillChange, std::nullopt};

    const std::string& deviceName() const noexcept { return deviceName_; }
    const std::string& chipName() const noexcept { return chipName_; }
    std::int64_t ramGB() const noexcept { return ramGB_; }

    // Main thread. Shows the running state, starts a run on a thread of its
    // own and returns at once. Does not refuse a call while a run is going.
    // When no thread can be started, ends at once idle, with no score and a
    // status that says so.
    void startBenchmark();

    // Run thread. Submits the record and posts exactly one outcome to the main
    // thread, which ends the run there. `actualSeconds` is accepted and unused:
    // the shown score is the record's own.
    void submitResults(const submission::Payload& payload, double actualSeconds);

private:
    void run();

    const ViewModelSeams seams_;
    const std::string deviceName_;
    const std::string chipName_;
    const std::int64_t ramGB_;
};

} // namespace model
