// The file chooser on scratch folder trees, driven through Dear ImGui with
// real mouse, wheel, character and key input (no window or GL context needed).
#include "ui/file_dialog.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include <imgui_internal.h>

#include "shell_test_support.h"
#include "ui/shell.h"

using FileChooser::Dialog;
using FileChooser::ShownItem;
typedef std::vector<std::string> Names;

namespace {

const int KEY_ENTER = 257, KEY_BACKSPACE = 259;

// One Dear ImGui context; every frame calls the dialog from inside a host
// window, as the Choose File window does.
struct Gui : GuiInput {
    explicit Gui(Dialog& dialog, bool guiFont = false) : dlg(dialog), ctx(NewGuiContext(ImVec2(1280, 1024), guiFont))
    {
        ImGui::GetIO().KeyMap[ImGuiKey_Enter] = KEY_ENTER;
        ImGui::GetIO().KeyMap[ImGuiKey_Backspace] = KEY_BACKSPACE;
        frame = [this] { step(); };
    }
    ~Gui() { ImGui::DestroyContext(ctx); }
    // One frame; what the dialog returned.
    std::string step(bool trigger = false)
    {
        ImGui::NewFrame();
        ImGui::Begin("Host");
        const std::string r = dlg.chooseFileDialog(trigger, directory.c_str(), nullptr, nullptr);
        ImGui::End();
        ImGui::Render();
        if (!r.empty())
            returned.push_back(r);
        return r;
    }
    void open(const std::string& dir)  // nothing is returned while it settles
    {
        directory = dir;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(step(i == 0), "");
    }
    // A click and one more frame; what the dialog returned, at most once.
    std::string clickAt(ImVec2 p)
    {
        returned.clear();
        Click(p), frame();
        EXPECT_LE(returned.size(), 1u);
        return returned.empty() ? "" : returned[0];
    }
    const ShownItem* find(ShownItem::Kind kind, const std::string& text = "") const { return Shown(&dlg, kind, text); }
    std::string click(ShownItem::Kind kind, const std::string& text = "") { return clickAt(Centre(find(kind, text))); }
    void type(const std::string& text) { ImGui::GetIO().AddInputCharactersUTF8(text.c_str()), frame(); }
    void goTo(const std::string& location)  // typed into the location editor
    {
        if (!find(ShownItem::EDIT_LOCATION_FIELD))
            click(ShownItem::EDIT_LOCATION_BUTTON);
        step();
        type(location);
        Key(KEY_ENTER);
    }
    std::vector<const ShownItem*> all(ShownItem::Kind kind) const  // FOLDER_ENTRY: files too
    {
        std::vector<const ShownItem*> out;
        for (const ShownItem& it : dlg.getShownItems())
            if (it.kind == kind || (kind == ShownItem::FOLDER_ENTRY && it.kind == ShownItem::FILE_ENTRY))
                out.push_back(&it);
        return out;
    }
    Names shown(ShownItem::Kind kind) const
    {
        Names out;
        for (const ShownItem* it : all(kind))
            out.push_back(it->text);
        return out;
    }
    // Folders ("d:") then files ("f:") in list order: drawn row by row, so
    // put back in order of their columns and lines.
    Names entries() const
    {
        std::vector<const ShownItem*> items = all(ShownItem::FOLDER_ENTRY);
        std::stable_sort(items.begin(), items.end(), [](const ShownItem* a, const ShownItem* b) {
            return a->min.x + 1.0f < b->min.x || (std::abs(a->min.x - b->min.x) <= 1.0f && a->min.y < b->min.y);
        });
        Names out;
        for (const ShownItem* it : items)
            out.push_back((it->kind == ShownItem::FOLDER_ENTRY ? "d:" : "f:") + it->text);
        return out;
    }
    std::string highlighted(ShownItem::Kind kind) const
    {
        for (const ShownItem* it : all(kind))
            if (it->highlighted)
                return it->text;
        return "";
    }
    bool enabled(ShownItem::Kind kind) const { return find(kind) && find(kind)->enabled; }
    std::string folder() const { return dlg.getLastDirectory(); }

    Dialog& dlg;
    ImGuiContext* ctx;
    std::string directory;
    std::vector<std::string> returned;  // non-empty results since the last click
};

}  // namespace

