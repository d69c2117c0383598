// The file chooser on scratch folder trees, driven through Dear ImGui with
// real mouse, character and key input (no window or GL context needed).
#include "filechooser.h"

#include <gtest/gtest.h>
#include <imgui.h>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using FileChooser::Dialog;
using FileChooser::ShownItem;

namespace {

const int KEY_ENTER = 257;
const int KEY_BACKSPACE = 259;

// A temporary folder tree removed at the end of the test.
class Scratch {
public:
    Scratch()
    {
        char tmpl[] = "/tmp/filechooser_test_XXXXXX";
        const char* made = mkdtemp(tmpl);
        EXPECT_NE(made, nullptr);
        char* real = realpath(made, nullptr);
        root = real;
        free(real);
    }
    ~Scratch()
    {
        nftw(root.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 16,
             FTW_DEPTH | FTW_PHYS);
    }
    std::string path(const std::string& rel) const { return rel.empty() ? root : root + "/" + rel; }
    std::string dir(const std::string& rel) const
    {
        std::string p = path(rel);
        EXPECT_EQ(mkdir(p.c_str(), 0755), 0) << p;
        return p;
    }
    std::string file(const std::string& rel, off_t size = 0) const
    {
        std::string p = path(rel);
        int fd = open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        EXPECT_GE(fd, 0) << p;
        close(fd);
        EXPECT_EQ(truncate(p.c_str(), size), 0);
        return p;
    }
    void setTime(const std::string& rel, long seconds) const
    {
        struct timeval tv[2] = {{seconds, 0}, {seconds, 0}};
        EXPECT_EQ(utimes(path(rel).c_str(), tv), 0);
    }
    std::string root;
};

std::vector<std::string> List(const std::string& folder, bool folders, int mode)
{
    std::vector<std::string> names;
    EXPECT_TRUE(FileChooser::ListFolder(folder.c_str(), folders, mode, names));
    return names;
}

std::string WorkingFolder()
{
    char* real = realpath(".", nullptr);
    std::string s = real ? real : "";
    free(real);
    return s;
}

// One Dear ImGui context with a font atlas; every frame calls the dialog
// from inside a host window, as the Choose File window does.
class Gui {
public:
    explicit Gui(Dialog& dialog) : dlg(dialog)
    {
        ctx = ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.DisplaySize = ImVec2(1280, 1024);
        io.IniFilename = nullptr;
        io.DeltaTime = 1.0f / 60.0f;
        io.KeyMap[ImGuiKey_Enter] = KEY_ENTER;
        io.KeyMap[ImGuiKey_Backspace] = KEY_BACKSPACE;
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    }
    ~Gui() { ImGui::DestroyContext(ctx); }

    // Runs one frame and returns what the dialog returned.
    std::string frame(bool trigger = false)
    {
        ImGui::NewFrame();
        ImGui::Begin("Host");
        const char* r = dlg.chooseFileDialog(trigger, directory.c_str(), extensions, nullptr, ImVec2(-1, -1),
                                             ImVec2(-1, -1), 0.875f);
        ImGui::End();
        ImGui::Render();
        return r ? std::string(r) : std::string("(null)");
    }

    std::string open(const std::string& dir)
    {
        directory = dir;
        std::string r = frame(true);
        settle();
        return r;
    }

    void settle()
    {
        for (int i = 0; i < 3; ++i) EXPECT_EQ(frame(), "");
    }

    // Press and release the left button at a point, then one more frame so
    // that what is on screen shows the result. The result of the release
    // frame (where a button reports its press) is returned.
    std::string clickAt(ImVec2 p)
    {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = p;
        io.MouseDown[0] = true;
        std::string a = frame();
        io.MouseDown[0] = false;
        std::string b = frame();
        std::string c = frame();
        EXPECT_EQ(a, "");
        EXPECT_EQ(c, "");
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

    std::vector<std::string> shown(ShownItem::Kind kind) const
    {
        std::vector<std::string> out;
        for (const ShownItem& it : dlg.getShownItems())
            if (it.kind == kind) out.push_back(it.text);
        return out;
    }

    // Folders then files, in the order drawn.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> out;
        for (const ShownItem& it : dlg.getShownItems())
            if (it.kind == ShownItem::FOLDER_ENTRY || it.kind == ShownItem::FILE_ENTRY)
                out.push_back((it.kind == ShownItem::FOLDER_ENTRY ? "d:" : "f:") + it.text);
        return out;
    }

