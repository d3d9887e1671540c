#include "LowPriorityWorkload.h"

#include "model/VectorState.h"

#include <oneapi/tbb/task_arena.h>
#include <oneapi/tbb/task_group.h>
#include <oneapi/tbb/task_scheduler_observer.h>

#include <chrono>
#include <sys/resource.h>
#include <unistd.h>

namespace bench {
namespace {

constexpr int kWorkerNice = 10;

void keepResult(double value) {
    asm volatile("" : : "r,m"(value) : "memory");
}

// Linux applies PRIO_PROCESS to one thread when given a thread id.
void niceCallingThread() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNice);
}

class NiceOnEntry : public tbb::task_scheduler_observer {
public:
    explicit NiceOnEntry(tbb::task_arena& arena) : tbb::task_scheduler_observer(arena) {
        observe(true);
    }
    ~NiceOnEntry() override { observe(false); }
    void on_scheduler_entry(bool) override { niceCallingThread(); }
};

} // namespace

double lowPriorityWorkload(const model::WorkloadSize& size) {
    tbb::task_arena arena;
    arena.initialize();
    NiceOnEntry observer(arena);
    niceCallingThread();
    const auto start = std::chrono::steady_clock::now();
    arena.execute([&size] {
        tbb::task_group group;
        for (int k = 0; k < size.tasks; ++k) {
            group.run([steps = size.steps] {
                model::startWithCleanVectorState();
                keepResult(model::stressSum(steps));
            });
        }
        group.wait();
    });
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(end - start).count();
}

} // namespace bench
