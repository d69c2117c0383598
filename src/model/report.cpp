// Text reports of a loaded structure: the facts `--info` prints and the bond
// list of `--bonds`.
#include "model/report.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <tuple>

#include <glm/glm.hpp>

#include "model/model.h"
#include "core/elements.h"

std::string FormulaOf(const std::vector<unsigned>& elements)
{
    std::map<std::string, std::size_t> counts;
    for (unsigned e : elements)
        ++counts[e < species_count ? element_symbol[e] : element_symbol[DUMMY_ATOM_INDEX]];
    std::string formula;
    auto add = [&formula, &counts](const std::string& s) {
        const auto it = counts.find(s);
        if (it == counts.end())
            return;
        formula += s;
        if (it->second > 1)
            formula += std::to_string(it->second);
        counts.erase(it);
    };
    if (counts.count("C")) {
        add("C");
        add("H");
    }
    while (!counts.empty())
        add(counts.begin()->first);
    return formula;
}

std::string InfoReport(CModel& model, const char* format_label)
{
    std::string text;
    char line[256];
    auto put = [&](const char* fmt, auto... args) {
        std::snprintf(line, sizeof line, fmt, args...);
        text += line;
    };
    put("format: %s\n", format_label);
    put("atoms: %u\n", model.GetTotalAtoms());
    text += "formula: " + FormulaOf(model.Elements()) + "\n";
    if (model.IsPeriodic()) {
        const char* axis[3] = {"a", "b", "c"};
        for (int k = 0; k < 3; ++k)
            put("cell %s: %.6f %.6f %.6f\n", axis[k], model.Cell()[k].x, model.Cell()[k].y, model.Cell()[k].z);
    } else {
        text += "cell: none\n";
    }
    put("periodic: %s\n", model.IsPeriodic() ? "yes" : "no");
    put("frames: %zu\n", model.GetFrameCount());
    return text;
}

std::string BondReport(const CModel& model)
{
    struct Row {
        unsigned i, j;
        glm::ivec3 image;
    };
    const unsigned count = model.BondCount();
    std::vector<Row> rows;
    rows.reserve(count);
    for (unsigned k = 0; k < count; ++k) {
        const glm::uvec2 ij = model.BondPairs()[k];
        const glm::ivec3 image = k < model.BondImages().size() ? model.BondImages()[k] : glm::ivec3(0);
        rows.push_back(ij.x <= ij.y ? Row{ij.x, ij.y, image} : Row{ij.y, ij.x, -image});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return std::tie(a.i, a.j, a.image.x, a.image.y, a.image.z) <
               std::tie(b.i, b.j, b.image.x, b.image.y, b.image.z);
    });
    const std::vector<glm::vec3>& pos = model.Positions();
    std::string text;
    text.reserve(rows.size() * 40);
    char line[160];
    for (const Row& r : rows) {
        const glm::dvec3 shift = model.Cell() * glm::dvec3(r.image);
        const double length = glm::length(glm::dvec3(pos[r.j]) + shift - glm::dvec3(pos[r.i]));
        std::snprintf(line, sizeof line, "%u %u %.5f %d %d %d\n", r.i, r.j, length, r.image.x, r.image.y, r.image.z);
        text += line;
    }
    return text;
}