    std::string highlightedPathButton() const
    {
        for (const ShownItem& it : dlg.getShownItems())
            if (it.kind == ShownItem::PATH_BUTTON && it.highlighted) return it.text;
        return std::string();
    }

    bool enabled(ShownItem::Kind kind) const
    {
        const ShownItem* it = find(kind);
        return it && it->enabled;
    }

    Dialog& dlg;
    ImGuiContext* ctx;
    std::string directory;
    const char* extensions = nullptr;
};

typedef std::vector<std::string> Names;

}  // namespace

TEST(FileChooserListing, HiddenBackupLinksAndSpecialEntriesAreNotListed)
{
    Scratch s;
    s.dir("alpha");
    s.dir("Beta");
    s.dir(".hidden_dir");
    s.dir("old~");
    s.file("a.xyz", 5);
    s.file(".secret");
    s.file("notes.txt~");
    ASSERT_EQ(symlink(s.path("a.xyz").c_str(), s.path("link.xyz").c_str()), 0);
    ASSERT_EQ(symlink(s.path("alpha").c_str(), s.path("linkdir").c_str()), 0);
    ASSERT_EQ(mkfifo(s.path("pipe").c_str(), 0644), 0);

    EXPECT_EQ(List(s.root, true, 0), (Names{"alpha", "Beta"}));
    EXPECT_EQ(List(s.root, false, 0), (Names{"a.xyz"}));

    std::vector<std::string> none;
    EXPECT_FALSE(FileChooser::ListFolder(s.path("missing").c_str(), true, 0, none));
    EXPECT_TRUE(none.empty());

    // The same through the dialog: folders first, then files.
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    EXPECT_EQ(gui.entries(), (Names{"d:alpha", "d:Beta", "f:a.xyz"}));
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.root);
}

