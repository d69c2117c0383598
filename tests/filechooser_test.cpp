// The file chooser on scratch folder trees, driven through Dear ImGui with
// real mouse, character and key input (no window or GL context needed).
#include "filechooser.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "shell_test_support.h"

using FileChooser::Dialog;
using FileChooser::ShownItem;
typedef std::vector<std::string> Names;

namespace {

const int KEY_ENTER = 257;
const int KEY_BACKSPACE = 259;

void SetTime(const std::string& path, long seconds)
{
    struct timeval tv[2] = {{seconds, 0}, {seconds, 0}};
    EXPECT_EQ(utimes(path.c_str(), tv), 0);
}

std::vector<std::string> List(const std::string& folder, bool folders, int mode)
{
    std::vector<std::string> names;
    EXPECT_TRUE(FileChooser::ListFolder(folder.c_str(), folders, mode, names));
    return names;
}

// One Dear ImGui context; every frame calls the dialog from inside a host
// window, as the Choose File window does.
class Gui {
public:
    explicit Gui(Dialog& dialog) : dlg(dialog), ctx(NewGuiContext(ImVec2(1280, 1024)))
    {
        ImGui::GetIO().KeyMap[ImGuiKey_Enter] = KEY_ENTER;
        ImGui::GetIO().KeyMap[ImGuiKey_Backspace] = KEY_BACKSPACE;
    }
    ~Gui() { ImGui::DestroyContext(ctx); }

    // Runs one frame and returns what the dialog returned.
    std::string frame(bool trigger = false, const char* title = nullptr, ImVec2 size = ImVec2(-1, -1),
                      ImVec2 pos = ImVec2(-1, -1))
    {
        ImGui::NewFrame();
        ImGui::Begin("Host");
        const char* r = dlg.chooseFileDialog(trigger, directory.c_str(), extensions, title, size, pos, 0.875f);
        ImGui::End();
        ImGui::Render();
        return r ? std::string(r) : std::string("(null)");
    }
    // Opens the dialog in `dir`; nothing is returned while it settles.
    std::string open(const std::string& dir, const char* title = nullptr, ImVec2 size = ImVec2(-1, -1),
                     ImVec2 pos = ImVec2(-1, -1))
    {
        directory = dir;
        std::string r = frame(true, title, size, pos);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(frame(), "");
        return r;
    }
    // Press and release the left button at a point, then one more frame so
    // that what is on screen shows the result. Returns the result of the
    // release frame, where a button reports its press.
    std::string clickAt(ImVec2 p)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = p;
        io.MouseDown[0] = true;
        EXPECT_EQ(frame(), "");
        io.MouseDown[0] = false;
        std::string b = frame();
        EXPECT_EQ(frame(), "");
        return b;
    }
    const ShownItem* find(ShownItem::Kind kind, const std::string& text = std::string()) const
    {
        for (const ShownItem& it : dlg.getShownItems())
            if (it.kind == kind && (text.empty() || it.text == text)) return &it;
        return nullptr;
    }
    std::string click(ShownItem::Kind kind, const std::string& text = std::string())
    {
        const ShownItem* it = find(kind, text);
        EXPECT_NE(it, nullptr) << "no widget " << kind << " '" << text << "' on screen";
        if (!it) return "(missing)";
        return clickAt(ImVec2((it->min.x + it->max.x) * 0.5f, (it->min.y + it->max.y) * 0.5f));
    }
    void type(const std::string& text)
    {
        for (char c : text) ImGui::GetIO().AddInputCharacter(static_cast<unsigned char>(c));
        frame();
    }
    void key(int k)
    {
        ImGui::GetIO().KeysDown[k] = true;
        frame();
        ImGui::GetIO().KeysDown[k] = false;
        frame();
    }
    std::vector<const ShownItem*> all(ShownItem::Kind kind) const
    {
        std::vector<const ShownItem*> out;
        for (const ShownItem& it : dlg.getShownItems())
            if (it.kind == kind) out.push_back(&it);
        return out;
    }
    Names shown(ShownItem::Kind kind) const
    {
        Names out;
        for (const ShownItem* it : all(kind)) out.push_back(it->text);
        return out;
    }
    // Folders then files, in the order drawn.
    Names entries() const
    {
        Names out;
        for (const ShownItem& it : dlg.getShownItems())
            if (it.kind == ShownItem::FOLDER_ENTRY || it.kind == ShownItem::FILE_ENTRY)
                out.push_back((it.kind == ShownItem::FOLDER_ENTRY ? "d:" : "f:") + it.text);
        return out;
    }
    std::string highlightedPathButton() const
    {
        for (const ShownItem* it : all(ShownItem::PATH_BUTTON))
            if (it->highlighted) return it->text;
        return std::string();
    }
    bool enabled(ShownItem::Kind kind) const
    {
        const ShownItem* it = find(kind);
        return it && it->enabled;
    }
    std::string folder() const { return dlg.getLastDirectory(); }

