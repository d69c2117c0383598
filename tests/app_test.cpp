// The real program on its own X server, used as a first-time user would: one
// session from the first start to the close request (settings line and
// folder, window, background, open through the dialog, pick, delete, layout
// saved), no display and no OpenGL, and a start with a file to open.
#include <chrono>
#include <cstring>
#include <iterator>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "shell_test_support.h"

extern char** environ;

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
bool Near(const Rgb& a, const Rgb& b, int tol)
{
    return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}
// the clear colour (0.4, 0.6, 0.7)
bool IsBackground(const Rgb& c) { return Near(c, Rgb{102, 153, 178}, 2); }

// A screenshot of the whole X screen (binary PPM).
struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    Rgb At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= w || y >= h) return Rgb();
        const unsigned char* p = &px[(static_cast<std::size_t>(y) * w + x) * 3];
        return Rgb{p[0], p[1], p[2]};
    }
    bool Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::string magic;
        int maxval = 0;
        in >> magic >> w >> h >> maxval;
        if (!in || magic != "P6" || maxval != 255 || w <= 0 || h <= 0) return false;
        in.get();
        px.resize(static_cast<std::size_t>(w) * h * 3);
        return static_cast<bool>(in.read(reinterpret_cast<char*>(px.data()), px.size()));
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
    if (!lib) return false;
    auto open = reinterpret_cast<void* (*)(const char*)>(dlsym(lib, "XOpenDisplay"));
    auto atom = reinterpret_cast<unsigned long (*)(void*, const char*, int)>(dlsym(lib, "XInternAtom"));
    auto send = reinterpret_cast<int (*)(void*, unsigned long, int, long, Event*)>(dlsym(lib, "XSendEvent"));
    auto flush = reinterpret_cast<int (*)(void*)>(dlsym(lib, "XFlush"));
    auto close = reinterpret_cast<int (*)(void*)>(dlsym(lib, "XCloseDisplay"));
    bool ok = false;
    void* dpy = open && atom && send && flush && close ? open(display.c_str()) : nullptr;
    if (dpy) {
        Event ev;
        std::memset(&ev, 0, sizeof ev);
        ev.xclient.type = 33;  // ClientMessage
        ev.xclient.window = window;
        ev.xclient.message_type = atom(dpy, "WM_PROTOCOLS", 0);
        ev.xclient.format = 32;
        ev.xclient.l[0] = static_cast<long>(atom(dpy, "WM_DELETE_WINDOW", 0));
        ok = send(dpy, window, 0, 0, &ev) != 0;
        flush(dpy);
        close(dpy);
    }
    dlclose(lib);
    return ok;
}