TEST(FileChooserListing, EverySortingMode)
{
    Scratch s;
    s.file("b.pdb", 30);
    s.file("A.xyz", 10);
    s.file("c", 20);
    s.file("d.CIF", 40);
    s.setTime("b.pdb", 1000);
    s.setTime("A.xyz", 3000);
    s.setTime("c", 2000);
    s.setTime("d.CIF", 500);
    s.dir("zeta");
    s.dir("Alpha");
    s.dir("mid");
    s.setTime("zeta", 100);
    s.setTime("Alpha", 300);
    s.setTime("mid", 200);

    EXPECT_EQ(List(s.root, false, 0), (Names{"A.xyz", "b.pdb", "c", "d.CIF"}));
    EXPECT_EQ(List(s.root, false, 1), (Names{"d.CIF", "c", "b.pdb", "A.xyz"}));
    EXPECT_EQ(List(s.root, false, 2), (Names{"d.CIF", "b.pdb", "c", "A.xyz"}));
    EXPECT_EQ(List(s.root, false, 3), (Names{"A.xyz", "c", "b.pdb", "d.CIF"}));
    EXPECT_EQ(List(s.root, false, 4), (Names{"A.xyz", "c", "b.pdb", "d.CIF"}));
    EXPECT_EQ(List(s.root, false, 5), (Names{"d.CIF", "b.pdb", "c", "A.xyz"}));
    EXPECT_EQ(List(s.root, false, 6), (Names{"c", "d.CIF", "b.pdb", "A.xyz"}));
    EXPECT_EQ(List(s.root, false, 7), (Names{"A.xyz", "b.pdb", "d.CIF", "c"}));

    // Folders: by name, by time, and by name again for size and type.
    EXPECT_EQ(List(s.root, true, 0), (Names{"Alpha", "mid", "zeta"}));
    EXPECT_EQ(List(s.root, true, 1), (Names{"zeta", "mid", "Alpha"}));
    EXPECT_EQ(List(s.root, true, 2), (Names{"zeta", "mid", "Alpha"}));
    EXPECT_EQ(List(s.root, true, 3), (Names{"Alpha", "mid", "zeta"}));
    EXPECT_EQ(List(s.root, true, 4), (Names{"Alpha", "mid", "zeta"}));
    EXPECT_EQ(List(s.root, true, 5), (Names{"zeta", "mid", "Alpha"}));
    EXPECT_EQ(List(s.root, true, 6), (Names{"Alpha", "mid", "zeta"}));
    EXPECT_EQ(List(s.root, true, 7), (Names{"zeta", "mid", "Alpha"}));

    // The sorting buttons: "Name" while current reverses, "Size" then sorts
    // files smallest first while folders keep name order.
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    EXPECT_EQ(gui.entries(), (Names{"d:Alpha", "d:mid", "d:zeta", "f:A.xyz", "f:b.pdb", "f:c", "f:d.CIF"}));
    EXPECT_TRUE(gui.find(ShownItem::SORT_BUTTON, "Name")->highlighted);
    gui.click(ShownItem::SORT_BUTTON, "Name");
    EXPECT_EQ(gui.entries(), (Names{"d:zeta", "d:mid", "d:Alpha", "f:d.CIF", "f:c", "f:b.pdb", "f:A.xyz"}));
    gui.click(ShownItem::SORT_BUTTON, "Name");
    EXPECT_EQ(gui.entries(), (Names{"d:Alpha", "d:mid", "d:zeta", "f:A.xyz", "f:b.pdb", "f:c", "f:d.CIF"}));
    gui.click(ShownItem::SORT_BUTTON, "Size");
    EXPECT_TRUE(gui.find(ShownItem::SORT_BUTTON, "Size")->highlighted);
    EXPECT_FALSE(gui.find(ShownItem::SORT_BUTTON, "Name")->highlighted);
    EXPECT_EQ(gui.entries(), (Names{"d:Alpha", "d:mid", "d:zeta", "f:A.xyz", "f:c", "f:b.pdb", "f:d.CIF"}));
    gui.click(ShownItem::SORT_BUTTON, "Size");
    EXPECT_EQ(gui.entries(), (Names{"d:zeta", "d:mid", "d:Alpha", "f:d.CIF", "f:b.pdb", "f:c", "f:A.xyz"}));
    gui.click(ShownItem::SORT_BUTTON, "Modified");
    EXPECT_EQ(gui.entries(), (Names{"d:zeta", "d:mid", "d:Alpha", "f:d.CIF", "f:b.pdb", "f:c", "f:A.xyz"}));
    gui.click(ShownItem::SORT_BUTTON, "Type");
    EXPECT_EQ(gui.entries(), (Names{"d:Alpha", "d:mid", "d:zeta", "f:c", "f:d.CIF", "f:b.pdb", "f:A.xyz"}));
}