    Dialog& dlg;
    ImGuiContext* ctx;
    std::string directory;
    const char* extensions = nullptr;
};

}  // namespace

TEST(FileChooserListing, HiddenBackupLinksAndSpecialEntriesAreNotListed)
{
    ScratchDir s;
    for (const char* d : {"alpha", "Beta", ".hidden_dir", "old~"}) s.dir(d);
    s.file("a.xyz", 5);
    s.file(".secret");
    s.file("notes.txt~");
    ASSERT_EQ(symlink(s.path("a.xyz").c_str(), s.path("link.xyz").c_str()), 0);
    ASSERT_EQ(symlink(s.path("alpha").c_str(), s.path("linkdir").c_str()), 0);
    ASSERT_EQ(mkfifo(s.path("pipe").c_str(), 0644), 0);

    EXPECT_EQ(List(s.root, true, 0), (Names{"alpha", "Beta"}));
    EXPECT_EQ(List(s.root, false, 0), (Names{"a.xyz"}));
    Names none;
    EXPECT_FALSE(FileChooser::ListFolder(s.path("missing").c_str(), true, 0, none));
    EXPECT_TRUE(none.empty());

    // the same through the dialog: folders first, then files
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    EXPECT_EQ(gui.entries(), (Names{"d:alpha", "d:Beta", "f:a.xyz"}));
    EXPECT_EQ(gui.folder(), s.root);
}

TEST(FileChooserListing, EverySortingModeAndTheExtensionFilter)
{
    ScratchDir s;
    const struct {
        const char* name;
        std::size_t size;
        long time;
    } files[] = {{"b.pdb", 30, 1000}, {"A.xyz", 10, 3000}, {"c", 20, 2000}, {"d.CIF", 40, 500}};
    for (const auto& f : files) SetTime(s.file(f.name, f.size), f.time);
    SetTime(s.dir("zeta"), 100);
    SetTime(s.dir("Alpha"), 300);
    SetTime(s.dir("mid"), 200);

    const Names byName{"Alpha", "mid", "zeta"}, byNameDown{"zeta", "mid", "Alpha"};
    // folders: by name, by time, and by name again for size and type
    const struct {
        Names files, folders;
    } modes[8] = {
        {{"A.xyz", "b.pdb", "c", "d.CIF"}, byName},     {{"d.CIF", "c", "b.pdb", "A.xyz"}, byNameDown},
        {{"d.CIF", "b.pdb", "c", "A.xyz"}, byNameDown}, {{"A.xyz", "c", "b.pdb", "d.CIF"}, byName},
        {{"A.xyz", "c", "b.pdb", "d.CIF"}, byName},     {{"d.CIF", "b.pdb", "c", "A.xyz"}, byNameDown},
        {{"c", "d.CIF", "b.pdb", "A.xyz"}, byName},     {{"A.xyz", "b.pdb", "d.CIF", "c"}, byNameDown},
    };
    for (int m = 0; m < 8; ++m) {
        SCOPED_TRACE(m);
        EXPECT_EQ(List(s.root, false, m), modes[m].files);
        EXPECT_EQ(List(s.root, true, m), modes[m].folders);
    }

    // the sorting buttons: the current one reverses, another sorts afresh
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    const Names ascending{"d:Alpha", "d:mid", "d:zeta", "f:A.xyz", "f:b.pdb", "f:c", "f:d.CIF"};
    EXPECT_EQ(gui.entries(), ascending);
    EXPECT_TRUE(gui.find(ShownItem::SORT_BUTTON, "Name")->highlighted);
    const struct {
        const char* button;
        Names entries;
    } clicks[] = {
        {"Name", {"d:zeta", "d:mid", "d:Alpha", "f:d.CIF", "f:c", "f:b.pdb", "f:A.xyz"}},
        {"Name", ascending},
        {"Size", {"d:Alpha", "d:mid", "d:zeta", "f:A.xyz", "f:c", "f:b.pdb", "f:d.CIF"}},
        {"Size", {"d:zeta", "d:mid", "d:Alpha", "f:d.CIF", "f:b.pdb", "f:c", "f:A.xyz"}},
        {"Modified", {"d:zeta", "d:mid", "d:Alpha", "f:d.CIF", "f:b.pdb", "f:c", "f:A.xyz"}},
        {"Type", {"d:Alpha", "d:mid", "d:zeta", "f:c", "f:d.CIF", "f:b.pdb", "f:A.xyz"}},
    };
    for (const auto& c : clicks) {
        gui.click(ShownItem::SORT_BUTTON, c.button);
        SCOPED_TRACE(c.button);
        EXPECT_EQ(gui.entries(), c.entries);
        for (const ShownItem* b : gui.all(ShownItem::SORT_BUTTON)) EXPECT_EQ(b->highlighted, b->text == c.button);
    }

    // the caller's extensions keep matching files whatever their case
    gui.extensions = ".XYZ;.cif";
    gui.open(s.root);
    EXPECT_EQ(gui.entries(), (Names{"d:Alpha", "d:mid", "d:zeta", "f:d.CIF", "f:A.xyz"}));
}

