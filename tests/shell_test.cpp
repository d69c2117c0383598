// Rules of the settings path: where the layout file goes, how its folder is
// made, and which user names are refused. Also the cutting of over-long
// texts into fixed buffers.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#include "shell_test_support.h"
#include "tesk.h"

namespace fs = std::filesystem;

namespace {

class SettingsPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = scratch.dir("home");
        old_cwd = fs::current_path();
        // a command run through a shell would act in the working folder
        fs::current_path(scratch.root);
    }
    void TearDown() override { fs::current_path(old_cwd); }
    std::size_t Entries(const std::string& dir) const
    {
        return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    }

    ScratchDir scratch{"tesk_settings"};
    std::string root;
    fs::path old_cwd;
    char config[CONFIG_SIZE];
    std::string line;
};

TEST_F(SettingsPathTest, FirstStartCreatesTheFolderThenReportsThePath)
{
    const std::string made = " settings: mkdir -p " + root + "/alice/.tesk-org/\n";
    ASSERT_TRUE(SetupSettingsPath(root.c_str(), "alice", config, line));
    EXPECT_EQ(line, made);
    EXPECT_EQ(std::string(config), root + "/alice/.tesk-org/tesk.ini");
    EXPECT_TRUE(fs::is_directory(root + "/alice/.tesk-org"));
    EXPECT_FALSE(fs::exists(config)) << "the GUI library writes the file, not the shell";

    // the same start again, before the layout was saved: folder already there
    ASSERT_TRUE(SetupSettingsPath(root.c_str(), "alice", config, line));
    EXPECT_EQ(line, made);

    std::ofstream(config) << "[Window][Debug##Default]\n";
    ASSERT_TRUE(SetupSettingsPath(root.c_str(), "alice", config, line));
    EXPECT_EQ(line, " settings: " + root + "/alice/.tesk-org/tesk.ini\n");

    // the longest name that fits the 200-byte path with its terminating zero
    const std::string fits(CONFIG_SIZE - 1 - root.size() - 1 - std::strlen("/.tesk-org/tesk.ini"), 'u');
    ASSERT_TRUE(SetupSettingsPath(root.c_str(), fits.c_str(), config, line));
    EXPECT_EQ(std::strlen(config), CONFIG_SIZE - 1);
    EXPECT_TRUE(fs::is_directory(root + "/" + fits + "/.tesk-org"));
}

TEST_F(SettingsPathTest, ShellCharactersInTheNameRunNothing)
{
    const char* names[] = {"; touch x", "$(touch y)", "`touch z`", "a && touch w", "-rf"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SetupSettingsPath(root.c_str(), name, config, line));
        EXPECT_EQ(line, " settings: mkdir -p " + root + "/" + name + "/.tesk-org/\n");
        EXPECT_TRUE(fs::is_directory(root + "/" + name + "/.tesk-org")) << "the name is taken literally";
    }
    for (const char* f : {"x", "y", "z", "w"}) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(scratch.path(f)))) << f;
        EXPECT_FALSE(fs::exists(fs::symlink_status(root + "/" + f))) << f;
    }
    EXPECT_EQ(Entries(root), 5u);
}

TEST_F(SettingsPathTest, UnusableNamesRunWithoutALayoutFile)
{
    const std::size_t longest = CONFIG_SIZE - 1 - root.size() - 1 - std::strlen("/.tesk-org/tesk.ini");
    const std::string too_long(longest + 1, 'v'), huge(5000, 'w');
    const char* folder = "USER cannot be used as a folder name";
    const char* length = "USER is too long for the settings path";
    const struct {
        const char* user;
        const char* reason;
    } cases[] = {
        {nullptr, "USER is not set"}, {"", "USER is empty"},  {"a/b", folder},
        {"/", folder},                {"..", folder},         {"x..y", folder},
        {".", folder},                {"ab\ncd", "USER contains control characters"},
        {too_long.c_str(), length},   {huge.c_str(), length},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user ? std::string(c.user).substr(0, 20) : "(unset)");
        std::memset(config, 'Q', sizeof config);
        EXPECT_FALSE(SetupSettingsPath(root.c_str(), c.user, config, line));
        EXPECT_EQ(config[0], '\0');
        EXPECT_EQ(line, std::string(" settings: ") + c.reason + "; the window layout will not be saved\n");
    }
    EXPECT_EQ(Entries(root), 0u) << "nothing created for a refused name";
    EXPECT_EQ(Entries(scratch.root), 1u);
}

TEST_F(SettingsPathTest, FolderThatCannotBeMadeIsReported)
{
    std::ofstream(root + "/carol") << "a plain file where the user's folder should be\n";
    EXPECT_FALSE(SetupSettingsPath(root.c_str(), "carol", config, line));
    EXPECT_EQ(config[0], '\0');
    EXPECT_EQ(line, " settings: mkdir -p " + root + "/carol/.tesk-org/\n settings: could not create " + root +
                        "/carol/.tesk-org/: Not a directory; the window layout will not be saved\n");
}

TEST(CopyTextCut, CutsAtCharacterBoundaries)
{
    const struct {
        const char* text;
        bool whole;
        const char* kept;
    } rows[] = {
        {"abcdefg", true, "abcdefg"},
        {"abcdefgh", false, "abcdefg"},
        {"abcdef\xc3\xa9x", false, "abcdef"},  // a 2-byte character would straddle the end
        {"abcde\xe2\x82\xac", false, "abcde"},  // a 3-byte one is cut before its start
        {nullptr, true, ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.kept);
        char buf[8];
        EXPECT_EQ(CopyTextCut(buf, sizeof buf, r.text), r.whole);
        EXPECT_STREQ(buf, r.kept);
    }
    char guard[4 + 1 + 4];
    std::memset(guard, '#', sizeof guard);
    CopyTextCut(guard + 4, 1, "long text");
    EXPECT_EQ(guard[4], '\0');
    EXPECT_EQ(guard[3], '#');
    EXPECT_EQ(guard[5], '#');
}

}  // namespace