TEST(FileChooserDialog, ChosenPathIsReturnedInOneFrameOnly)
{
    Scratch s;
    s.dir("run1");
    std::string poscar = s.file("run1/POSCAR", 10);
    s.file("run1/other.xyz", 10);

    Dialog dlg;
    Gui gui(dlg);
    gui.directory = s.root;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(gui.frame(), "") << "before the first trigger";
    EXPECT_STREQ(dlg.getChosenPath(), "");

    EXPECT_EQ(gui.open(s.root), "");
    EXPECT_EQ(gui.click(ShownItem::FOLDER_ENTRY, "run1"), "");
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("run1"));
    EXPECT_EQ(gui.click(ShownItem::FILE_ENTRY, "POSCAR"), poscar);
    EXPECT_EQ(std::string(dlg.getChosenPath()), poscar);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("run1"));
    EXPECT_FALSE(dlg.hasUserJustCancelledDialog());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(gui.frame(), "") << "after the choice";
    EXPECT_TRUE(dlg.getShownItems().empty()) << "the popup is closed";
    EXPECT_EQ(std::string(dlg.getChosenPath()), poscar);

    // Reopening with the chosen file starts in its folder and forgets the choice.
    EXPECT_EQ(gui.open(poscar), "");
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("run1"));
    EXPECT_STREQ(dlg.getChosenPath(), "");
    EXPECT_EQ(gui.entries(), (Names{"f:other.xyz", "f:POSCAR"}));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_BACK)) << "the history starts afresh";

    // The popup's close button cancels: nothing is returned from then on.
    const ShownItem* wnd = gui.find(ShownItem::WINDOW);
    ASSERT_NE(wnd, nullptr);
    const ImGuiStyle& style = ImGui::GetStyle();
    const float font = ImGui::GetFontSize();
    EXPECT_EQ(gui.clickAt(ImVec2(wnd->max.x - style.FramePadding.x - font * 0.5f,
                                 wnd->min.y + style.FramePadding.y + font * 0.5f)),
              "");
    EXPECT_TRUE(dlg.hasUserJustCancelledDialog());
    EXPECT_STREQ(dlg.getChosenPath(), "");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(gui.frame(), "");
}

TEST(FileChooserDialog, StartFolderFallsBackToParentThenWorkingFolder)
{
    Scratch s;
    s.dir("data");
    Dialog dlg;
    Gui gui(dlg);

    gui.open(s.path("data/missing.xyz"));
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("data"));
    gui.open(s.path("data/"));
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("data"));
    gui.open(s.path("nothere/missing.xyz"));
    EXPECT_EQ(std::string(dlg.getLastDirectory()), WorkingFolder());
    gui.open("");
    EXPECT_EQ(std::string(dlg.getLastDirectory()), WorkingFolder());

    // A directory text longer than any path buffer is refused, not cut.
    std::string tooLong = s.path("data") + "/" + std::string(20000, 'a');
    gui.open(tooLong);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), WorkingFolder());
    std::string justTooLong = s.path("data/") + std::string(FileChooser::MAX_PATH_BYTES, 'b');
    justTooLong.resize(FileChooser::MAX_PATH_BYTES);
    gui.open(justTooLong);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), WorkingFolder());
    std::vector<std::string> names;
    EXPECT_FALSE(FileChooser::ListFolder(justTooLong.c_str(), false, 0, names));
}

TEST(FileChooserDialog, HistoryBackForwardAndNewFolderDropsForward)
{
    Scratch s;
    s.dir("a");
    s.dir("a/b");
    s.dir("a/y");
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_BACK));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));

    gui.click(ShownItem::FOLDER_ENTRY, "a");
    gui.click(ShownItem::FOLDER_ENTRY, "b");
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("a/b"));
    EXPECT_TRUE(gui.enabled(ShownItem::HISTORY_BACK));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));

    gui.click(ShownItem::HISTORY_FORWARD);  // nothing ahead: no effect
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("a/b"));
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("a"));
    EXPECT_EQ(gui.entries(), (Names{"d:b", "d:y"}));
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.root);
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_BACK));
    gui.click(ShownItem::HISTORY_BACK);  // nothing behind: no effect
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.root);
    gui.click(ShownItem::HISTORY_FORWARD);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("a"));
    EXPECT_TRUE(gui.enabled(ShownItem::HISTORY_FORWARD));

    // A new folder from the middle of the history drops what lay ahead.
    gui.click(ShownItem::FOLDER_ENTRY, "y");
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("a/y"));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));
    gui.click(ShownItem::HISTORY_BACK);
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.root);
    gui.click(ShownItem::HISTORY_FORWARD);
    gui.click(ShownItem::HISTORY_FORWARD);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("a/y"));
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));
}