TEST(FileChooser, ListsOnlyVisibleFoldersAndFilesInEveryOrder)
{
    ScratchDir s;
    auto SetTime = [](const std::string& path, long t) {
        const timeval tv[2] = {{t, 0}, {t, 0}};
        EXPECT_EQ(utimes(path.c_str(), tv), 0);
    };
    for (const char* d : {".hidden_dir", "old~"})
        s.dir(d);
    for (const char* f : {".secret", "notes.txt~"})
        s.file(f);
    const struct {
        const char* name;
        std::size_t size;
        long time;
    } files[] = {{"b.pdb", 30, 1000}, {"A.xyz", 10, 3000}, {"c", 20, 2000}, {"d.CIF", 40, 500}};
    for (const auto& f : files)
        SetTime(s.file(f.name, f.size), f.time);
    for (const auto& d : {std::make_pair("zeta", 100), {"Alpha", 300}, {"mid", 200}})
        SetTime(s.dir(d.first), d.second);
    ASSERT_EQ(symlink(s.path("A.xyz").c_str(), s.path("link.xyz").c_str()), 0);
    ASSERT_EQ(symlink(s.path("mid").c_str(), s.path("linkdir").c_str()), 0);
    ASSERT_EQ(mkfifo(s.path("pipe").c_str(), 0644), 0);

    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    const Names up{"d:Alpha", "d:mid", "d:zeta"}, down{"d:zeta", "d:mid", "d:Alpha"};
    auto with = [](Names dirs, const Names& f) {
        for (const std::string& n : f)
            dirs.push_back("f:" + n);
        return dirs;
    };
    EXPECT_EQ(gui.entries(), with(up, {"A.xyz", "b.pdb", "c", "d.CIF"}));
    // the current criterion reverses, another sorts ascending; folders keep
    // name order for size and type
    const struct {
        const char* button;
        Names entries;
    } clicks[] = {
        {"Name", with(down, {"d.CIF", "c", "b.pdb", "A.xyz"})},
        {"Modified", with(down, {"d.CIF", "b.pdb", "c", "A.xyz"})},
        {"Modified", with(up, {"A.xyz", "c", "b.pdb", "d.CIF"})},
        {"Size", with(up, {"A.xyz", "c", "b.pdb", "d.CIF"})},
        {"Type", with(up, {"c", "d.CIF", "b.pdb", "A.xyz"})},
        {"Name", with(up, {"A.xyz", "b.pdb", "c", "d.CIF"})},
    };
    for (const auto& c : clicks) {
        gui.click(ShownItem::SORT_BUTTON, c.button);
        SCOPED_TRACE(c.button);
        EXPECT_EQ(gui.entries(), c.entries);
        EXPECT_EQ(gui.highlighted(ShownItem::SORT_BUTTON), c.button);
    }
}

TEST(FileChooser, NamesShownWholeFilteredChosenInOneFrameAndReopened)
{
    ScratchDir s;
    for (const char* d : {"xyzdir", "tmpdir"})
        s.dir(d);
    const Names names{"a.xyz", "b.pdb", "my data ü ñ 水.xyz", "tmp_c.xyz", "weird##x.xyz", "Ωμέγα Жук ŁŽő.xyz"};
    for (const std::string& n : names)
        s.file(n);
    const std::string poscar = s.file("xyzdir/POSCAR", 10);
    s.file("xyzdir/other.xyz");

    Dialog dlg;
    Gui gui(dlg, true);
    gui.open(s.root);
    for (const std::string& n : names) {  // each button as wide as the whole name, "##" and all
        const ShownItem* it = gui.find(ShownItem::FILE_ENTRY, n);
        ASSERT_NE(it, nullptr) << n;
        EXPECT_NEAR(it->max.x - it->min.x, ImGui::CalcTextSize(n.c_str()).x + 2 * ImGui::GetStyle().FramePadding.x, 1)
            << n;
    }
    // words to include, "-" and a word to exclude, in any script
    gui.click(ShownItem::FILTERING_HEADER);
    gui.click(ShownItem::FILTER_FIELD);
    const struct {
        const char* text;
        Names entries;
    } filters[] = {
        {"xyz",
         {"d:xyzdir", "f:a.xyz", "f:my data ü ñ 水.xyz", "f:tmp_c.xyz", "f:weird##x.xyz", "f:Ωμέγα Жук ŁŽő.xyz"}},
        {"-tmp", {"d:xyzdir", "f:a.xyz", "f:b.pdb", "f:my data ü ñ 水.xyz", "f:weird##x.xyz", "f:Ωμέγα Жук ŁŽő.xyz"}},
        {"Жук,水", {"f:my data ü ñ 水.xyz", "f:Ωμέγα Жук ŁŽő.xyz"}}};
    for (const auto& f : filters) {
        for (int i = 0; i < 8; ++i)
            gui.Key(KEY_BACKSPACE);
        gui.type(f.text);
        EXPECT_EQ(gui.entries(), f.entries) << f.text;
    }
    EXPECT_EQ(gui.click(ShownItem::FILE_ENTRY, names[2]), s.path(names[2])) << "returned in the frame of the click";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(gui.step(), "") << "and never again";
    // reopening starts in the chosen file's folder and forgets the choice,
    // the filter (else xyzdir would be hidden) and the history
    gui.open(s.root);
    gui.click(ShownItem::FOLDER_ENTRY, "xyzdir");
    EXPECT_EQ(gui.click(ShownItem::FILE_ENTRY, "POSCAR"), poscar);
    gui.open(poscar);
    EXPECT_EQ(gui.folder(), s.path("xyzdir"));
    EXPECT_EQ(gui.entries(), (Names{"f:other.xyz", "f:POSCAR"}));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_BACK));
}

