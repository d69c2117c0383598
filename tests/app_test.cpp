// The real program on its own X server, used as a first-time user would:
// start-up line and settings folder, the window, the background, a close
// request from the window system, no display at all, and a session that
// opens a sample through the dialog, picks an atom and deletes it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

bool Near(const Rgb& c, int r, int g, int b, int tol = 3)
{
    return std::abs(c.r - r) <= tol && std::abs(c.g - g) <= tol && std::abs(c.b - b) <= tol;
}

bool IsBackground(const Rgb& c)
{
    // clear colour (0.4, 0.6, 0.7)
    return Near(c, 102, 153, 178, 2);
}

// A screenshot of the whole X screen.
struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    Rgb At(int x, int y) const
    {
        Rgb c;
        if (x < 0 || y < 0 || x >= w || y >= h)
            return c;
        const std::size_t i = (static_cast<std::size_t>(y) * w + x) * 3;
        c.r = px[i];
        c.g = px[i + 1];
        c.b = px[i + 2];
        return c;
    }
};

bool ReadPpm(const std::string& path, Image& img)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> img.w >> img.h >> maxval;
    if (!in || magic != "P6" || maxval != 255 || img.w <= 0 || img.h <= 0)
        return false;
    in.get();
    img.px.resize(static_cast<std::size_t>(img.w) * img.h * 3);
    in.read(reinterpret_cast<char*>(img.px.data()), static_cast<std::streamsize>(img.px.size()));
    return static_cast<bool>(in);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The few Xlib calls needed to ask a window to close, loaded at run time so
// that the test needs no X11 development files.
struct XClientMessage {
    int type;
    unsigned long serial;
    int send_event;
    void* display;
    unsigned long window;
    unsigned long message_type;
    int format;
    long l[5];
};
union XEventStorage {
    int type;
    XClientMessage xclient;
    long pad[24];
};

bool SendCloseRequest(const std::string& display, unsigned long window)
{
    void* lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return false;
    using OpenFn = void* (*)(const char*);
    using AtomFn = unsigned long (*)(void*, const char*, int);
    using SendFn = int (*)(void*, unsigned long, int, long, XEventStorage*);
    using DpyFn = int (*)(void*);
    auto open = reinterpret_cast<OpenFn>(dlsym(lib, "XOpenDisplay"));
    auto atom = reinterpret_cast<AtomFn>(dlsym(lib, "XInternAtom"));
    auto send = reinterpret_cast<SendFn>(dlsym(lib, "XSendEvent"));
    auto flush = reinterpret_cast<DpyFn>(dlsym(lib, "XFlush"));
    auto close = reinterpret_cast<DpyFn>(dlsym(lib, "XCloseDisplay"));
    bool ok = false;
    if (open && atom && send && flush && close) {
        if (void* dpy = open(display.c_str())) {
            XEventStorage ev;
            std::memset(&ev, 0, sizeof ev);
            ev.xclient.type = 33;  // ClientMessage
            ev.xclient.window = window;
            ev.xclient.message_type = atom(dpy, "WM_PROTOCOLS", 0);
            ev.xclient.format = 32;
            ev.xclient.l[0] = static_cast<long>(atom(dpy, "WM_DELETE_WINDOW", 0));
            ev.xclient.l[1] = 0;  // CurrentTime
            ok = send(dpy, window, 0, 0, &ev) != 0;
            flush(dpy);
            close(dpy);
        }
    }
    dlclose(lib);
    return ok;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd,
            const std::string& out_path)
{
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(127);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    return pid;
}

// Environment of this process with the given names replaced or (value null) removed.
std::vector<std::string> Environment(const std::vector<std::pair<std::string, const char*>>& changes)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e;
        bool changed = false;
        for (const auto& c : changes)
            changed |= kv.compare(0, c.first.size() + 1, c.first + "=") == 0;
        if (!changed)
            env.push_back(kv);
    }
    for (const auto& c : changes)
        if (c.second)
            env.push_back(c.first + "=" + c.second);
    return env;
}

// Waits for `pid` up to `seconds`; returns its exit status or -1000 on timeout.
int WaitExit(pid_t pid, double seconds)
{
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1000;
}