TEST(FileChooserDialog, AncestorPathButtonThenDeeperOneReturns)
{
    Scratch s;
    s.dir("a");
    s.dir("a/b");
    s.dir("a/b/c");
    s.dir("a/y");
    s.file("a/b/c/deep.xyz");
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.path("a/b/c"));

    Names parts = FileChooser::SplitPath(s.path("a/b/c"));
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), parts);
    EXPECT_EQ(parts.front(), "/");
    EXPECT_EQ(gui.highlightedPathButton(), "c");

    gui.click(ShownItem::PATH_BUTTON, "a");
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("a"));
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), parts) << "the deeper components stay";
    EXPECT_EQ(gui.highlightedPathButton(), "a");
    EXPECT_EQ(gui.entries(), (Names{"d:b", "d:y"}));

    gui.click(ShownItem::PATH_BUTTON, "c");
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("a/b/c"));
    EXPECT_EQ(gui.highlightedPathButton(), "c");
    EXPECT_EQ(gui.entries(), (Names{"f:deep.xyz"}));

    // Back to the ancestor, then into the folder on the row's line: same line.
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(gui.highlightedPathButton(), "a");
    gui.click(ShownItem::FOLDER_ENTRY, "b");
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), parts);
    EXPECT_EQ(gui.highlightedPathButton(), "b");

    // A folder off the line starts a new row without the old components.
    gui.click(ShownItem::PATH_BUTTON, "a");
    gui.click(ShownItem::FOLDER_ENTRY, "y");
    Names yParts = FileChooser::SplitPath(s.path("a/y"));
    EXPECT_EQ(gui.shown(ShownItem::PATH_BUTTON), yParts);
    EXPECT_EQ(gui.highlightedPathButton(), "y");
    EXPECT_FALSE(gui.enabled(ShownItem::HISTORY_FORWARD));
}

TEST(FileChooserDialog, NameFilterIncludesAndExcludes)
{
    Scratch s;
    s.dir("xyzdir");
    s.dir("tmpdir");
    s.file("a.xyz");
    s.file("b.pdb");
    s.file("tmp_c.xyz");
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    EXPECT_EQ(gui.entries(), (Names{"d:tmpdir", "d:xyzdir", "f:a.xyz", "f:b.pdb", "f:tmp_c.xyz"}));

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

    // Reopening after a choice clears the filter.
    EXPECT_EQ(gui.click(ShownItem::FILE_ENTRY, "a.xyz"), s.path("a.xyz"));
    gui.open(s.root);
    EXPECT_EQ(gui.find(ShownItem::FILTER_FIELD)->text, "");
    EXPECT_EQ(gui.entries().size(), 5u);
}

TEST(FileChooserDialog, ExtensionFilterKeepsMatchingFiles)
{
    Scratch s;
    s.dir("sub");
    s.file("a.XYZ");
    s.file("b.pdb");
    s.file("c.txt");
    s.file("POSCAR");
    Dialog dlg;
    Gui gui(dlg);
    gui.extensions = ".xyz;.PDB";
    gui.open(s.root);
    EXPECT_EQ(gui.entries(), (Names{"d:sub", "f:a.XYZ", "f:b.pdb"}));
}

TEST(FileChooserDialog, TypedLocation)
{
    Scratch s;
    s.dir("target");
    s.dir("other");
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);

    gui.click(ShownItem::EDIT_LOCATION_BUTTON);
    gui.frame();
    ASSERT_NE(gui.find(ShownItem::EDIT_LOCATION_FIELD), nullptr);
    EXPECT_EQ(gui.find(ShownItem::EDIT_LOCATION_FIELD)->text, s.root);

    // All text is selected: typing replaces it. A folder that does not exist
    // is ignored and the editor stays open with its text selected again.
    gui.type(s.path("nothere"));
    gui.key(KEY_ENTER);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.root);
    ASSERT_NE(gui.find(ShownItem::EDIT_LOCATION_FIELD), nullptr);

    EXPECT_EQ(gui.find(ShownItem::EDIT_LOCATION_FIELD)->text, s.path("nothere"));
    gui.frame();
    gui.type(s.path("target//"));
    gui.key(KEY_ENTER);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("target"));
    EXPECT_EQ(gui.find(ShownItem::EDIT_LOCATION_FIELD), nullptr) << "the editor closes";
    EXPECT_TRUE(gui.enabled(ShownItem::HISTORY_BACK));
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.root);

    // Only slashes mean the root.
    gui.click(ShownItem::EDIT_LOCATION_BUTTON);
    gui.frame();
    gui.type("//");
    gui.key(KEY_ENTER);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), "/");
}