TEST(FileChooserDialog, FilterThenChoiceReturnedInOneFrameThenReopenAndCancel)
{
    ScratchDir s;
    s.dir("xyzdir");
    s.dir("tmpdir");
    for (const char* f : {"a.xyz", "b.pdb", "tmp_c.xyz"}) s.file(f);
    const std::string poscar = s.file("xyzdir/POSCAR", 10);
    s.file("xyzdir/other.xyz", 10);

    Dialog dlg;
    Gui gui(dlg);
    gui.directory = s.root;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(gui.frame(), "") << "before the first trigger";
    EXPECT_STREQ(dlg.getChosenPath(), "");
    EXPECT_EQ(gui.open(s.root), "");
    EXPECT_EQ(gui.entries(), (Names{"d:tmpdir", "d:xyzdir", "f:a.xyz", "f:b.pdb", "f:tmp_c.xyz"}));

    // the name filter: a text to include, or "-" and a text to exclude
    ASSERT_EQ(gui.find(ShownItem::FILTER_FIELD), nullptr) << "the section starts closed";
    gui.click(ShownItem::FILTERING_HEADER);
    gui.click(ShownItem::FILTER_FIELD);
    gui.type("xyz");
    gui.frame();
    EXPECT_EQ(gui.find(ShownItem::FILTER_FIELD)->text, "xyz");
    EXPECT_EQ(gui.entries(), (Names{"d:xyzdir", "f:a.xyz", "f:tmp_c.xyz"}));
    for (int i = 0; i < 3; ++i) gui.key(KEY_BACKSPACE);
    gui.type("-tmp");
    gui.frame();
    EXPECT_EQ(gui.find(ShownItem::FILTER_FIELD)->text, "-tmp");
    EXPECT_EQ(gui.entries(), (Names{"d:xyzdir", "f:a.xyz", "f:b.pdb"}));

    EXPECT_EQ(gui.click(ShownItem::FOLDER_ENTRY, "xyzdir"), "");
    EXPECT_EQ(gui.folder(), s.path("xyzdir"));
    EXPECT_EQ(gui.click(ShownItem::FILE_ENTRY, "POSCAR"), poscar);
    EXPECT_EQ(std::string(dlg.getChosenPath()), poscar);
    EXPECT_EQ(gui.folder(), s.path("xyzdir"));
    EXPECT_FALSE(dlg.hasUserJustCancelledDialog());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(gui.frame(), "") << "after the choice";
    EXPECT_TRUE(dlg.getShownItems().empty()) << "the popup is closed";
    EXPECT_EQ(std::string(dlg.getChosenPath()), poscar);

    // reopening with the chosen file starts in its folder, forgets the choice,
    // the filter and the history
    EXPECT_EQ(gui.open(poscar), "");
    EXPECT_EQ(gui.folder(), s.path("xyzdir"));
    EXPECT_STREQ(dlg.getChosenPath(), "");
    EXPECT_EQ(gui.find(ShownItem::FILTER_FIELD)->text, "");
    EXPECT_EQ(gui.entries(), (Names{"f:other.xyz", "f:POSCAR"}));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_BACK));

    // the popup's close button cancels: nothing is returned from then on
    const ShownItem* wnd = gui.find(ShownItem::WINDOW);
    ASSERT_NE(wnd, nullptr);
    const ImVec2 pad = ImGui::GetStyle().FramePadding;
    const float half = ImGui::GetFontSize() * 0.5f;
    EXPECT_EQ(gui.clickAt(ImVec2(wnd->max.x - pad.x - half, wnd->min.y + pad.y + half)), "");
    EXPECT_TRUE(dlg.hasUserJustCancelledDialog());
    EXPECT_STREQ(dlg.getChosenPath(), "");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(gui.frame(), "");
}

