// Rules of the settings path: where the layout file goes, how its folder is
// made, and which user names are refused. Also the version text and the
// cutting of over-long texts into fixed buffers.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tesk.h"

namespace {

bool IsDir(const std::string& p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& p)
{
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

int CountEntries(const std::string& dir)
{
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            n += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
        closedir(d);
    }
    return n;
}

class SettingsPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/tesk_settings_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        scratch = tmpl;
        root = scratch + "/home";
        ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        old_cwd = cwd;
        // a command run through a shell would act in the working folder
        ASSERT_EQ(chdir(scratch.c_str()), 0);
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir(old_cwd.c_str()), 0);
        const std::string cmd = "rm -rf '" + scratch + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }

    std::string scratch, root, old_cwd;
    char config[CONFIG_SIZE];
    std::string line;
};

TEST_F(SettingsPathTest, FirstStartCreatesTheFolderThenReportsThePath)
{
    ASSERT_TRUE(SetupSettingsPath(root.c_str(), "alice", config, line));
    EXPECT_EQ(line, " settings: mkdir -p " + root + "/alice/.tesk-org/\n");
    EXPECT_EQ(std::string(config), root + "/alice/.tesk-org/tesk.ini");
    EXPECT_TRUE(IsDir(root + "/alice/.tesk-org"));
    EXPECT_FALSE(Exists(config)) << "the GUI library writes the file, not the shell";

    // the same start again, before the layout was saved: folder already there
    ASSERT_TRUE(SetupSettingsPath(root.c_str(), "alice", config, line));
    EXPECT_EQ(line, " settings: mkdir -p " + root + "/alice/.tesk-org/\n");

    std::ofstream(config) << "[Window][Debug##Default]\n";
    ASSERT_TRUE(SetupSettingsPath(root.c_str(), "alice", config, line));
    EXPECT_EQ(line, " settings: " + root + "/alice/.tesk-org/tesk.ini\n");
}

TEST_F(SettingsPathTest, ShellCharactersInTheNameRunNothing)
{
    const char* names[] = {"; touch x", "$(touch y)", "`touch z`", "a && touch w", "-rf"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SetupSettingsPath(root.c_str(), name, config, line));
        EXPECT_EQ(line, " settings: mkdir -p " + root + "/" + name + "/.tesk-org/\n");
        // the folder carries the name literally
        EXPECT_TRUE(IsDir(root + "/" + name + "/.tesk-org"));
    }
    for (const char* f : {"x", "y", "z", "w"}) {
        EXPECT_FALSE(Exists(scratch + "/" + f)) << f;
        EXPECT_FALSE(Exists(root + "/" + f)) << f;
    }
    EXPECT_EQ(CountEntries(root), 5);
}