TEST(FileChooserDialog, KnownFoldersFromHome)
{
    Scratch s;
    s.dir("home");
    s.dir("home/Desktop");
    s.dir("home/Documents");
    s.dir("home/Downloads");
    s.file("home/Music");  // a file, not a folder: not a known folder
    s.dir("home/Pictures");
    s.dir("home/Videos");
    s.file("home/Desktop/on_desktop.xyz");
    const char* oldHome = getenv("HOME");
    std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", s.path("home").c_str(), 1);

    Dialog dlg(false, false, false, true);  // find the known folders at each opening
    Gui gui(dlg);
    gui.open(s.root);
    if (oldHome) setenv("HOME", savedHome.c_str(), 1);
    else unsetenv("HOME");

    EXPECT_EQ(gui.find(ShownItem::KNOWN_FOLDER), nullptr) << "the section starts closed";
    gui.click(ShownItem::KNOWN_FOLDERS_HEADER);
    Names known = gui.shown(ShownItem::KNOWN_FOLDER);
    ASSERT_GE(known.size(), 3u);
    ASSERT_GE(known.size(), 6u);
    EXPECT_EQ(Names(known.begin(), known.begin() + 6),
              (Names{"Home", "Desktop", "Documents", "Downloads", "Pictures", "Videos"}));
    EXPECT_EQ(std::count(known.begin(), known.end(), "Music"), 0);
    // The user folders share one line (whatever drives this machine has follow).
    std::vector<const ShownItem*> buttons;
    for (const ShownItem& it : dlg.getShownItems())
        if (it.kind == ShownItem::KNOWN_FOLDER) buttons.push_back(&it);
    for (size_t i = 1; i < 6; ++i) {
        EXPECT_FLOAT_EQ(buttons[i]->min.y, buttons[0]->min.y);
        EXPECT_GT(buttons[i]->min.x, buttons[i - 1]->max.x);
    }

    gui.click(ShownItem::KNOWN_FOLDER, "Desktop");
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("home/Desktop"));
    EXPECT_EQ(gui.entries(), (Names{"f:on_desktop.xyz"}));
    EXPECT_TRUE(gui.find(ShownItem::KNOWN_FOLDER, "Desktop")->highlighted);
    gui.click(ShownItem::KNOWN_FOLDER, "Home");
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("home"));
}

TEST(FileChooserDialog, EntriesFillColumnsFromTheTop)
{
    Scratch s;
    for (int i = 0; i < 60; ++i) {
        char name[32];
        snprintf(name, sizeof(name), "f%02d.xyz", i);
        s.file(name);
    }
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    std::vector<const ShownItem*> files;
    for (const ShownItem& it : dlg.getShownItems())
        if (it.kind == ShownItem::FILE_ENTRY) files.push_back(&it);
    ASSERT_EQ(files.size(), 60u);
    // Several columns; within one, each entry sits below the previous one.
    int columns = 1;
    for (size_t i = 1; i < files.size(); ++i) {
        if (files[i]->min.x > files[i - 1]->min.x + 1.0f) {
            ++columns;
            EXPECT_LT(files[i]->min.y, files[i - 1]->min.y) << "a new column starts at the top";
            EXPECT_FLOAT_EQ(files[i]->min.y, files[0]->min.y);
        } else {
            EXPECT_FLOAT_EQ(files[i]->min.x, files[i - 1]->min.x);
            EXPECT_GT(files[i]->min.y, files[i - 1]->min.y);
        }
    }
    EXPECT_GT(columns, 1);
    EXPECT_LE(columns, 6);
    // Every entry is inside the popup and can be chosen by a click.
    const ShownItem* wnd = gui.find(ShownItem::WINDOW);
    ASSERT_NE(wnd, nullptr);
    EXPECT_LE(files.back()->max.y, wnd->max.y);
    EXPECT_EQ(gui.click(ShownItem::FILE_ENTRY, "f59.xyz"), s.path("f59.xyz"));
}

