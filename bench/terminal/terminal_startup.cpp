// Start to the first painted window: the terminal against CuteCom, measured
// in the same run on the same private X display (Xvfb, no window manager).
//
// Each program is started in turn, alternating, and the time runs until its
// first top-level window is mapped and shows more than one colour, which is
// when the user first sees something. Each gets one unmeasured warm-up start
// (font caches, first-run files), then `runs` measured ones, all with the
// same fresh home folder. Prints every time, the medians and the ratio
// terminal / CuteCom.
//
// Usage: terminal_startup TERMINAL_PROGRAM [runs=7] [display number=72]
// (startup-vs-cutecom.sh installs CuteCom first and runs this).

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

pid_t spawn(const std::vector<std::string>& command, const std::string& display, const std::string& home)
{
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (!display.empty())
            setenv("DISPLAY", display.c_str(), 1);
        if (!home.empty()) {
            setenv("HOME", home.c_str(), 1);
            setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        }
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

void stop(pid_t pid)
{
    kill(-pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Whether the window shows anything but one colour (a sparse sample).
bool painted(xcb_connection_t* c, xcb_window_t window)
{
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (!geometry)
        return false;
    const uint16_t w = geometry->width, h = geometry->height;
    free(geometry);
    auto* image = xcb_get_image_reply(c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, w, h, ~0u), nullptr);
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

// Milliseconds from the start to the first window showing something; -1
// when nothing appeared within a minute.
double measure(xcb_connection_t* c, xcb_window_t root, const std::vector<std::string>& command,
               const std::string& display, const std::string& home)
{
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn(command, display, home);
    std::vector<xcb_window_t> mapped;
    double result = -1;
    while (result < 0 && Clock::now() - start < std::chrono::seconds(60)) {
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
        usleep(2000);
    }
    stop(pid);
    usleep(300000);  // the windows are gone before the next start
    while (xcb_generic_event_t* event = xcb_poll_for_event(c))
        free(event);
    return result;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TERMINAL_PROGRAM [runs] [display number]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const std::string display = ":" + std::string(argc > 3 ? argv[3] : "72");
    const pid_t server = spawn({"Xvfb", display, "-screen", "0", "1600x1000x24", "-nolisten", "tcp", "-noreset"}, "", "");
    xcb_connection_t* c = nullptr;
    for (int i = 0; i < 250; ++i) {
        usleep(20000);
        c = xcb_connect(display.c_str(), nullptr);
        if (!xcb_connection_has_error(c))
            break;
        xcb_disconnect(c);
        c = nullptr;
    }
    if (!c) {
        std::fprintf(stderr, "cannot start Xvfb on %s\n", display.c_str());
        stop(server);
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    char home[] = "/tmp/terminal_startup.XXXXXX";
    if (!mkdtemp(home))
        return 2;
    const std::vector<std::string> terminal = {argv[1]}, cutecom = {"cutecom"};
    std::vector<double> ours, theirs;
    for (int i = -1; i < runs; ++i) {
        const double t = measure(c, root, terminal, display, home);
        const double q = measure(c, root, cutecom, display, home);
        if (i < 0)
            continue;
        std::printf("run %d: terminal %.0f ms, CuteCom %.0f ms\n", i + 1, t, q);
        ours.push_back(t);
        theirs.push_back(q);
    }
    const double t = median(ours), q = median(theirs);
    std::printf("Start to first painted window (median of %d): terminal %.0f ms, CuteCom %.0f ms, ratio %.2f\n", runs, t,
                q, q > 0 ? t / q : -1.0);
    xcb_disconnect(c);
    stop(server);
    const std::string cleanup = std::string("rm -rf '") + home + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
