// Cold start of the real program to its first painted window, and its resident
// memory idle and during a run. Run under a private X server (xvfb-run):
//   startup_probe build-bench/app/benchmark-companion [launches]
#include "BenchStats.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The window's fixed layout: a 450 x 500 window, the button 30 px from the
// bottom and 44 px high, its blue fill sampled left of the centred label.
constexpr int kWindowWidth = 450;
constexpr int kButtonY = 500 - 30 - 22;
constexpr int kButtonX = 225;
constexpr int kFillX = 50;
constexpr auto kSettle = 1500ms;

pid_t spawn(const char* path) {
    char* argv[] = {const_cast<char*>(path), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, path, nullptr, nullptr, argv, environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    return pid;
}

// Waits for the next MapNotify of a top-level window as wide as ours.
Window waitForMap(Display* display, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    while (Clock::now() < deadline) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            XWindowAttributes attributes;
            if (event.type == MapNotify &&
                XGetWindowAttributes(display, event.xmap.window, &attributes) != 0 &&
                attributes.width == kWindowWidth) {
                return event.xmap.window;
            }
        }
        poll(&connection, 1, 1);
    }
    return 0;
}

// The pixels of a rectangle of the window; nothing when they cannot be read.
std::optional<std::string> pixels(Display* display, Window window, int x, int y, unsigned width,
                                  unsigned height) {
    XImage* image = XGetImage(display, window, x, y, width, height, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return std::nullopt;
    }
    std::string bytes(image->data, std::size_t(image->bytes_per_line) * image->height);
    XDestroyImage(image);
    return bytes;
}

// CPU seconds the process has run on all its threads, from the scheduler's
// nanosecond counts: unlike the elapsed time, they hardly depend on the load.
double cpuSeconds(pid_t pid) {
    double ns = 0;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        double onCpu = 0;
        schedstat >> onCpu;
        ns += onCpu;
    }
    return ns / 1e9;
}

struct Capture {
    double at = -1, cpu = -1; // seconds since the spawn, and the program's CPU seconds by then
    std::size_t hash = 0;
};

// Captures the window continuously until it has settled; the painted time is
// the first capture that already shows the final picture.
Capture firstPainted(Display* display, Window window, pid_t pid, Clock::time_point spawned) {
    std::vector<Capture> captures;
    const auto mapped = Clock::now();
    XWindowAttributes size; // the window's fixed size, as it was mapped
    XGetWindowAttributes(display, window, &size);
    while (Clock::now() - mapped < kSettle) {
        const double cpu = cpuSeconds(pid);
        if (const auto bytes = pixels(display, window, 0, 0, size.width, size.height)) {
            captures.push_back(
                {bench::secondsSince(spawned), cpu, std::hash<std::string>{}(*bytes)});
        }
    }
    for (const Capture& capture : captures) {
        if (capture.hash == captures.back().hash) {
            return capture;
        }
    }
    return {};
}

std::string statusField(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            return line.substr(name.size() + 1);
        }
    }
    return "?";
}

// Prints the idle memory, then clicks start and samples VmRSS every 20 ms until
// the button's idle fill returns.
void memoryDuringRun(Display* display, Window window, pid_t pid) {
    std::printf("idle: VmRSS %s, VmHWM %s, RssAnon %s, RssFile %s\n",
                statusField(pid, "VmRSS").c_str(), statusField(pid, "VmHWM").c_str(),
                statusField(pid, "RssAnon").c_str(), statusField(pid, "RssFile").c_str());
    const auto fill = [&] { return pixels(display, window, kFillX, kButtonY, 1, 1); };
    const auto idleFill = fill();
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), kButtonX, kButtonY, &rootX,
                          &rootY, &child);
    XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime); // a click on start
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
    const auto clicked = Clock::now();
    long peakRss = 0;
    bool left = false;
    while (Clock::now() - clicked < 60s) {
        peakRss = std::max(peakRss, std::atol(statusField(pid, "VmRSS").c_str()));
        const bool idle = fill() == idleFill;
        left = left || !idle;
        if (left && idle) {
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    std::printf("run: button back to idle after %.0f ms; sampled VmRSS max %ld KiB, VmHWM %s, "
                "threads %s\n",
                bench::secondsSince(clicked) * 1e3, peakRss, statusField(pid, "VmHWM").c_str(),
                statusField(pid, "Threads").c_str());
}

} // namespace

int main(int argc, char** argv) {
    Display* display = argc > 1 ? XOpenDisplay(nullptr) : nullptr;
    if (display == nullptr) {
        std::fprintf(stderr, "usage, under an X server: startup_probe <program> [launches]\n");
        return 2;
    }
    const int launches = argc > 2 ? std::atoi(argv[2]) : 10;
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    std::vector<double> mapped, painted, cpu;
    for (int n = 0; n < launches; ++n) {
        const auto spawned = Clock::now();
        const pid_t pid = spawn(argv[1]);
        const Window window = waitForMap(display, 10s);
        if (window == 0) {
            std::fprintf(stderr, "no window within 10 s\n");
            kill(pid, SIGKILL);
            return 1;
        }
        mapped.push_back(bench::secondsSince(spawned));
        const Capture first = firstPainted(display, window, pid, spawned);
        painted.push_back(first.at);
        cpu.push_back(first.cpu);
        std::printf("launch %d: mapped %.1f ms, painted %.1f ms, CPU by then %.1f ms\n", n + 1,
                    mapped.back() * 1e3, painted.back() * 1e3, cpu.back() * 1e3);
        if (n + 1 == launches) {
            memoryDuringRun(display, window, pid);
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    bench::printSeries("spawn -> mapped", mapped, 1e3, "ms");
    bench::printSeries("spawn -> painted", painted, 1e3, "ms");
    bench::printSeries("CPU time until painted", cpu, 1e3, "ms");
    XCloseDisplay(display);
    return 0;
}