// This process's environment with the given names replaced or (value null) removed.
std::vector<std::string> Environment(const std::vector<std::pair<std::string, const char*>>& changes)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        bool changed = false;
        for (const auto& c : changes) changed |= std::strncmp(*e, (c.first + "=").c_str(), c.first.size() + 1) == 0;
        if (!changed) env.push_back(*e);
    }
    for (const auto& c : changes)
        if (c.second) env.push_back(c.first + "=" + c.second);
    return env;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd,
            const std::string& out_path)
{
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// Polls `done` every `ms` milliseconds for up to `seconds`; its last answer.
template <class Pred>
bool WaitFor(Pred done, double seconds = 20.0, int ms = 100)
{
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    return true;
}

// The exit status of `pid` (1000 + signal if killed), or -1000 after `seconds`.
int WaitExit(pid_t pid, double seconds = 20.0)
{
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds, 50)) return -1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// SIGTERM for an X server, so that it removes its lock and socket.
void Stop(pid_t& pid, int sig = SIGKILL)
{
    if (pid > 0) {
        kill(pid, sig);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

// Starts an X server on a free display number; its pid or -1.
pid_t StartXvfb(std::string& name, const std::vector<std::string>& extra, int first)
{
    for (int n = first; n < first + 100; ++n) {
        const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
        if (fs::exists("/tmp/.X" + std::to_string(n) + "-lock") || fs::exists(sock)) continue;
        name = ":" + std::to_string(n);
        std::vector<std::string> argv = {"/usr/bin/Xvfb", name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        pid_t pid = Spawn(argv, Environment({}), "", "/dev/null");
        if (WaitFor([&] { return fs::exists(sock); }, 15.0, 50)) return pid;
        Stop(pid, SIGTERM);
    }
    return -1;
}

class AppTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { xvfb = StartXvfb(display, {}, 140); }
    static void TearDownTestSuite() { Stop(xvfb, SIGTERM); }
    void SetUp() override { ASSERT_GT(xvfb, 0) << "no X server could be started"; }
    void TearDown() override
    {
        Stop(tesk);
        std::error_code ec;
        fs::remove_all(home, ec);
    }

    // The program with DISPLAY and USER as given. With AddressSanitizer its
    // leak check at exit would report the GL driver's caches, unloaded by
    // glfwTerminate and so beyond any suppression; the in-process tests
    // check our own code for leaks.
    pid_t Start(const std::string& cwd, const char* user_value, const char* display_value,
                const std::vector<std::string>& args = {})
    {
        std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
#if defined(__SANITIZE_ADDRESS__)
        asan += std::string(asan.empty() ? "" : ":") + "detect_leaks=0";
#endif
        std::vector<std::string> argv{TESK_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        const pid_t pid = Spawn(argv,
                                Environment({{"DISPLAY", display_value}, {"WAYLAND_DISPLAY", nullptr},
                                             {"USER", user_value}, {"ASAN_OPTIONS", asan.c_str()}}),
                                cwd, out);
        EXPECT_GT(pid, 0);
        return pid;
    }
    void Start(const std::string& cwd, const char* user_value) { tesk = Start(cwd, user_value, display.c_str()); }
    void StartWith(const std::string& cwd, const std::vector<std::string>& args)
    {
        tesk = Start(cwd, user.c_str(), display.c_str(), args);
    }
    int Close()
    {
        EXPECT_TRUE(SendCloseRequest(display, Window()));
        const int status = WaitExit(tesk);
        if (status != -1000) tesk = -1;
        return status;
    }

    std::string Run(const std::string& cmd)
    {
        std::string result;
        if (FILE* p = popen(("DISPLAY=" + display + " " + cmd + " 2>/dev/null").c_str(), "r")) {
            char buf[512];
            while (fgets(buf, sizeof buf, p))
                result += buf;
            pclose(p);
        }
        return result;
    }
    // The program's top-level window, waiting for it to appear; 0 if none.
    unsigned long Window()
    {
        std::string ids;
        WaitFor([&] { return !(ids = Run("xdotool search --name '^Tesk'")).empty(); });
        return ids.empty() ? 0ul : std::stoul(ids);
    }
    std::string Title() { return Run("xdotool getwindowname " + std::to_string(Window())); }
    bool WaitOutput(const std::string& text)
    {
        return WaitFor([&] { return Slurp(out).find(text) != std::string::npos; });
    }
    Image Shot()
    {
        Image img;
        const std::string path = scratch.path("shot.ppm");
        Run("import -window root -depth 8 ppm:" + path);
        EXPECT_TRUE(img.Read(path));
        return img;
    }
    // Screenshots until `pred` holds for one, or the time is up.
    template <class Pred>
    Image ShotUntil(Pred pred)
    {
        Image img;
        WaitFor([&] { return pred(img = Shot()); }, 10.0, 200);
        return img;
    }
    void ClickAt(int x, int y)
    {
        Run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        Run("xdotool click 1");
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
    }

    static std::string display;
    static pid_t xvfb;
    pid_t tesk = -1;
    const std::string user = "tesk-apptest-" + std::to_string(getpid());
    const std::string home = "/home/" + user;
    ScratchDir scratch{"tesk_app"};
    const std::string out = scratch.path("stdout.txt");
};

std::string AppTest::display;
pid_t AppTest::xvfb = -1;

TEST_F(AppTest, NewUserSessionFromFirstStartToClose)
{
    // a folder holding only a sample, so that it is the dialog's first entry
    const std::string samples = scratch.dir("samples");
    fs::copy_file(std::string(TESK_SOURCE_DIR) + "/examples/water.xyz", samples + "/water.xyz");
    const std::string path = fs::canonical(samples + "/water.xyz").string();
    Start(samples, user.c_str());
    const unsigned long w = Window();
    ASSERT_NE(w, 0ul) << Slurp(out) << " status " << WaitExit(tesk, 0.1);
    EXPECT_EQ(Title(), "Tesk ImGui GLFW+OpenGL3.3\n");
    const std::string geometry = Run("xdotool getwindowgeometry " + std::to_string(w));
    EXPECT_NE(geometry.find("Geometry: 1280x720"), std::string::npos) << geometry;
    ASSERT_TRUE(WaitOutput(" settings: mkdir -p " + home + "/.tesk-org/\n")) << Slurp(out);
    EXPECT_EQ(Slurp(out).find(" settings: mkdir"), 0u) << "the settings line comes first";
    EXPECT_TRUE(fs::is_directory(home + "/.tesk-org"));

    // nothing loaded: the background colour, with the control windows over it
    const Image empty = ShotUntil([](const Image& i) { return IsBackground(i.At(640, 360)); });
    for (const auto& p : {std::make_pair(640, 360), {1000, 500}, {640, 600}, {1270, 710}})
        EXPECT_TRUE(IsBackground(empty.At(p.first, p.second))) << p.first << "," << p.second;
    for (int x : {150, 460, 770})  // Settings, Choose File, Action
        EXPECT_FALSE(IsBackground(empty.At(x, 100))) << "a window covers x=" << x;

    // "Open" in the Choose File window, then the only file of the folder
    ClickAt(340, 69);
    EXPECT_FALSE(IsBackground(Shot().At(300, 300))) << "the file dialog is shown";
    ClickAt(80, 150);
    WaitFor([&] { return Title() == "Tesk " + path + "\n"; }, 10.0);
    EXPECT_EQ(Title(), "Tesk " + path + "\n");

    // water: the oxygen in the middle (red), the hydrogens above and below (grey)
    const Image loaded = ShotUntil([](const Image& i) { return !IsBackground(i.At(640, 360)); });
    const Rgb o = loaded.At(640, 380), h_up = loaded.At(640, 190), h_down = loaded.At(640, 530);
    EXPECT_GT(o.r, o.g + 40) << "oxygen is red " << o;
    EXPECT_GT(o.r, o.b + 40) << o;
    EXPECT_FALSE(IsBackground(h_up)) << h_up;
    EXPECT_FALSE(IsBackground(h_down)) << h_down;
    EXPECT_LT(std::abs(h_up.r - h_up.b), 30) << "hydrogen is grey " << h_up;
    EXPECT_TRUE(IsBackground(loaded.At(300, 360)));

    // pick the oxygen and delete it with a tap far shorter than a frame
    ClickAt(640, 360);
    Run("xdotool key Delete");
    const Image deleted = ShotUntil([](const Image& i) { return IsBackground(i.At(640, 360)); });
    EXPECT_TRUE(IsBackground(deleted.At(640, 360))) << "the oxygen is gone " << deleted.At(640, 360);
    EXPECT_TRUE(IsBackground(deleted.At(640, 380)));
    EXPECT_FALSE(IsBackground(deleted.At(640, 190))) << "the hydrogens stay";
    EXPECT_FALSE(IsBackground(deleted.At(640, 530)));

    EXPECT_EQ(Close(), 0);
    EXPECT_TRUE(fs::exists(home + "/.tesk-org/tesk.ini")) << "the GUI library saved its layout on the way out";
}

TEST_F(AppTest, FileOnTheCommandLine)
{
    const std::string samples = scratch.dir("samples");
    fs::copy_file(std::string(TESK_SOURCE_DIR) + "/examples/water.xyz", samples + "/water.xyz");
    // a file that cannot be read as the format named: the window opens all the same
    StartWith(samples, {"--format", "pdb", "water.xyz"});
    ASSERT_TRUE(WaitOutput("Could not read water.xyz as PDB\n")) << Slurp(out);
    ASSERT_NE(Window(), 0ul);
    EXPECT_EQ(Close(), 0);

    StartWith(samples, {"water.xyz"});
    WaitFor([&] { return Title() == "Tesk water.xyz\n"; }, 10.0);
    EXPECT_EQ(Title(), "Tesk water.xyz\n");
    const Rgb o = ShotUntil([](const Image& i) { return !IsBackground(i.At(640, 380)); }).At(640, 380);
    EXPECT_GT(o.r, o.g + 40) << "the red oxygen " << o;
    EXPECT_EQ(Close(), 0);
}

TEST_F(AppTest, WithoutADisplayOrOpenGL)
{
    // no display: status 1, and nothing of its own printed or made
    EXPECT_EQ(WaitExit(Start(scratch.root, user.c_str(), nullptr)), 1);
    EXPECT_EQ(Slurp(out).find("settings"), std::string::npos) << Slurp(out);
    EXPECT_FALSE(fs::exists(home));

    // an X server without GLX: the window and its context cannot be made
    std::string bare;
    pid_t server = StartXvfb(bare, {"-extension", "GLX"}, 250);
    ASSERT_GT(server, 0);
    EXPECT_EQ(WaitExit(Start(scratch.root, user.c_str(), bare.c_str())), 255);
    Stop(server, SIGTERM);
    const std::string text = Slurp(out);
    EXPECT_NE(text.find("Failed to initialize OpenGL context\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Error 65542: GLX"), std::string::npos) << "GLFW's error through the callback: " << text;
    EXPECT_EQ(text.find("settings"), std::string::npos);
}

}  // namespace