TEST(FileChooserPaths, SplitAndJoin)
{
    EXPECT_EQ(FileChooser::SplitPath("/"), (Names{"/"}));
    EXPECT_EQ(FileChooser::SplitPath("/a/bb//c/"), (Names{"/", "a", "bb", "c"}));
    EXPECT_EQ(FileChooser::JoinPath("/", "x"), "/x");
    EXPECT_EQ(FileChooser::JoinPath("/a/", "x"), "/a/x");
    EXPECT_EQ(FileChooser::JoinPath("/a", "x"), "/a/x");
}

TEST(FileChooserDialog, WindowPlacementAndTitle)
{
    Scratch s;
    Dialog first;  // numbers differ between dialogs, keeping their popups apart
    Dialog dlg;
    Gui gui(dlg);
    ImGuiIO& io = ImGui::GetIO();

    // Centred on the pointer, then kept inside the display.
    io.MousePos = ImVec2(640, 500);
    gui.open(s.root);
    const ShownItem* wnd = gui.find(ShownItem::WINDOW);
    ASSERT_NE(wnd, nullptr);
    EXPECT_FLOAT_EQ(wnd->min.x, 340.0f);
    EXPECT_FLOAT_EQ(wnd->min.y, 300.0f);
    EXPECT_FLOAT_EQ(wnd->max.x - wnd->min.x, Dialog::WindowSize.x);
    EXPECT_FLOAT_EQ(wnd->max.y - wnd->min.y, Dialog::WindowSize.y);
    const std::string title = wnd->text;
    EXPECT_EQ(title.rfind("Please choose a file##", 0), 0u) << title;
    EXPECT_NE(title, "Please choose a file##0");

    EXPECT_EQ(gui.clickAt(ImVec2(1275, 1020)), "") << "outside the modal popup: nothing happens";
    gui.open(s.root);
    wnd = gui.find(ShownItem::WINDOW);
    EXPECT_FLOAT_EQ(wnd->min.x, 1280.0f - 600.0f);
    EXPECT_FLOAT_EQ(wnd->min.y, 1024.0f - 400.0f);

    io.MousePos = ImVec2(5, 5);
    gui.open(s.root);
    wnd = gui.find(ShownItem::WINDOW);
    EXPECT_FLOAT_EQ(wnd->min.x, 0.0f);
    EXPECT_FLOAT_EQ(wnd->min.y, 0.0f);

    // A caller's title longer than the title buffer is cut, the hidden
    // number kept; the caller's size and position are used.
    std::string longTitle(5000, 'T');
    gui.frame();
    ImGui::NewFrame();
    ImGui::Begin("Host");
    dlg.chooseFileDialog(true, s.root.c_str(), nullptr, longTitle.c_str(), ImVec2(300, 200), ImVec2(50, 60));
    ImGui::End();
    ImGui::Render();
    gui.settle();
    wnd = gui.find(ShownItem::WINDOW);
    ASSERT_NE(wnd, nullptr);
    EXPECT_LT(wnd->text.size(), 600u);
    EXPECT_EQ(wnd->text.substr(0, 10), "TTTTTTTTTT");
    EXPECT_NE(wnd->text.find("##"), std::string::npos);
    EXPECT_FLOAT_EQ(wnd->min.x, 50.0f);
    EXPECT_FLOAT_EQ(wnd->min.y, 60.0f);
    EXPECT_FLOAT_EQ(wnd->max.x - wnd->min.x, 300.0f);
    EXPECT_FLOAT_EQ(wnd->max.y - wnd->min.y, 200.0f);
}