TEST(FileChooserDialog, StartFolderFallsBackToParentThenWorkingFolder)
{
    ScratchDir s;
    s.dir("data");
    const std::string cwd = std::filesystem::canonical(".").string();
    // a directory text longer than any path buffer is refused, not cut
    std::string justTooLong = s.path("data/") + std::string(FileChooser::MAX_PATH_BYTES, 'b');
    justTooLong.resize(FileChooser::MAX_PATH_BYTES);
    const struct {
        std::string given, start;
    } rows[] = {
        {s.path("data/missing.xyz"), s.path("data")}, {s.path("data/"), s.path("data")},
        {s.path("nothere/missing.xyz"), cwd},         {"", cwd},
        {s.path("data/") + std::string(20000, 'a'), cwd}, {justTooLong, cwd},
    };
    Dialog dlg;
    Gui gui(dlg);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.given.substr(0, 80));
        gui.open(r.given);
        EXPECT_EQ(gui.folder(), r.start);
    }
    Names names;
    EXPECT_FALSE(FileChooser::ListFolder(justTooLong.c_str(), false, 0, names));
}

TEST(FileChooserDialog, HistoryTypedLocationAndVanishedFolder)
{
    ScratchDir s;
    for (const char* d : {"a", "a/b", "a/y"}) s.dir(d);
    s.file("a/y/x.xyz");
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_BACK));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));

    gui.click(ShownItem::FOLDER_ENTRY, "a");
    gui.click(ShownItem::FOLDER_ENTRY, "b");
    EXPECT_EQ(gui.folder(), s.path("a/b"));
    EXPECT_TRUE(gui.enabled(ShownItem::HISTORY_BACK));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));

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
    EXPECT_EQ(gui.entries(), (Names{"d:b", "d:y"}));

    // a new folder from the middle of the history drops what lay ahead
    gui.click(ShownItem::FOLDER_ENTRY, "y");
    EXPECT_EQ(gui.entries(), (Names{"f:x.xyz"}));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));
    gui.click(ShownItem::HISTORY_BACK);
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(gui.folder(), s.root);
    gui.click(ShownItem::HISTORY_FORWARD);
    gui.click(ShownItem::HISTORY_FORWARD);
    EXPECT_EQ(gui.folder(), s.path("a/y"));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));

    // a folder in the history that vanished lists nothing
    gui.click(ShownItem::HISTORY_BACK);
    std::filesystem::remove_all(s.path("a/y"));
    gui.click(ShownItem::HISTORY_FORWARD);
    EXPECT_EQ(gui.folder(), s.path("a/y"));
    EXPECT_TRUE(gui.entries().empty());
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(gui.entries(), (Names{"d:b"}));

    // the location editor opens with all its text selected, so typing replaces
    // it; a folder that does not exist is ignored and the editor stays open
    gui.click(ShownItem::EDIT_LOCATION_BUTTON);
    gui.frame();
    ASSERT_NE(gui.find(ShownItem::EDIT_LOCATION_FIELD), nullptr);
    EXPECT_EQ(gui.find(ShownItem::EDIT_LOCATION_FIELD)->text, s.path("a"));
    gui.type(s.path("nothere"));
    gui.key(KEY_ENTER);
    EXPECT_EQ(gui.folder(), s.path("a"));
    ASSERT_NE(gui.find(ShownItem::EDIT_LOCATION_FIELD), nullptr);
    EXPECT_EQ(gui.find(ShownItem::EDIT_LOCATION_FIELD)->text, s.path("nothere"));
    gui.frame();
    gui.type(s.path("a/b//"));  // selected again: replaced again
    gui.key(KEY_ENTER);
    EXPECT_EQ(gui.folder(), s.path("a/b"));
    EXPECT_EQ(gui.find(ShownItem::EDIT_LOCATION_FIELD), nullptr) << "the editor closes";
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(gui.folder(), s.path("a"));
    // only slashes mean the root
    gui.click(ShownItem::EDIT_LOCATION_BUTTON);
    gui.frame();
    gui.type("//");
    gui.key(KEY_ENTER);
    EXPECT_EQ(gui.folder(), "/");
}

