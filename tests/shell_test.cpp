// Where the layout file goes, how its folder is made and which user names
// are refused; the cutting of over-long texts into fixed buffers.
#include <cstring>
#include <filesystem>

#include "shell_test_support.h"
#include "ui/shell.h"

namespace fs = std::filesystem;

namespace {

std::size_t Entries(const std::string& dir)
{
    return std::distance(fs::directory_iterator(dir), {});
}

TEST(SettingsPath, MadeOnFirstStartNamedLiterallyOrRefused)
{
    ScratchDir scratch("tesk_settings");
    const std::string root = scratch.dir("home");
    const fs::path old_cwd = fs::current_path();
    fs::current_path(scratch.root);  // a command run through a shell would act here
    char config[CONFIG_SIZE];
    std::string line;
    // first start makes the folder; the GUI library writes the file itself
    ASSERT_TRUE(SetupSettingsPath(root.c_str(), "alice", config, line));
    EXPECT_EQ(line, " settings: mkdir -p " + root + "/alice/.tesk-org/\n");
    EXPECT_EQ(std::string(config), root + "/alice/.tesk-org/tesk.ini");
    std::ofstream(config) << "[Window][Debug##Default]\n";
    ASSERT_TRUE(SetupSettingsPath(root.c_str(), "alice", config, line));
    EXPECT_EQ(line, " settings: " + root + "/alice/.tesk-org/tesk.ini\n");
    // the longest name that fits, and shell characters taken literally
    const std::size_t longest = CONFIG_SIZE - 1 - root.size() - 1 - std::strlen("/.tesk-org/tesk.ini");
    const std::string fits(longest, 'u');
    for (const char* name : {fits.c_str(), "; touch x", "$(touch x)", "-rf"}) {
        ASSERT_TRUE(SetupSettingsPath(root.c_str(), name, config, line)) << name;
        EXPECT_TRUE(fs::is_directory(root + "/" + name + "/.tesk-org")) << name;
    }
    EXPECT_FALSE(fs::exists(scratch.path("x")) || fs::exists(root + "/x"));
    const std::size_t made_folders = Entries(root);

    std::ofstream(root + "/carol") << "a plain file where the user's folder should be\n";
    const std::string too_long(longest + 1, 'v'), huge(5000, 'w');
    const char* folder = "USER cannot be used as a folder name";
    const char* length = "USER is too long for the settings path";
    const std::string carol = "mkdir -p " + root + "/carol/.tesk-org/\n settings: could not create " + root +
                              "/carol/.tesk-org/: Not a directory";
    const struct {
        const char* user;
        std::string reason;
    } refused[] = {
        {nullptr, "USER is not set"},
        {"", "USER is empty"},
        {"a/b", folder},
        {"..", folder},
        {".", folder},
        {"ab\ncd", "USER contains control characters"},
        {too_long.c_str(), length},
        {huge.c_str(), length},
        {"carol", carol},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.user ? std::string(c.user).substr(0, 20) : "(unset)");
        std::memset(config, 'Q', sizeof config);
        EXPECT_FALSE(SetupSettingsPath(root.c_str(), c.user, config, line));
        EXPECT_EQ(config[0], '\0');
        EXPECT_EQ(line, " settings: " + c.reason + "; the window layout will not be saved\n");
    }
    EXPECT_EQ(Entries(root), made_folders + 1) << "nothing created for a refused name";
    EXPECT_EQ(Entries(scratch.root), 1u);
    fs::current_path(old_cwd);
}

TEST(CopyTextCut, CutsAtCharacterBoundariesWithinTheBuffer)
{
    const std::pair<const char*, const char*> rows[] = {// a text and what an 8-byte buffer keeps
                                                        {"abcdefg", "abcdefg"},
                                                        {"abcdefgh", "abcdefg"},
                                                        {"abcde\xe2\x82\xac", "abcde"},
                                                        {nullptr, ""}};
    for (const auto& [text, kept] : rows) {
        char buf[8];
        EXPECT_EQ(CopyTextCut(buf, sizeof buf, text), !text || std::strlen(text) < sizeof buf) << kept;
        EXPECT_STREQ(buf, kept);
    }
    char guard[3] = {'#', '#', '#'};
    CopyTextCut(guard + 1, 1, "long text");
    EXPECT_EQ(std::string(guard, 3), std::string("#\0#", 3));
}

}  // namespace
