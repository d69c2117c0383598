// The real program on the tests' X server, used as a first-time user would: one
// session from a start without a display, then the first start to the close
// request (settings line and folder, window, background, open through the
// dialog, pick, delete, layout saved).
#include <chrono>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stb/stb_image.h>

#include "shell_test_support.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct Rgb {
    int r = -1, g = -1, b = -1;
};
std::ostream& operator<<(std::ostream& os, const Rgb& c)
{
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}
// the clear colour (0.4, 0.6, 0.7)
bool IsBackground(const Rgb& c)
{
    return std::abs(c.r - 102) <= 2 && std::abs(c.g - 153) <= 2 && std::abs(c.b - 178) <= 2;
}

// A screenshot of the whole X screen.
struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    Rgb At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return Rgb();
        const unsigned char* p = &px[(static_cast<std::size_t>(y) * w + x) * 3];
        return Rgb{p[0], p[1], p[2]};
    }
};

// A close request as a window manager sends it (WM_DELETE_WINDOW), through
// Xlib loaded at run time so that the test needs no X11 development files.
bool SendCloseRequest(const std::string& display, unsigned long window)
{
    struct ClientMessage {
        int type;
        unsigned long serial;
        int send_event;
        void* display;
        unsigned long window, message_type;
        int format;
        long l[5];
    };
    union Event {
        ClientMessage xclient;
        long pad[24];
    };
    void* lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    auto open = reinterpret_cast<void* (*)(const char*)>(dlsym(lib, "XOpenDisplay"));
    auto atom = reinterpret_cast<unsigned long (*)(void*, const char*, int)>(dlsym(lib, "XInternAtom"));
    auto send = reinterpret_cast<int (*)(void*, unsigned long, int, long, Event*)>(dlsym(lib, "XSendEvent"));
    auto close = reinterpret_cast<int (*)(void*)>(dlsym(lib, "XCloseDisplay"));  // flushes
    void* dpy = open(display.c_str());
    if (!dpy)
        return false;
    Event ev{};
    ev.xclient.type = 33;  // ClientMessage
    ev.xclient.window = window;
    ev.xclient.message_type = atom(dpy, "WM_PROTOCOLS", 0);
    ev.xclient.format = 32;
    ev.xclient.l[0] = static_cast<long>(atom(dpy, "WM_DELETE_WINDOW", 0));
    const bool ok = send(dpy, window, 0, 0, &ev) != 0;
    close(dpy);
    return ok;
}

// Polls `done` every `ms` milliseconds for up to `seconds`; its last answer.
template <class Pred>
bool WaitFor(Pred done, double seconds = 20.0, int ms = 100)
{
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    return true;
}

// The exit status of `pid` (1000 + signal if killed), or -1000 after `seconds`.
int WaitExit(pid_t pid, double seconds = 20.0)
{
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds, 50))
        return -1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

class AppTest : public ::testing::Test {
protected:
    // The X server the tests run under (xvfb-run, 1280 x 1024), seen whole by screenshots.
    void SetUp() override { ASSERT_FALSE(display.empty()) << "no X server: run under xvfb-run"; }
    void TearDown() override
    {
        if (tesk > 0)
            kill(tesk, SIGKILL), waitpid(tesk, nullptr, 0);
        std::error_code ec;
        fs::remove_all(home, ec);
    }
    // The program in `cwd` with our USER and the given DISPLAY (none if null),
    // its output going to `out`. With AddressSanitizer its leak check would
    // report the GL driver's caches, unloaded by glfwTerminate; the
    // in-process tests check our own code for leaks.
    pid_t Start(const std::string& cwd, const char* display_value)
    {
        std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
#if defined(__SANITIZE_ADDRESS__)
        asan += std::string(asan.empty() ? "" : ":") + "detect_leaks=0";
#endif
        const pid_t pid = fork();
        if (pid == 0) {
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1), dup2(fd, 2);
            display_value ? setenv("DISPLAY", display_value, 1) : unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            setenv("USER", user.c_str(), 1);
            setenv("ASAN_OPTIONS", asan.c_str(), 1);
            if (chdir(cwd.c_str()) == 0)
                execl(TESK_BINARY, TESK_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
        EXPECT_GT(pid, 0);
        return pid;
    }
    std::string Run(const std::string& cmd)
    {
        std::string result;
        FILE* p = popen(("DISPLAY=" + display + " " + cmd + " 2>/dev/null").c_str(), "r");
        for (int c; (c = fgetc(p)) != EOF;)
            result += static_cast<char>(c);
        pclose(p);
        return result;
    }
    // The program's top-level window, waiting for it to appear; 0 if none.
    unsigned long Window()
    {
        std::string ids;
        return WaitFor([&] { return !(ids = Run("xdotool search --name '^Tesk'")).empty(); }) ? std::stoul(ids) : 0ul;
    }
    std::string Title()
    {
        return Run("xdotool getwindowname " + std::to_string(Window()));
    }
    Image Shot()
    {
        Image img;
        Run("import -window root " + scratch.path("shot.png"));
        int n = 0;
        unsigned char* png = stbi_load(scratch.path("shot.png").c_str(), &img.w, &img.h, &n, 3);
        EXPECT_NE(png, nullptr);
        if (png)
            img.px.assign(png, png + img.w * img.h * 3), stbi_image_free(png);
        return img;
    }
    // Screenshots until `pred` holds for one, or the time is up.
    template <class Pred>
    Image ShotUntil(Pred pred)
    {
        Image img;
        return WaitFor([&] { return pred(img = Shot()); }, 10.0, 200), img;
    }
    void ClickAt(int x, int y)
    {
        Run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " sleep 0.15 click 1 sleep 0.35");
    }