TEST(FileChooserDialog, PathButtonsAncestorThenDeeperOneAndWrapping)
{
    ScratchDir s;
    for (const char* d : {"a", "a/b", "a/b/c", "a/y"}) s.dir(d);
    s.file("a/b/c/deep.xyz");
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.path("a/b/c"));

    const Names parts = FileChooser::SplitPath(s.path("a/b/c"));
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), parts);
    EXPECT_EQ(parts.front(), "/");
    EXPECT_EQ(gui.highlightedPathButton(), "c");

    gui.click(ShownItem::PATH_BUTTON, "a");
    EXPECT_EQ(gui.folder(), s.path("a"));
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), parts) << "the deeper components stay";
    EXPECT_EQ(gui.highlightedPathButton(), "a");
    EXPECT_EQ(gui.entries(), (Names{"d:b", "d:y"}));

    gui.click(ShownItem::PATH_BUTTON, "c");
    EXPECT_EQ(gui.folder(), s.path("a/b/c"));
    EXPECT_EQ(gui.highlightedPathButton(), "c");
    EXPECT_EQ(gui.entries(), (Names{"f:deep.xyz"}));

    // back to the ancestor, then into the folder on the row's line: same row
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(gui.highlightedPathButton(), "a");
    gui.click(ShownItem::FOLDER_ENTRY, "b");
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), parts);
    EXPECT_EQ(gui.highlightedPathButton(), "b");

    // a folder off the line starts a new row without the old components
    gui.click(ShownItem::PATH_BUTTON, "a");
    gui.click(ShownItem::FOLDER_ENTRY, "y");
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), FileChooser::SplitPath(s.path("a/y")));
    EXPECT_EQ(gui.highlightedPathButton(), "y");
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));

    // many long components wrap at the window edge, each still a button
    std::string rel;
    for (int i = 0; i < 8; ++i) s.dir(rel += (i ? "/" : "") + std::string("component_with_a_long_name_") + std::to_string(i));
    gui.open(s.path(rel));
    const ShownItem* wnd = gui.find(ShownItem::WINDOW);
    ASSERT_NE(wnd, nullptr);
    const std::vector<const ShownItem*> buttons = gui.all(ShownItem::PATH_BUTTON);
    ASSERT_EQ(buttons.size(), FileChooser::SplitPath(s.path(rel)).size());
    int lines = 1;
    for (size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_LE(buttons[i]->max.x, wnd->max.x) << buttons[i]->text;
        lines += i > 0 && buttons[i]->min.y > buttons[i - 1]->min.y;
    }
    EXPECT_GE(lines, 3);
    EXPECT_EQ(gui.highlightedPathButton(), "component_with_a_long_name_7");
    gui.click(ShownItem::PATH_BUTTON, "component_with_a_long_name_2");
    EXPECT_EQ(gui.folder(), s.path(rel.substr(0, rel.find("_2") + 2)));

    EXPECT_EQ(FileChooser::SplitPath("/"), (Names{"/"}));
    EXPECT_EQ(FileChooser::SplitPath("/a/bb//c/"), (Names{"/", "a", "bb", "c"}));
    for (const char* folder : {"/a/", "/a"}) EXPECT_EQ(FileChooser::JoinPath(folder, "x"), "/a/x");
    EXPECT_EQ(FileChooser::JoinPath("/", "x"), "/x");
}

