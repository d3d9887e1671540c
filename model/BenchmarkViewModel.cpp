#include "model/BenchmarkViewModel.h"

#include "hardware/HardwareUtils.h"
#include "model/RunRecord.h"
#include "submission/Submission.h"

#include <system_error>
#include <thread>
#include <utility>

namespace model {

using hardware::HardwareUtils;

bool startDetachedThread(std::function<void()> work) {
    try {
        std::thread(std::move(work)).detach();
        return true;
    } catch (const std::system_error&) {
        return false; // EAGAIN: out of threads or memory for a stack
    }
}

std::shared_ptr<BenchmarkViewModel> BenchmarkViewModel::create(MainThreadPoster postToMain) {
    ViewModelSeams seams;
    seams.postToMain = std::move(postToMain);
    return create(std::move(seams));
}

std::shared_ptr<BenchmarkViewModel> BenchmarkViewModel::create(ViewModelSeams seams) {
    return std::make_shared<BenchmarkViewModel>(PrivateTag{}, std::move(seams));
}

BenchmarkViewModel::BenchmarkViewModel(PrivateTag, ViewModelSeams seams)
    : seams_(std::move(seams)), deviceName_(HardwareUtils::getSysctl("hw.model", seams_.system)),
      chipName_(HardwareUtils::getSysctl("machdep.cpu.brand_string", seams_.system)),
      ramGB_(HardwareUtils::getRAM(seams_.system)) {}

void BenchmarkViewModel::startBenchmark() {
    isRunning = true;
    status = std::string(kRunningStatus);
    score = std::nullopt;
    // Detached: nothing waits for or cancels a run. The thread's strong
    // reference keeps this object alive until the outcome has been posted.
    if (!seams_.startThread([self = shared_from_this()] { self->run(); })) {
        // Nothing was measured, so there is no score to show.
        isRunning = false;
        status = std::string(kNotStartedStatus);
    }
}

void BenchmarkViewModel::run() {
    const double elapsed = runStressWorkload(seams_.workload);
    submitResults(makePayload(deviceName_, chipName_, ramGB_, elapsed), elapsed);
}

void BenchmarkViewModel::submitResults(const submission::Payload& payload,
                                       double /*actualSeconds*/) {
    auto result = submission::submitPayload(seams_.endpoint, payload);
    seams_.postToMain([self = shared_from_this(), text = std::move(result.statusText),
                       seconds = payload.xcode_build_sec] {
        self->isRunning = false;
        self->status = text;
        self->score = seconds;
    });
}

} // namespace model
