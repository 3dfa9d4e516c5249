// Start-up time (process start to the window mapped on the X server) and
// peak resident memory of GUI programs, as the median of N runs each.
//   startup_bench RUNS PROGRAM...        (needs DISPLAY; see run_startup_bench.sh)
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Run {
    double milliseconds;
    long peakKilobytes;
};

// Starts the program, waits for a top-level window of its to be mapped, lets
// it settle for `settle`, ends it and reads its peak resident size.
Run measure(Display *display, const char *program, std::chrono::milliseconds settle) {
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True); // drop events from earlier runs
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(program, program, static_cast<char *>(nullptr));
        _exit(127);
    }
    double ms = -1;
    const int fd = ConnectionNumber(display);
    while (ms < 0) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                               start)
                         .count();
            }
        }
        if (ms >= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0) {
            std::fprintf(stderr, "%s: no window within 20 s\n", program);
            break;
        }
    }
    usleep(static_cast<useconds_t>(settle.count() * 1000));
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {ms, usage.ru_maxrss};
}

template <class T> T median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: startup_bench RUNS PROGRAM...\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_bench: cannot open display\n");
        return 1;
    }
    const int runs = std::atoi(argv[1]);
    const int programs = argc - 2;
    // The programs take turns, run by run, so that a change in the machine's
    // load during the measurement falls on all of them alike.
    std::vector<std::vector<double>> times(programs);
    std::vector<std::vector<long>> memory(programs);
    for (int p = 0; p < programs; ++p)
        measure(display, argv[p + 2], std::chrono::milliseconds(300)); // warm the caches
    for (int i = 0; i < runs; ++i) {
        for (int p = 0; p < programs; ++p) {
            const Run run = measure(display, argv[p + 2], std::chrono::milliseconds(300));
            times[p].push_back(run.milliseconds);
            memory[p].push_back(run.peakKilobytes);
        }
    }
    std::vector<std::pair<double, long>> medians;
    for (int p = 0; p < programs; ++p) {
        medians.emplace_back(median(times[p]), median(memory[p]));
        std::printf(
            "%-40s start-up %7.1f ms (fastest %5.1f)   peak RSS %7.1f MiB   (median of %d)\n",
            argv[p + 2], medians.back().first, *std::min_element(times[p].begin(), times[p].end()),
            medians.back().second / 1024.0, runs);
    }
    for (std::size_t p = 1; p < medians.size(); ++p)
        std::printf("ratio %s / %s: start-up %.2f, memory %.2f\n", argv[p + 2], argv[2],
                    medians[p].first / medians[0].first,
                    static_cast<double>(medians[p].second) / medians[0].second);
    XCloseDisplay(display);
    return 0;
}