TEST(FileChooserDialog, KnownFoldersFromHome)
{
    ScratchDir s;
    for (const char* d : {"home", "home/Desktop", "home/Documents", "home/Downloads", "home/Pictures", "home/Videos"})
        s.dir(d);
    s.file("home/Music");  // a file, not a folder: not a known folder
    s.file("home/Desktop/on_desktop.xyz");
    const char* oldHome = getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", s.path("home").c_str(), 1);

    Dialog dlg(false, false, false, true);  // find the known folders at each opening
    Gui gui(dlg);
    gui.open(s.root);
    if (oldHome)
        setenv("HOME", savedHome.c_str(), 1);
    else unsetenv("HOME");

    EXPECT_EQ(gui.find(ShownItem::KNOWN_FOLDER), nullptr) << "the section starts closed";
    gui.click(ShownItem::KNOWN_FOLDERS_HEADER);
    const Names known = gui.shown(ShownItem::KNOWN_FOLDER);
    ASSERT_GE(known.size(), 6u);
    EXPECT_EQ(Names(known.begin(), known.begin() + 6),
              (Names{"Home", "Desktop", "Documents", "Downloads", "Pictures", "Videos"}));
    EXPECT_EQ(std::count(known.begin(), known.end(), "Music"), 0);
    // the user folders share one line (whatever drives this machine has follow)
    const std::vector<const ShownItem*> buttons = gui.all(ShownItem::KNOWN_FOLDER);
    for (size_t i = 1; i < 6; ++i) {
        EXPECT_FLOAT_EQ(buttons[i]->min.y, buttons[0]->min.y);
        EXPECT_GT(buttons[i]->min.x, buttons[i - 1]->max.x);
    }

    gui.click(ShownItem::KNOWN_FOLDER, "Desktop");
    EXPECT_EQ(gui.folder(), s.path("home/Desktop"));
    EXPECT_EQ(gui.entries(), (Names{"f:on_desktop.xyz"}));
    EXPECT_TRUE(gui.find(ShownItem::KNOWN_FOLDER, "Desktop")->highlighted);
    gui.click(ShownItem::KNOWN_FOLDER, "Home");
    EXPECT_EQ(gui.folder(), s.path("home"));
}

