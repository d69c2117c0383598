// The layout's rules, read off the sources: includes point only downward
// (core <- io <- model <- render <- ui), the data layers know nothing of GL
// or ImGui, the renderer nothing of ImGui, and no header includes itself
// through others.
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kLayers = {"core", "io", "model", "render", "ui"};

int LayerOf(const std::string& include_path)
{
    for (std::size_t k = 0; k < kLayers.size(); ++k)
        if (include_path.rfind(kLayers[k] + "/", 0) == 0)
            return int(k);
    return -1;
}

// Every source under include/ and src/, by its path below that folder.
std::map<std::string, std::vector<std::string>> Includes(std::vector<std::string>& system_includes_of_data)
{
    std::map<std::string, std::vector<std::string>> out;
    const std::regex quoted("^\\s*#\\s*include\\s+\"([^\"]+)\""), angled("^\\s*#\\s*include\\s+<([^>]+)>");
    for (const char* top : {"include", "src"}) {
        const fs::path root = fs::path(TESK_SOURCE_DIR) / top;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file())
                continue;
            const std::string name = fs::relative(entry.path(), root).string();
            std::ifstream in(entry.path());
            std::string line;
            std::vector<std::string>& list = out[std::string(top) + ":" + name];
            while (std::getline(in, line)) {
                std::smatch m;
                if (std::regex_search(line, m, quoted))
                    list.push_back(m[1]);
                else if (std::regex_search(line, m, angled) && LayerOf(name) >= 0 && LayerOf(name) <= 2 &&
                         (m[1].str().find("imgui") != std::string::npos ||
                          m[1].str().find("glad") != std::string::npos ||
                          m[1].str().find("GLFW") != std::string::npos || m[1].str().find("EGL") != std::string::npos))
                    system_includes_of_data.push_back(name + " includes " + m[1].str());
                else if (std::regex_search(line, m, angled) && LayerOf(name) == 3 &&
                         m[1].str().find("imgui") != std::string::npos)
                    system_includes_of_data.push_back(name + " includes " + m[1].str());
            }
        }
    }
    return out;
}

TEST(Layers, IncludesPointDownwardAndHeadersFormNoCircle)
{
    std::vector<std::string> forbidden;
    const auto includes = Includes(forbidden);
    ASSERT_GT(includes.size(), 100u);
    EXPECT_TRUE(forbidden.empty()) << forbidden.front();
    std::map<std::string, std::vector<std::string>> header_graph;
    for (const auto& [file, list] : includes) {
        const std::string name = file.substr(file.find(':') + 1);
        for (const std::string& target : list) {
            // files outside the layers (main.cpp) sit on top of them all
            const int from = LayerOf(name) < 0 ? int(kLayers.size()) : LayerOf(name);
            EXPECT_LE(LayerOf(target), from) << file << " includes " << target;
            if (file.rfind("include:", 0) == 0)
                header_graph[name].push_back(target);
        }
    }
    // depth-first search for a header reached again while still open
    std::map<std::string, int> state;  // 1 open, 2 done
    std::vector<std::string> path;
    std::function<bool(const std::string&)> visit = [&](const std::string& h) {
        if (state[h] == 1)
            return true;
        if (state[h] == 2)
            return false;
        state[h] = 1;
        path.push_back(h);
        for (const std::string& next : header_graph[h])
            if (visit(next))
                return true;
        path.pop_back();
        state[h] = 2;
        return false;
    };
    for (const auto& [h, list] : header_graph) {
        ASSERT_FALSE(visit(h)) << "include circle through " << path.back();
    }
}

}  // namespace
