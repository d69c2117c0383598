// Pieces shared by the tests: a scratch folder removed when the test ends,
// whole-file reading, and the real program run from a shell.
#ifndef TESK_TESTS_TEST_SUPPORT_H
#define TESK_TESTS_TEST_SUPPORT_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>

// A temporary folder under its real path (the dialog resolves links);
// remove_all does not follow symbolic links, so links in it are safe.
struct ScratchDir {
    explicit ScratchDir(const std::string& prefix = "tesk_test") {
        std::string tmpl = "/tmp/" + prefix + "_XXXXXX";
        if (mkdtemp(tmpl.data())) root = std::filesystem::canonical(tmpl).string();
        EXPECT_FALSE(root.empty()) << "no scratch folder";
    }
    ~ScratchDir() { std::error_code ec; if (!root.empty()) std::filesystem::remove_all(root, ec); }
    ScratchDir(const ScratchDir&) = delete;
    std::string path(const std::string& rel) const { return rel.empty() ? root : root + "/" + rel; }
    std::string dir(const std::string& rel) const {
        EXPECT_TRUE(std::filesystem::create_directory(path(rel))) << rel;
        return path(rel);
    }
    // A file of `size` zero bytes.
    std::string file(const std::string& rel, std::size_t size = 0) const {
        std::ofstream(path(rel), std::ios::binary) << std::string(size, '\0');
        return path(rel);
    }
    std::string root;
};

inline std::string Slurp(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

#ifdef TESK_BINARY
struct Outcome {
    int status;
    std::string out, err;
};

// The program with `args` (shell words), run in `dir`, its exit status and output.
inline Outcome Tesk(const ScratchDir& dir, const std::string& args, const std::string& before = "") {
    const std::string out = dir.path("stdout"), err = dir.path("stderr");
    const int raw = std::system(("sh -c 'cd " + dir.root + " && " + before + TESK_BINARY + " " + args + " >" + out +
                                 " 2>" + err + " </dev/null'").c_str());
    return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000, Slurp(out), Slurp(err)};
}
#endif

#endif
