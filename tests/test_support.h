// Pieces shared by the tests: a scratch folder removed when the test ends,
// whole-file reading, the real program run from a shell, and a volumetric
// file with known answers.
#ifndef TESK_TESTS_TEST_SUPPORT_H
#define TESK_TESTS_TEST_SUPPORT_H

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "model/convert.h"
#include "ui/command_line.h"
#include "model/model.h"
#include "io/structure.h"

// A temporary folder under its real path (the dialog resolves links);
// remove_all does not follow symbolic links, so links in it are safe.
struct ScratchDir {
    explicit ScratchDir(const std::string& prefix = "tesk_test")
    {
        std::string tmpl = "/tmp/" + prefix + "_XXXXXX";
        if (mkdtemp(tmpl.data()))
            root = std::filesystem::canonical(tmpl).string();
        EXPECT_FALSE(root.empty()) << "no scratch folder";
    }
    ~ScratchDir()
    {
        std::error_code ec;
        if (!root.empty())
            std::filesystem::remove_all(root, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    std::string path(const std::string& rel) const { return rel.empty() ? root : root + "/" + rel; }
    std::string dir(const std::string& rel) const
    {
        EXPECT_TRUE(std::filesystem::create_directory(path(rel))) << rel;
        return path(rel);
    }
    // A file of `size` zero bytes.
    std::string file(const std::string& rel, std::size_t size = 0) const { return write(rel, std::string(size, '\0')); }
    // A file holding `text` as it is.
    std::string write(const std::string& rel, const std::string& text) const
    {
        std::ofstream(path(rel), std::ios::binary) << text;
        return path(rel);
    }
    std::string root;
};

inline std::string Slurp(const std::string& path)
{
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// A read that should stop at `line` for `reason`; without a reason it reads.
inline void ExpectRefusal(bool read, const io::Refusal& refusal, std::size_t line, const std::string& reason)
{
    EXPECT_EQ(read, reason.empty());
    EXPECT_EQ(refusal.line, line);
    EXPECT_EQ(refusal.reason, reason);
}

// Volumetric data with known answers: a periodic Gaussian blob of peak 1,
// whose surface at `level` is a sphere of radius sigma sqrt(2 ln(1/level)).
struct Blob {
    glm::dmat3 cell;  // columns
    glm::ivec3 size;
    glm::dvec3 centre;  // fractional
    double sigma, level;
};

// The blob's values, x fastest; the images in the neighbouring cells add in.
inline std::vector<float> BlobField(const Blob& b)
{
    std::vector<float> v(std::size_t(b.size.x) * b.size.y * b.size.z);
    std::size_t o = 0;
    for (int k = 0; k < b.size.z; ++k)
        for (int j = 0; j < b.size.y; ++j)
            for (int i = 0; i < b.size.x; ++i) {
                const glm::dvec3 f = glm::dvec3(i, j, k) / glm::dvec3(b.size) - b.centre;
                double sum = 0.0;
                for (int a = -1; a <= 1; ++a)
                    for (int c = -1; c <= 1; ++c)
                        for (int d = -1; d <= 1; ++d) {
                            const glm::dvec3 r = b.cell * (f + glm::dvec3(a, c, d));
                            sum += std::exp(-glm::dot(r, r) / (2.0 * b.sigma * b.sigma));
                        }
                v[o++] = float(sum);
            }
    return v;
}

// A CHGCAR of one iron atom at the blob's centre, values x volume as VASP writes them.
inline std::string BlobChgcar(const Blob& b)
{
    std::string text = "one atom\n   1.0\n";
    char line[128];
    for (int a = 0; a < 3; ++a) {
        std::snprintf(line, sizeof line, " %14.8f %14.8f %14.8f\n", b.cell[a].x, b.cell[a].y, b.cell[a].z);
        text += line;
    }
    std::snprintf(line, sizeof line, "   Fe\n     1\nDirect\n %10.6f %10.6f %10.6f\n\n%5d%5d%5d\n", b.centre.x,
                  b.centre.y, b.centre.z, b.size.x, b.size.y, b.size.z);
    text += line;
    const std::vector<float> v = BlobField(b);
    const double volume = glm::determinant(b.cell);
    for (std::size_t i = 0; i < v.size(); ++i) {
        std::snprintf(line, sizeof line, " %17.11E%s", v[i] * volume, i % 5 == 4 ? "\n" : "");
        text += line;
    }
    return text + "\n";
}

// Elements, positions as in the file, and the cell.
struct Structure {
    bool ok = false, periodic = false;
    glm::dmat3 cell{1.0};
    std::vector<unsigned> e;
    std::vector<glm::dvec3> r;
};

inline Structure ReadBack(const std::string& path)
{
    CModel m;
    Structure s{
        m.ReadFile(io::FolderOf(path), path, int(io::Detect(path))), m.IsPeriodic(), m.Cell(), m.Elements(), {}};
    for (const glm::vec3& p : m.Positions())
        s.r.push_back(glm::dvec3(p) + glm::dvec3(m.Centre()));
    return s;
}

// Whether `b` holds the atoms of `a` in any order, each of the same element
// at the same place: for a crystal at the same fraction of a cell of the same
// lengths and angles (up to whole cells, so a turned cell must turn its atoms
// too), for a molecule at the same position from the centre of all atoms.
inline void ExpectSameStructure(const Structure& a, const Structure& b, bool keep_cell, const std::string& what)
{
    ASSERT_TRUE(b.ok && a.e.size() == b.e.size() && (!keep_cell || a.periodic == b.periodic)) << what;
    const std::size_t n = a.e.size();
    auto places = [&](const Structure& s) {
        glm::dvec3 centre(0.0);
        for (const glm::dvec3& r : s.r)
            centre += r / double(n);
        std::vector<glm::dvec3> p;
        for (const glm::dvec3& r : s.r)
            p.push_back(a.periodic ? glm::inverse(s.cell) * r : r - centre);
        return p;
    };
    const glm::dmat3 ga = glm::transpose(a.cell) * a.cell, gb = glm::transpose(b.cell) * b.cell;
    for (int k = 0; k < 3 && a.periodic; ++k)
        EXPECT_NEAR(glm::length(ga[k] - gb[k]), 0.0, 0.05) << what << " cell " << k;
    const std::vector<glm::dvec3> pa = places(a), pb = places(b);
    std::vector<bool> used(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t j = 0;
        for (; j < n; ++j) {
            const glm::dvec3 d = pa[i] - pb[j];
            if (!used[j] && a.e[i] == b.e[j] && glm::length(a.periodic ? d - glm::round(d) : d) < 3e-3)
                break;
        }
        EXPECT_LT(j, n) << what << ": atom " << i << " is not where it was";
        if (j < n)
            used[j] = true;
    }
}
struct Outcome {
    int status;
    std::string out, err;
};

// Debian's /usr/bin/python3 (with ASE and gemmi) run with `args` (shell
// words): its exit status and standard output.
inline Outcome Python(const std::string& args)
{
    Outcome o{1000, "", ""};
    if (FILE* pipe = popen(("/usr/bin/python3 " + args).c_str(), "r")) {
        for (int ch; (ch = std::fgetc(pipe)) != EOF;)
            o.out += char(ch);
        const int raw = pclose(pipe);
        o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000;
    }
    return o;
}

inline bool HasPython(const std::string& module)
{
    return Python("-c 'import " + module + "' 2>/dev/null").status == 0;
}

#ifdef TESK_BINARY

// The program with `args` (shell words), run in `dir`, its exit status and output.
inline Outcome Tesk(const ScratchDir& dir, const std::string& args, const std::string& before = "")
{
    const std::string out = dir.path("stdout"), err = dir.path("stderr");
    const int raw = std::system(("sh -c 'cd " + dir.root + " && " + before + TESK_BINARY + " " + args + " >" + out +
                                 " 2>" + err + " </dev/null'")
                                    .c_str());
    return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000, Slurp(out), Slurp(err)};
}
#endif

#endif