TEST(FileChooserDialog, DisplayByRowOption)
{
    Scratch s;
    for (int i = 0; i < 40; ++i) {
        char name[32];
        snprintf(name, sizeof(name), "g%02d.pdb", i);
        s.file(name);
    }
    Dialog plain;
    {
        Gui gui(plain);
        gui.open(s.root);
        EXPECT_EQ(gui.find(ShownItem::DISPLAY_BY_BUTTON), nullptr) << "the option is off by default";
    }
    Dialog dlg(false, false, false, false, true);
    Gui gui(dlg);
    gui.open(s.root);
    ASSERT_NE(gui.find(ShownItem::DISPLAY_BY_BUTTON), nullptr);
    EXPECT_EQ(gui.find(ShownItem::DISPLAY_BY_BUTTON)->text, "Column");
    gui.click(ShownItem::DISPLAY_BY_BUTTON);
    EXPECT_EQ(gui.find(ShownItem::DISPLAY_BY_BUTTON)->text, "Row");
    // Across the rows: the second entry is right of the first, on its line.
    const ShownItem* e0 = gui.find(ShownItem::FILE_ENTRY, "g00.pdb");
    const ShownItem* e1 = gui.find(ShownItem::FILE_ENTRY, "g01.pdb");
    ASSERT_TRUE(e0 && e1);
    EXPECT_GT(e1->min.x, e0->max.x);
    EXPECT_FLOAT_EQ(e1->min.y, e0->min.y);
    gui.click(ShownItem::DISPLAY_BY_BUTTON);  // back to columns for the other tests
    e0 = gui.find(ShownItem::FILE_ENTRY, "g00.pdb");
    e1 = gui.find(ShownItem::FILE_ENTRY, "g01.pdb");
    EXPECT_FLOAT_EQ(e1->min.x, e0->min.x);
    EXPECT_GT(e1->min.y, e0->min.y);
}

TEST(FileChooserDialog, PathButtonsWrapAtTheWindowEdge)
{
    Scratch s;
    std::string rel;
    for (int i = 0; i < 8; ++i) {
        rel += (i ? "/" : "") + std::string("component_with_a_long_name_") + std::to_string(i);
        s.dir(rel);
    }
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.path(rel));
    const ShownItem* wnd = gui.find(ShownItem::WINDOW);
    ASSERT_NE(wnd, nullptr);
    std::vector<const ShownItem*> buttons;
    for (const ShownItem& it : dlg.getShownItems())
        if (it.kind == ShownItem::PATH_BUTTON) buttons.push_back(&it);
    ASSERT_EQ(buttons.size(), FileChooser::SplitPath(s.path(rel)).size());
    int lines = 1;
    for (size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_LE(buttons[i]->max.x, wnd->max.x) << buttons[i]->text;
        if (i > 0 && buttons[i]->min.y > buttons[i - 1]->min.y) ++lines;
    }
    EXPECT_GE(lines, 3);
    EXPECT_EQ(gui.highlightedPathButton(), "component_with_a_long_name_7");
    gui.click(ShownItem::PATH_BUTTON, "component_with_a_long_name_2");
    EXPECT_EQ(std::string(dlg.getLastDirectory()),
              s.path("component_with_a_long_name_0/component_with_a_long_name_1/component_with_a_long_name_2"));
}

TEST(FileChooserDialog, FolderThatCannotBeReadListsNothing)
{
    Scratch s;
    s.dir("gone");
    s.file("gone/x.xyz");
    s.file("here.xyz");
    Dialog dlg;
    Gui gui(dlg);
    gui.open(s.root);
    gui.click(ShownItem::FOLDER_ENTRY, "gone");
    EXPECT_EQ(gui.entries(), (Names{"f:x.xyz"}));
    gui.click(ShownItem::HISTORY_BACK);
    ASSERT_EQ(unlink(s.path("gone/x.xyz").c_str()), 0);
    ASSERT_EQ(rmdir(s.path("gone").c_str()), 0);
    gui.click(ShownItem::HISTORY_FORWARD);
    EXPECT_EQ(std::string(dlg.getLastDirectory()), s.path("gone"));
    EXPECT_TRUE(gui.entries().empty());
    gui.click(ShownItem::HISTORY_BACK);
    EXPECT_EQ(gui.entries(), (Names{"f:here.xyz"}));
    EXPECT_EQ(gui.click(ShownItem::FILE_ENTRY, "here.xyz"), s.path("here.xyz"));
}