    const std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    pid_t tesk = -1;
    const std::string user = "tesk-apptest-" + std::to_string(getpid());
    const std::string home = "/home/" + user;
    ScratchDir scratch{"tesk_app"};
    const std::string out = scratch.path("stdout.txt");
};

TEST_F(AppTest, NewUserSessionFromAStartWithoutDisplayToClose)
{
    // no display: status 1, and nothing of its own printed or made
    EXPECT_EQ(WaitExit(Start(scratch.root, nullptr)), 1);
    EXPECT_EQ(Slurp(out).find("settings"), std::string::npos) << Slurp(out);
    EXPECT_FALSE(fs::exists(home));
    // a folder holding only a sample, so that it is the dialog's first entry
    const std::string samples = scratch.dir("samples");
    fs::copy_file(std::string(TESK_SOURCE_DIR) + "/examples/water.xyz", samples + "/water.xyz");
    const std::string path = fs::canonical(samples + "/water.xyz").string();
    tesk = Start(samples, display.c_str());
    const unsigned long w = Window();
    ASSERT_NE(w, 0ul) << Slurp(out) << " status " << WaitExit(tesk, 0.1);
    EXPECT_EQ(Title(), "Tesk ImGui GLFW+OpenGL3.3\n");
    const std::string settings = " settings: mkdir -p " + home + "/.tesk-org/\n";
    ASSERT_TRUE(WaitFor([&] { return Slurp(out).find(settings) != std::string::npos; })) << Slurp(out);
    EXPECT_TRUE(fs::is_directory(home + "/.tesk-org"));
    // nothing loaded: the background colour, with the control windows over it
    // (windows sized to what they hold show from their second frame)
    const Image empty =
        ShotUntil([](const Image& i) { return IsBackground(i.At(640, 360)) && !IsBackground(i.At(150, 40)); });
    EXPECT_TRUE(IsBackground(empty.At(1270, 710)));
    for (int x : {150, 460, 770})  // Settings, Choose File, Action
        EXPECT_FALSE(IsBackground(empty.At(x, 40))) << "a window covers x=" << x;
    // "Open" in the Choose File window, then the only file of the folder
    ClickAt(340, 69);
    ClickAt(80, 150);
    EXPECT_TRUE(WaitFor([&] { return Title() == "Tesk " + path + "\n"; }, 10.0)) << Title();
    // water: the oxygen in the middle (red), the hydrogens above and below
    const Image loaded = ShotUntil([](const Image& i) { return !IsBackground(i.At(640, 360)); });
    EXPECT_GT(loaded.At(640, 380).r, loaded.At(640, 380).g + 40) << "oxygen is red " << loaded.At(640, 380);
    EXPECT_TRUE(IsBackground(loaded.At(300, 360)));
    // pick the oxygen and delete it with a tap far shorter than a frame
    ClickAt(640, 360);
    Run("xdotool key Delete");
    const Image deleted = ShotUntil([](const Image& i) { return IsBackground(i.At(640, 360)); });
    EXPECT_TRUE(IsBackground(deleted.At(640, 380))) << "the oxygen is gone " << deleted.At(640, 380);
    EXPECT_FALSE(IsBackground(deleted.At(640, 190))) << "the hydrogens stay";

    EXPECT_TRUE(SendCloseRequest(display, Window()));
    EXPECT_EQ(WaitExit(tesk), 0);
    tesk = -1;
    EXPECT_TRUE(fs::exists(home + "/.tesk-org/tesk.ini")) << "the GUI library saved its layout on the way out";
}

}  // namespace