TEST(FileChooser, BigFolderDrawsItsVisibleRowsAndEachFolderOpensAtTheTop)
{
    ScratchDir s;
    for (const char* d : {"big1", "big2"}) {
        s.dir(d);
        for (int i = 0; i < 400; ++i)
            s.file(std::string(d) + "/" + d[3] + "_" + std::to_string(10000 + i) + ".xyz");
    }
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.path("big1"));
    const std::vector<const ShownItem*> first = gui.all(ShownItem::FILE_ENTRY);
    ASSERT_FALSE(first.empty());
    EXPECT_LT(first.size(), 150u) << "only the rows in view are drawn";
    EXPECT_EQ(first.front()->text, "1_10000.xyz");
    // wheel down to the end of the list: the last file can be chosen
    ImGui::GetIO().MousePos = ImVec2((first.front()->min.x + first.front()->max.x) * 0.5f, first.front()->min.y + 5);
    gui.Wheel(-50.0f, 30);  // far, at the pointer
    ASSERT_EQ(gui.find(ShownItem::FILE_ENTRY, "1_10000.xyz"), nullptr) << "scrolled away from the top";
    EXPECT_EQ(gui.click(ShownItem::FILE_ENTRY, "1_10399.xyz"), s.path("big1/1_10399.xyz"));
    // reopened, then scrolled down, another folder opens at its top
    gui.open(s.path("big1"));
    EXPECT_NE(gui.find(ShownItem::FILE_ENTRY, "1_10000.xyz"), nullptr) << "reopened at the top";
    gui.Wheel(-50.0f, 30);
    ASSERT_EQ(gui.find(ShownItem::FILE_ENTRY, "1_10000.xyz"), nullptr);
    gui.goTo("../big2");  // relative to the folder shown
    EXPECT_EQ(gui.folder(), s.path("big2"));
    const ShownItem* top = gui.find(ShownItem::FILE_ENTRY, "2_10000.xyz");
    ASSERT_NE(top, nullptr);
    EXPECT_LT(top->min.y, gui.find(ShownItem::SORT_BUTTON)->max.y + 30.0f);
}