TEST_F(SettingsPathTest, UnusableNamesRunWithoutALayoutFile)
{
    struct Case {
        const char* user;
        const char* reason;
    } cases[] = {
        {nullptr, "USER is not set"},
        {"", "USER is empty"},
        {"a/b", "USER cannot be used as a folder name"},
        {"/", "USER cannot be used as a folder name"},
        {"..", "USER cannot be used as a folder name"},
        {"x..y", "USER cannot be used as a folder name"},
        {".", "USER cannot be used as a folder name"},
        {"ab\ncd", "USER contains control characters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user ? c.user : "(unset)");
        std::memset(config, 'Q', sizeof config);
        EXPECT_FALSE(SetupSettingsPath(root.c_str(), c.user, config, line));
        EXPECT_EQ(config[0], '\0');
        EXPECT_EQ(line, std::string(" settings: ") + c.reason + "; the window layout will not be saved\n");
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << "one plain line";
    }
    EXPECT_EQ(CountEntries(root), 0) << "nothing created for a refused name";
    EXPECT_EQ(CountEntries(scratch), 1);
}

TEST_F(SettingsPathTest, NameLengthBoundedByThe200BytePath)
{
    // root + "/" + user + "/.tesk-org/tesk.ini" and the terminating zero
    const std::size_t longest = CONFIG_SIZE - 1 - root.size() - 1 - std::strlen("/.tesk-org/tesk.ini");
    const std::string fits(longest, 'u');
    ASSERT_TRUE(SetupSettingsPath(root.c_str(), fits.c_str(), config, line));
    EXPECT_EQ(std::strlen(config), CONFIG_SIZE - 1);
    EXPECT_TRUE(IsDir(root + "/" + fits + "/.tesk-org"));

    const std::string too_long(longest + 1, 'v');
    std::memset(config, 'Q', sizeof config);
    EXPECT_FALSE(SetupSettingsPath(root.c_str(), too_long.c_str(), config, line));
    EXPECT_EQ(config[0], '\0');
    EXPECT_EQ(line, " settings: USER is too long for the settings path; the window layout will not be saved\n");
    EXPECT_FALSE(Exists(root + "/" + too_long));

    const std::string huge(5000, 'w');
    EXPECT_FALSE(SetupSettingsPath(root.c_str(), huge.c_str(), config, line));
    EXPECT_EQ(config[0], '\0');
}

TEST_F(SettingsPathTest, FolderThatCannotBeMadeIsReported)
{
    // a plain file where the user's folder should be
    const std::string blocker = root + "/carol";
    std::ofstream(blocker) << "not a folder\n";
    EXPECT_FALSE(SetupSettingsPath(root.c_str(), "carol", config, line));
    EXPECT_EQ(config[0], '\0');
    EXPECT_EQ(line, " settings: mkdir -p " + root + "/carol/.tesk-org/\n settings: could not create " + root +
                        "/carol/.tesk-org/: Not a directory; the window layout will not be saved\n");
}

TEST(ShellState, StartValues)
{
    CShellState s;
    EXPECT_STREQ(s.user_version, "Tesk alpha 18.11(25)");
    EXPECT_TRUE(s.show_config_window && s.show_file_chooser && s.show_info_window);
    EXPECT_FLOAT_EQ(s.clear_color[0], 0.4f);
    EXPECT_FLOAT_EQ(s.clear_color[1], 0.6f);
    EXPECT_FLOAT_EQ(s.clear_color[2], 0.7f);
    EXPECT_FLOAT_EQ(s.clear_color[3], 1.0f);
    EXPECT_TRUE(s.is_atom_lock);
    EXPECT_FALSE(s.is_mouse || s.is_select_pie);
    EXPECT_EQ(s.selected, -1);
    EXPECT_FLOAT_EQ(s.zoom, 1.0f);
    EXPECT_STREQ(s.items[0], "Close");
    EXPECT_STREQ(s.items[5], "-");
    EXPECT_STREQ(s.format_items[2], "PDB");
    EXPECT_EQ(s.filePath[0], '\0');
}

TEST(CopyTextCut, CutsAtCharacterBoundaries)
{
    char buf[8];
    EXPECT_TRUE(CopyTextCut(buf, sizeof buf, "abcdefg"));
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_FALSE(CopyTextCut(buf, sizeof buf, "abcdefgh"));
    EXPECT_STREQ(buf, "abcdefg");
    // "abcde" + U+00E9 (2 bytes) + "x": the accent would straddle the end
    EXPECT_FALSE(CopyTextCut(buf, sizeof buf, "abcdef\xc3\xa9x"));
    EXPECT_STREQ(buf, "abcdef");
    // a 3-byte character cut before its start
    EXPECT_FALSE(CopyTextCut(buf, sizeof buf, "abcde\xe2\x82\xac"));
    EXPECT_STREQ(buf, "abcde");
    EXPECT_TRUE(CopyTextCut(buf, sizeof buf, nullptr));
    EXPECT_STREQ(buf, "");

    char guard[4 + 1 + 4];
    std::memset(guard, '#', sizeof guard);
    CopyTextCut(guard + 4, 1, "long text");
    EXPECT_EQ(guard[4], '\0');
    EXPECT_EQ(guard[3], '#');
    EXPECT_EQ(guard[5], '#');
}

}  // namespace