class AppTest : public ::testing::Test {
protected:
    // Starts an X server on a free display number; returns its pid or -1.
    static pid_t StartXvfb(std::string& name, const std::vector<std::string>& extra, int first)
    {
        for (int n = first; n < first + 100; ++n) {
            const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
            if (fs::exists(lock) || fs::exists(sock))
                continue;
            name = ":" + std::to_string(n);
            std::vector<std::string> argv = {"/usr/bin/Xvfb", name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"};
            argv.insert(argv.end(), extra.begin(), extra.end());
            const pid_t pid = Spawn(argv, Environment({}), "", "/dev/null");
            const auto end = Clock::now() + std::chrono::seconds(15);
            while (Clock::now() < end && !fs::exists(sock))
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (fs::exists(sock))
                return pid;
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        return -1;
    }

    static void SetUpTestSuite() { xvfb = StartXvfb(display, {}, 140); }
    static void TearDownTestSuite()
    {
        if (xvfb > 0) {
            kill(xvfb, SIGTERM);
            waitpid(xvfb, nullptr, 0);
        }
    }

    void SetUp() override
    {
        ASSERT_GT(xvfb, 0) << "no X server could be started";
        user = "tesk-apptest-" + std::to_string(getpid());
        char tmpl[] = "/tmp/tesk_app_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        scratch = tmpl;
        out = scratch + "/stdout.txt";
    }
    void TearDown() override
    {
        if (tesk > 0) {
            kill(tesk, SIGKILL);
            waitpid(tesk, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all("/home/" + user, ec);
        fs::remove_all(scratch, ec);
    }

    // With AddressSanitizer the program's leak check at exit would report the
    // GL driver's caches, unloaded by glfwTerminate and so beyond any
    // suppression; our own code's leaks are checked by the in-process tests.
    static std::string SanitizerOptions()
    {
        std::string opts = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
#if defined(__SANITIZE_ADDRESS__)
        opts += std::string(opts.empty() ? "" : ":") + "detect_leaks=0";
#endif
        return opts;
    }

    void Start(const std::string& cwd, const char* user_value)
    {
        const std::string asan = SanitizerOptions();
        tesk = Spawn({TESK_BINARY},
                     Environment({{"DISPLAY", display.c_str()}, {"USER", user_value}, {"ASAN_OPTIONS", asan.c_str()}}),
                     cwd, out);
        ASSERT_GT(tesk, 0);
    }
    int Close()
    {
        const unsigned long w = Window();
        EXPECT_NE(w, 0ul);
        EXPECT_TRUE(SendCloseRequest(display, w));
        const int status = WaitExit(tesk, 20.0);
        if (status != -1000)
            tesk = -1;
        return status;
    }

    std::string Run(const std::string& cmd)
    {
        const std::string full = "DISPLAY=" + display + " " + cmd + " 2>/dev/null";
        std::string result;
        if (FILE* p = popen(full.c_str(), "r")) {
            char buf[512];
            while (fgets(buf, sizeof buf, p))
                result += buf;
            pclose(p);
        }
        return result;
    }

    // The program's top-level window, waiting for it to appear.
    unsigned long Window(double seconds = 20.0)
    {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            const std::string ids = Run("xdotool search --name '^Tesk'");
            if (!ids.empty())
                return std::stoul(ids);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return 0;
    }
    std::string Title() { return Run("xdotool getwindowname " + std::to_string(Window())); }

    bool WaitOutput(const std::string& text, double seconds = 20.0)
    {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            if (ReadFile(out).find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    Image Shot(const std::string& keep_as = "")
    {
        Image img;
        const std::string path = scratch + "/shot.ppm";
        Run("import -window root -depth 8 ppm:" + path);
        EXPECT_TRUE(ReadPpm(path, img));
        if (!keep_as.empty() && getenv("TESK_KEEP_SHOTS"))
            Run("convert " + path + " " + std::string(getenv("TESK_KEEP_SHOTS")) + "/" + keep_as + ".png");
        return img;
    }
    // Screenshots until `pred` holds for one, or the time is up.
    template <class Pred>
    Image ShotUntil(Pred pred, double seconds = 10.0)
    {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        Image img = Shot();
        while (!pred(img) && Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            img = Shot();
        }
        return img;
    }

    void ClickAt(int x, int y, int button = 1)
    {
        Run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        Run("xdotool click " + std::to_string(button));
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
    }

    static std::string display;
    static pid_t xvfb;
    pid_t tesk = -1;
    std::string user, scratch, out;
};

std::string AppTest::display;
pid_t AppTest::xvfb = -1;

TEST_F(AppTest, FirstAndSecondStartWindowBackgroundAndClose)
{
    Start(scratch, user.c_str());
    const unsigned long w = Window();
    ASSERT_NE(w, 0ul) << ReadFile(out);
    EXPECT_EQ(Title(), "Tesk ImGui GLFW+OpenGL3.3\n");
    const std::string geometry = Run("xdotool getwindowgeometry " + std::to_string(w));
    EXPECT_NE(geometry.find("Geometry: 1280x720"), std::string::npos) << geometry;

    ASSERT_TRUE(WaitOutput(" settings: mkdir -p /home/" + user + "/.tesk-org/\n")) << ReadFile(out);
    EXPECT_EQ(ReadFile(out).find(" settings: mkdir"), 0u) << "the settings line comes first";
    EXPECT_TRUE(fs::is_directory("/home/" + user + "/.tesk-org"));

    // nothing loaded: the background colour, with the control windows over it
    const Image img = ShotUntil([](const Image& i) { return IsBackground(i.At(1000, 500)); });
    EXPECT_TRUE(IsBackground(img.At(1000, 500))) << img.At(1000, 500);
    EXPECT_TRUE(IsBackground(img.At(640, 600))) << img.At(640, 600);
    EXPECT_TRUE(IsBackground(img.At(1270, 710))) << img.At(1270, 710);
    EXPECT_FALSE(IsBackground(img.At(150, 100))) << "the Settings window covers this pixel";
    EXPECT_FALSE(IsBackground(img.At(460, 100))) << "the Choose File window covers this pixel";
    EXPECT_FALSE(IsBackground(img.At(770, 100))) << "the Action window covers this pixel";

    EXPECT_EQ(Close(), 0);
    // the GUI library saved its layout on the way out
    EXPECT_TRUE(fs::exists("/home/" + user + "/.tesk-org/tesk.ini"));

    Start(scratch, user.c_str());
    ASSERT_TRUE(WaitOutput(" settings: /home/" + user + "/.tesk-org/tesk.ini\n")) << ReadFile(out);
    EXPECT_EQ(ReadFile(out).find("mkdir"), std::string::npos);
    EXPECT_EQ(Close(), 0);
}

TEST_F(AppTest, UnusableUserRunsWithoutLayout)
{
    Start(scratch, nullptr);
    ASSERT_TRUE(WaitOutput(" settings: USER is not set; the window layout will not be saved\n")) << ReadFile(out);
    ASSERT_NE(Window(), 0ul);
    EXPECT_EQ(Close(), 0);

    Start(scratch, "../../tmp/evil");
    ASSERT_TRUE(WaitOutput(" settings: USER cannot be used as a folder name; the window layout will not be saved\n"))
        << ReadFile(out);
    ASSERT_NE(Window(), 0ul);
    EXPECT_EQ(Close(), 0);
    EXPECT_FALSE(fs::exists("/tmp/evil"));
}

TEST_F(AppTest, WithoutADisplayExitsWithStatusOne)
{
    const std::string asan = SanitizerOptions();
    const pid_t pid = Spawn({TESK_BINARY}, Environment({{"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr},
                                                        {"USER", user.c_str()}, {"ASAN_OPTIONS", asan.c_str()}}),
                            scratch, out);
    EXPECT_EQ(WaitExit(pid, 20.0), 1);
    const std::string text = ReadFile(out);
    EXPECT_EQ(text.find("settings"), std::string::npos) << "nothing of its own is printed: " << text;
    EXPECT_FALSE(fs::exists("/home/" + user));
}

TEST_F(AppTest, WithoutOpenGLExitsWithMinusOne)
{
    // an X server without GLX: the window and its context cannot be made
    std::string bare;
    const pid_t server = StartXvfb(bare, {"-extension", "GLX"}, 250);
    ASSERT_GT(server, 0);
    const std::string asan = SanitizerOptions();
    const pid_t pid = Spawn({TESK_BINARY},
                            Environment({{"DISPLAY", bare.c_str()}, {"USER", user.c_str()}, {"ASAN_OPTIONS", asan.c_str()}}),
                            scratch, out);
    EXPECT_EQ(WaitExit(pid, 20.0), 255);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    const std::string text = ReadFile(out);
    EXPECT_NE(text.find("Failed to initialize OpenGL context\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Error 65542: GLX"), std::string::npos) << "GLFW's error through the callback: " << text;
    EXPECT_EQ(text.find("settings"), std::string::npos);
}

TEST_F(AppTest, OpenPickDeleteAndAFailedLoad)
{
    const std::string sample = std::string(TESK_SOURCE_DIR) + "/examples/water.xyz";
    ASSERT_TRUE(fs::exists(sample));
    // a folder holding only the sample, so that it is the dialog's first entry
    const std::string samples = scratch + "/samples";
    fs::create_directory(samples);
    fs::copy_file(sample, samples + "/water.xyz");
    Start(samples, user.c_str());
    ASSERT_NE(Window(), 0ul) << ReadFile(out) << " status " << WaitExit(tesk, 0.1);
    ASSERT_TRUE(WaitOutput(" settings: "));
    const Image empty = ShotUntil([](const Image& i) { return IsBackground(i.At(640, 360)); });
    ASSERT_TRUE(IsBackground(empty.At(640, 360)));

    // "Open" in the Choose File window, then the only file of the folder
    ClickAt(340, 69);
    const Image dialog = Shot("1-dialog");
    EXPECT_FALSE(IsBackground(dialog.At(300, 300))) << "the file dialog is shown";
    ClickAt(80, 150);
    const std::string path = fs::canonical(samples + "/water.xyz").string();
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Title() != "Tesk " + path + "\n" && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(Title(), "Tesk " + path + "\n");

    // water: the oxygen in the middle (red), the hydrogens above and below (grey)
    const Image loaded = ShotUntil([](const Image& i) { return !IsBackground(i.At(640, 360)); });
    Shot("2-loaded");
    const Rgb o = loaded.At(640, 380), h_up = loaded.At(640, 190), h_down = loaded.At(640, 530);
    EXPECT_GT(o.r, o.g + 40) << "oxygen is red " << o;
    EXPECT_GT(o.r, o.b + 40) << o;
    EXPECT_FALSE(IsBackground(h_up)) << h_up;
    EXPECT_FALSE(IsBackground(h_down)) << h_down;
    EXPECT_LT(std::abs(h_up.r - h_up.b), 30) << "hydrogen is grey " << h_up;
    EXPECT_TRUE(IsBackground(loaded.At(300, 360)));

    // pick the oxygen and delete it
    ClickAt(640, 360);
    Shot("3-selected");
    // a tap far shorter than a frame
    Run("xdotool key Delete");
    const Image deleted = ShotUntil([](const Image& i) { return IsBackground(i.At(640, 360)); });
    Shot("4-deleted");
    EXPECT_TRUE(IsBackground(deleted.At(640, 360))) << "the oxygen is gone " << deleted.At(640, 360);
    EXPECT_TRUE(IsBackground(deleted.At(640, 380)));
    EXPECT_FALSE(IsBackground(deleted.At(640, 190))) << "the hydrogens stay";
    EXPECT_FALSE(IsBackground(deleted.At(640, 530)));

    // choose PDB in "Input Format" and open the same XYZ file: it fails
    ClickAt(400, 46);
    ClickAt(340, 104);
    ClickAt(340, 69);
    ClickAt(80, 150);
    ASSERT_TRUE(WaitOutput("Could not read " + path + " as PDB\n")) << ReadFile(out);
    EXPECT_EQ(Title(), "Tesk " + path + "\n") << "the title stays";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Image failed = Shot("5-failed");
    // the old picture stays: the scene below the control windows is unchanged
    int differing = 0;
    for (int y = 140; y < 720; y += 4)
        for (int x = 0; x < 1280; x += 4) {
            const Rgb a = deleted.At(x, y), b = failed.At(x, y);
            differing += !Near(a, b.r, b.g, b.b, 2);
        }
    EXPECT_EQ(differing, 0);
    // the message line makes the Choose File window differ from before
    int window_changes = 0;
    for (int y = 80; y < 125; ++y)
        for (int x = 320; x < 620; ++x) {
            const Rgb a = deleted.At(x, y), b = failed.At(x, y);
            window_changes += !Near(a, b.r, b.g, b.b, 2);
        }
    EXPECT_GT(window_changes, 50);

    // Ctrl+F hides the Choose File window and shows it again
    Run("xdotool key ctrl+f");
    const Image hidden = ShotUntil([](const Image& i) { return IsBackground(i.At(460, 100)); });
    EXPECT_TRUE(IsBackground(hidden.At(460, 100)));
    EXPECT_FALSE(IsBackground(hidden.At(150, 100)));
    Run("xdotool key ctrl+f");
    const Image shown = ShotUntil([](const Image& i) { return !IsBackground(i.At(460, 100)); });
    EXPECT_FALSE(IsBackground(shown.At(460, 100)));

    EXPECT_EQ(Close(), 0);
}

}  // namespace