TEST(FileChooser, HistoryPathButtonsAndTypedLocations)
{
    ScratchDir s;
    for (const char* d : {"a", "a/b", "a/b/c", "a/y"})
        s.dir(d);
    s.file("a/y/x.xyz");
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    gui.click(ShownItem::FOLDER_ENTRY, "a");
    gui.click(ShownItem::FOLDER_ENTRY, "b");
    // back and forward, each without effect where nothing lies that way
    const struct {
        ShownItem::Kind button;
        std::string folder;
        bool back, forward;
    } steps[] = {
        {ShownItem::HISTORY_FORWARD, s.path("a/b"), true, false}, {ShownItem::HISTORY_BACK, s.path("a"), true, true},
        {ShownItem::HISTORY_BACK, s.root, false, true},           {ShownItem::HISTORY_BACK, s.root, false, true},
        {ShownItem::HISTORY_FORWARD, s.path("a"), true, true},
    };
    for (const auto& step : steps) {
        gui.click(step.button);
        EXPECT_EQ(gui.folder(), step.folder);
        EXPECT_EQ(gui.enabled(ShownItem::HISTORY_BACK), step.back) << step.folder;
        EXPECT_EQ(gui.enabled(ShownItem::HISTORY_FORWARD), step.forward) << step.folder;
    }
    // a new folder from the middle of the history drops what lay ahead
    gui.click(ShownItem::FOLDER_ENTRY, "y");
    EXPECT_EQ(gui.entries(), (Names{"f:x.xyz"}));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(gui.folder(), s.path("a")) << "back from there, not to what lay ahead";
    // path buttons: up to an ancestor keeps the deeper components on the row
    gui.open(s.path("a/b/c"));
    const Names parts = FileChooser::SplitPath(s.path("a/b/c"));
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), parts);
    gui.click(ShownItem::PATH_BUTTON, "a");
    EXPECT_EQ(gui.folder(), s.path("a"));
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), parts);
    EXPECT_EQ(gui.highlighted(ShownItem::PATH_BUTTON), "a");
    gui.click(ShownItem::FOLDER_ENTRY, "b");  // on the row's line: same row
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), parts);
    EXPECT_EQ(gui.highlighted(ShownItem::PATH_BUTTON), "b");
    // typed locations: the editor opens on the folder shown with its text
    // selected; relative ones start from the folder shown; a folder that does
    // not exist keeps the editor open; only slashes mean the root
    gui.click(ShownItem::EDIT_LOCATION_BUTTON);
    gui.step();
    EXPECT_EQ(gui.find(ShownItem::EDIT_LOCATION_FIELD)->text, s.path("a/b"));
    const struct {
        std::string typed, folder;
        bool stays_open;
    } typed[] = {{"c", s.path("a/b/c"), false},
                 {"../../nothere", s.path("a/b/c"), true},
                 {"../..//", s.path("a"), false},
                 {s.path("a/b"), s.path("a/b"), false},
                 {"//", "/", false}};
    for (const auto& t : typed) {
        gui.goTo(t.typed);
        EXPECT_EQ(gui.folder(), t.folder) << t.typed;
        EXPECT_EQ(gui.find(ShownItem::EDIT_LOCATION_FIELD) != nullptr, t.stays_open) << t.typed;
    }
}

TEST(FileChooser, StartFolderFallsBackToParentThenWorkingFolderAndKnownFoldersFromHome)
{
    ScratchDir s;
    for (const char* d :
         {"data", "home", "home/Desktop", "home/Documents", "home/Downloads", "home/Pictures", "home/Videos"})
        s.dir(d);
    s.file("home/Music");  // a file, not a folder
    s.file("home/Desktop/on_desktop.xyz");
    const std::string cwd = std::filesystem::canonical(".").string();
    std::string justTooLong = s.path("data/") + std::string(FileChooser::MAX_PATH_BYTES, 'b');
    justTooLong.resize(FileChooser::MAX_PATH_BYTES);
    const struct {
        std::string given, start;
    } rows[] = {
        {s.path("data/missing.xyz"), s.path("data")},
        {s.path("data/"), s.path("data")},
        {s.path("nothere/missing.xyz"), cwd},
        {"", cwd},
        {justTooLong, cwd},  // refused, not cut
    };
    const std::string savedHome = getenv("HOME") ? getenv("HOME") : "/";
    setenv("HOME", s.path("home").c_str(), 1);
    FileChooser::DialogOptions options;
    options.detect_known_folders_at_each_opening = true;
    Dialog dlg(options);
    Gui gui(dlg);
    for (const auto& r : rows) {
        gui.open(r.given);
        EXPECT_EQ(gui.folder(), r.start) << r.given.substr(0, 80);
    }
    setenv("HOME", savedHome.c_str(), 1);

    gui.click(ShownItem::KNOWN_FOLDERS_HEADER);
    const Names known = gui.shown(ShownItem::KNOWN_FOLDER);
    ASSERT_GE(known.size(), 6u);  // whatever drives this machine has follow
    EXPECT_EQ(known[5], "Videos") << "Music, a file, is left out";
    gui.click(ShownItem::KNOWN_FOLDER, "Desktop");
    EXPECT_EQ(gui.entries(), (Names{"f:on_desktop.xyz"}));
    EXPECT_EQ(gui.highlighted(ShownItem::KNOWN_FOLDER), "Desktop");
}
