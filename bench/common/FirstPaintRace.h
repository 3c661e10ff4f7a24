#pragma once
// Start to the first painted window of two programs, measured in the same run
// on the same private X display: the benchmark of a program against its peer.
//
// It starts its own Xvfb (no window manager, display :71 or the next free
// one), then starts each program in turn, alternating, and waits for its
// first top-level window to be mapped and then to show more than a blank area
// (its pixels differ), which is when the user first sees something. Each
// program gets one unmeasured warm-up start (font caches, first-run files),
// then `runs` measured ones, all with the same fresh home folder. Prints every
// time, the medians and the ratio ours / peer.

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace firstpaint {

using Clock = std::chrono::steady_clock;

struct Display {
    pid_t server = 0;
    std::string name;
};

// Starts Xvfb on the first display number from 71 on that has no lock file
// and whose server then accepts a connection.
inline std::optional<Display> startServer()
{
    for (int number = 71; number < 100; ++number) {
        if (access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0)
            continue;
        const std::string name = ":" + std::to_string(number);
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1600x1000x24", "-nolisten", "tcp", "-noreset",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 250; ++i) {
            usleep(20000);
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                break;
            xcb_connection_t* probe = xcb_connect(name.c_str(), nullptr);
            const bool up = !xcb_connection_has_error(probe);
            xcb_disconnect(probe);
            if (up)
                return Display{pid, name};
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return std::nullopt;
}

inline pid_t launch(const std::vector<std::string>& command, const std::string& display, const std::string& home)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("HOME", home.c_str(), 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv;
        for (const std::string& part : command)
            argv.push_back(const_cast<char*>(part.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    setpgid(pid, pid);
    return pid;
}

inline void stop(pid_t pid)
{
    kill(-pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            kill(-pid, SIGKILL);
            return;
        }
        usleep(10000);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Whether the window shows anything but one colour (a sparse sample).
inline bool painted(xcb_connection_t* c, xcb_window_t window)
{
    auto geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (!geometry)
        return false;
    const uint16_t w = geometry->width, h = geometry->height;
    free(geometry);
    auto image = xcb_get_image_reply(c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, w, h, ~0u), nullptr);
    if (!image)
        return false;
    const auto* data = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image));
    const int count = xcb_get_image_data_length(image) / 4;
    bool differs = false;
    for (int i = 0; i < count && !differs; i += 7)
        differs = data[i] != data[0];
    free(image);
    return differs;
}

// Milliseconds from launch to the first window showing something; -1 when
// nothing appeared within the time limit.
inline double measure(xcb_connection_t* c, xcb_window_t root, const std::vector<std::string>& command,
               const std::string& display, const std::string& home)
{
    const Clock::time_point start = Clock::now();
    const pid_t pid = launch(command, display, home);
    std::vector<xcb_window_t> mapped;
    double result = -1;
    while (Clock::now() - start < std::chrono::seconds(60)) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (map->event == root)
                    mapped.push_back(map->window);
            }
            free(event);
        }
        for (xcb_window_t window : mapped)
            if (painted(c, window)) {
                result = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                break;
            }
        if (result >= 0)
            break;
        usleep(2000);
    }
    stop(pid);
    // Let the display settle (windows gone) before the next start.
    usleep(300000);
    while (xcb_generic_event_t* event = xcb_poll_for_event(c))
        free(event);
    return result;
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}


// The race itself; the process's exit status.
inline int race(const char* ourName, const std::vector<std::string>& ours, const char* peerName,
                const std::vector<std::string>& peer, int runs)
{
    const std::optional<Display> display = startServer();
    if (!display) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 2;
    }
    xcb_connection_t* c = xcb_connect(display->name.c_str(), nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "cannot connect to %s\n", display->name.c_str());
        kill(display->server, SIGTERM);
        waitpid(display->server, nullptr, 0);
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    char home[] = "/tmp/first_paint.XXXXXX";
    if (!mkdtemp(home))
        return 2;
    std::vector<double> ourTimes, peerTimes;
    for (int i = -1; i < runs; ++i) {
        const double o = measure(c, root, ours, display->name, home);
        const double p = measure(c, root, peer, display->name, home);
        if (i < 0)
            continue;
        std::printf("run %d: %s %.0f ms, %s %.0f ms\n", i + 1, ourName, o, peerName, p);
        ourTimes.push_back(o);
        peerTimes.push_back(p);
    }
    const double o = median(ourTimes), p = median(peerTimes);
    std::printf("Start to first painted window (median of %d): %s %.0f ms, %s %.0f ms, ratio %.2f\n", runs, ourName,
                o, peerName, p, p > 0 ? o / p : -1.0);
    xcb_disconnect(c);
    kill(display->server, SIGTERM);
    waitpid(display->server, nullptr, 0);
    const std::string cleanup = std::string("rm -rf '") + home + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}

} // namespace firstpaint