TEST(FileChooserDialog, EntriesFillColumnsFromTheTopOrRowsOnRequest)
{
    ScratchDir s;
    for (int i = 0; i < 60; ++i) s.file((i < 10 ? "f0" : "f") + std::to_string(i) + ".xyz");
    {
        Dialog dlg;
        Gui gui(dlg);
        gui.open(s.root);
        EXPECT_EQ(gui.find(ShownItem::DISPLAY_BY_BUTTON), nullptr) << "the row option is off by default";
        const std::vector<const ShownItem*> files = gui.all(ShownItem::FILE_ENTRY);
        ASSERT_EQ(files.size(), 60u);
        // several columns; within one, each entry sits below the previous one
        int columns = 1;
        for (size_t i = 1; i < files.size(); ++i) {
            if (files[i]->min.x > files[i - 1]->min.x + 1.0f) {
                ++columns;
                EXPECT_FLOAT_EQ(files[i]->min.y, files[0]->min.y) << "a new column starts at the top";
            } else {
                EXPECT_FLOAT_EQ(files[i]->min.x, files[i - 1]->min.x);
                EXPECT_GT(files[i]->min.y, files[i - 1]->min.y);
            }
        }
        EXPECT_GT(columns, 1);
        EXPECT_LE(columns, 6);
        // every entry is inside the popup and can be chosen by a click
        EXPECT_LE(files.back()->max.y, gui.find(ShownItem::WINDOW)->max.y);
        EXPECT_EQ(gui.click(ShownItem::FILE_ENTRY, "f59.xyz"), s.path("f59.xyz"));
    }
    Dialog dlg(false, false, false, false, true);
    Gui gui(dlg);
    gui.open(s.root);
    ASSERT_NE(gui.find(ShownItem::DISPLAY_BY_BUTTON), nullptr);
    EXPECT_EQ(gui.find(ShownItem::DISPLAY_BY_BUTTON)->text, "Column");
    for (const char* mode : {"Row", "Column"}) {
        gui.click(ShownItem::DISPLAY_BY_BUTTON);
        SCOPED_TRACE(mode);
        EXPECT_EQ(gui.find(ShownItem::DISPLAY_BY_BUTTON)->text, mode);
        const ShownItem* e0 = gui.find(ShownItem::FILE_ENTRY, "f00.xyz");
        const ShownItem* e1 = gui.find(ShownItem::FILE_ENTRY, "f01.xyz");
        ASSERT_TRUE(e0 && e1);
        if (mode[0] == 'R') {  // across the rows: the second entry is right of the first, on its line
            EXPECT_GT(e1->min.x, e0->max.x);
            EXPECT_FLOAT_EQ(e1->min.y, e0->min.y);
        } else {
            EXPECT_FLOAT_EQ(e1->min.x, e0->min.x);
            EXPECT_GT(e1->min.y, e0->min.y);
        }
    }
}

TEST(FileChooserDialog, WindowPlacementAndTitle)
{
    ScratchDir s;
    Dialog first;  // numbers differ between dialogs, keeping their popups apart
    Dialog dlg;
    Gui gui(dlg);
    // centred on the pointer, then kept inside the display
    const struct {
        ImVec2 pointer, corner;
    } rows[] = {{{640, 500}, {340, 300}}, {{1275, 1020}, {1280 - 600, 1024 - 400}}, {{5, 5}, {0, 0}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.pointer.x);
        ImGui::GetIO().MousePos = r.pointer;
        gui.open(s.root);
        const ShownItem* wnd = gui.find(ShownItem::WINDOW);
        ASSERT_NE(wnd, nullptr);
        EXPECT_FLOAT_EQ(wnd->min.x, r.corner.x);
        EXPECT_FLOAT_EQ(wnd->min.y, r.corner.y);
        EXPECT_FLOAT_EQ(wnd->max.x - wnd->min.x, Dialog::WindowSize.x);
        EXPECT_FLOAT_EQ(wnd->max.y - wnd->min.y, Dialog::WindowSize.y);
        EXPECT_EQ(wnd->text.rfind("Please choose a file##", 0), 0u) << wnd->text;
        EXPECT_NE(wnd->text, "Please choose a file##0");
        // outside the modal popup: nothing happens
        EXPECT_EQ(gui.clickAt(ImVec2(1275, 1020)), "");
        EXPECT_NE(gui.find(ShownItem::WINDOW), nullptr);
    }

    // a caller's title longer than the title buffer is cut, the hidden number
    // kept; the caller's size and position are used
    const std::string longTitle(5000, 'T');
    gui.open(s.root, longTitle.c_str(), ImVec2(300, 200), ImVec2(50, 60));
    const ShownItem* wnd = gui.find(ShownItem::WINDOW);
    ASSERT_NE(wnd, nullptr);
    EXPECT_LT(wnd->text.size(), 600u);
    EXPECT_EQ(wnd->text.substr(0, 10), "TTTTTTTTTT");
    EXPECT_NE(wnd->text.find("##"), std::string::npos);
    EXPECT_FLOAT_EQ(wnd->min.x, 50.0f);
    EXPECT_FLOAT_EQ(wnd->min.y, 60.0f);
    EXPECT_FLOAT_EQ(wnd->max.x - wnd->min.x, 300.0f);
    EXPECT_FLOAT_EQ(wnd->max.y - wnd->min.y, 200.0f);
}
