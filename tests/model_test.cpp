// The structure model on real files, and bond detection checked against
// the plain all-pairs evaluation of the bond criterion.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cmodel.h"
#include "test_support.h"
#include "elements.h"

namespace {

const std::string kData = std::string(TESK_TEST_DATA) + "/xyz/";
constexpr double kPi = 3.14159265358979323846;

using Pairs = std::set<std::pair<unsigned, unsigned>>;

// The bond criterion over all pairs, written out plainly.
Pairs AllPairs(const std::vector<glm::vec3>& p, const std::vector<unsigned>& e) {
    Pairs bonds;
    for (std::size_t i = 0; i < p.size(); ++i)
        for (std::size_t j = i + 1; j < p.size(); ++j) {
            if (e[i] == 109 || e[j] == 109) continue;
            const float s = atom_rgbs[e[i]][3] + atom_rgbs[e[j]][3];
            const glm::vec3 d = p[j] - p[i];
            const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
            if (d2 <= float(1.2 * double(s * s)) && d2 > 0.1) bonds.insert({unsigned(i), unsigned(j)});
        }
    return bonds;
}

// Loads positions and elements the way a read does and returns the bond set;
// checks that every pair is recorded once, first atom first, in order of it.
Pairs Bonds(CModel& m, const std::vector<glm::vec3>& p, const std::vector<unsigned>& e) {
    m.v_float_raw_xyz = p;
    m.v_atom_index = e;
    m.min_xyz = m.max_xyz = p.empty() ? glm::vec3(0) : p[0];
    for (const glm::vec3& q : p) {
        m.min_xyz = glm::min(m.min_xyz, q);
        m.max_xyz = glm::max(m.max_xyz, q);
    }
    m.SetModel();
    Pairs bonds;
    EXPECT_GE(m.m_bond_indices.size(), m.i_number_of_bonds);
    for (unsigned k = 0; k < m.i_number_of_bonds; ++k) {
        const glm::uvec2 b = m.m_bond_indices[k];
        EXPECT_LT(b.x, b.y);
        if (k > 0) {
            EXPECT_LE(m.m_bond_indices[k - 1].x, b.x);
        }
        EXPECT_TRUE(bonds.insert({b.x, b.y}).second) << "recorded twice: " << b.x << " " << b.y;
    }
    return bonds;
}

class Model : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    ScratchDir scratch{"tesk-model"};
    std::string dir = scratch.root;
    CModel model;
};

TEST_F(Model, ReadingAMoleculeBuildsBoxBondsAndACentredView) {
    ASSERT_TRUE(model.ReadFile(kData, kData + "water.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(model.GetTotalAtoms(), 3u);
    EXPECT_EQ(model.v_atom_index, (std::vector<unsigned>{7, 0, 0}));
    EXPECT_EQ(model.file_format, INPUT_FILE_TYPE_XYZ);
    EXPECT_FALSE(model.is_periodic);
    // two O-H bonds, no H-H bond
    ASSERT_EQ(model.i_number_of_bonds, 2u);
    EXPECT_EQ(model.m_bond_indices[0], glm::uvec2(0, 1));
    EXPECT_EQ(model.m_bond_indices[1], glm::uvec2(0, 2));
    // molecule: the box is the range plus 2.2 radii, and it is the cell matrix
    EXPECT_NEAR(model.m_cell_box[0][0], 0.0 + 2.2 * 0.74, 1e-5);
    EXPECT_NEAR(model.m_cell_box[1][1], 1.5144 + 2.2 * 0.74, 1e-5);
    EXPECT_NEAR(model.m_cell_box[2][2], 0.5865 + 2.2 * 0.74, 1e-5);
    EXPECT_EQ(model.m_cell_box[0][1], 0.0);
    // drawn positions centred: the middle of the extremes is the origin
    glm::vec3 lo(1e9f), hi(-1e9f);
    for (const glm::vec3& p : model.v_float_raw_xyz) lo = glm::min(lo, p), hi = glm::max(hi, p);
    EXPECT_NEAR(glm::length(lo + hi), 0.0f, 1e-6f);
    EXPECT_NEAR(model.center_xyz.z, (0.1173f - 0.4692f) / 2, 1e-6f);
    // the bond midpoints moved with the atoms
    const glm::vec3 mid = (model.v_float_raw_xyz[0] + model.v_float_raw_xyz[1]) * 0.5f;
    EXPECT_NEAR(glm::length(model.m_bond_xyz[0] - mid), 0.0f, 1e-6f);

    // a crystal keeps the cell of its file, from "Cell" or from "Lattice"; a molecule after it has none
    for (const auto& [file, row1] : {std::pair<const char*, glm::dvec3>{"cell.xyz", {0, 6, 0}}, {"water.xyz", {0, 0, 0}},
                                     {"lattice.xyz", {0.5, 5, 0}}}) {
        ASSERT_TRUE(model.ReadFile(kData, kData + file, INPUT_FILE_TYPE_XYZ));
        EXPECT_EQ(model.is_periodic, row1.y > 0) << file;
        if (model.is_periodic) {
            EXPECT_EQ(model.m_cell_box[1], row1) << file;
        }
    }
}

// bad_files_test refuses every malformed file over a molecule; over a crystal
// the cell and the stored copy inside CXyz must survive as well.
TEST_F(Model, RefusedReadsLeaveTheCrystal) {
    ASSERT_TRUE(model.ReadFile(kData, kData + "cell.xyz", INPUT_FILE_TYPE_XYZ));
    const CModel before = model;
    const std::string bad = std::string(TESK_TEST_DATA) + "/bad/xyz/";
    for (const auto& [file, code] : {std::pair<std::string, int>{bad + "missing-number", INPUT_FILE_TYPE_XYZ},
                                     {bad + "empty", INPUT_FILE_TYPE_PDB}, {bad + "empty", INPUT_FILE_TYPE_VSP},
                                     {kData + "water.xyz", INPUT_FILE_TYPE_GAU}}) {
        EXPECT_FALSE(model.ReadFile(bad, file, code)) << file << " " << code;
        EXPECT_TRUE(model.v_float_raw_xyz == before.v_float_raw_xyz && model.v_atom_index == before.v_atom_index &&
                    model.m_cell_box == before.m_cell_box && model.min_xyz == before.min_xyz &&
                    model.center_xyz == before.center_xyz && model.i_number_of_bonds == before.i_number_of_bonds &&
                    model.file_format == INPUT_FILE_TYPE_XYZ && model.is_periodic)
            << file << " " << code;
        ASSERT_TRUE(model.SaveFile(dir, dir + "/saved.xyz", INPUT_FILE_TYPE_XYZ));
        EXPECT_EQ(Slurp(dir + "/saved.xyz").substr(0, 42), "2\nCell=\"5 0 0 0 6 0 0 0 7\"\nNa       0.0000");
    }
}

TEST_F(Model, EditsAndSaves) {
    CModel empty;
    EXPECT_FALSE(empty.SaveFile(dir, dir + "/nothing.xyz", INPUT_FILE_TYPE_XYZ));  // nothing read yet
    EXPECT_NE(access((dir + "/nothing.xyz").c_str(), F_OK), 0);

    ASSERT_TRUE(model.ReadFile(kData, kData + "water.xyz", INPUT_FILE_TYPE_XYZ));
    // change atom 2 to oxygen: saved as "O"
    model.ChangeAtom(2, 7);
    EXPECT_FALSE(model.is_unchanged);
    model.ChangeAtom(3, 7);    // no such atom
    model.ChangeAtom(0, 500);  // no such element
    EXPECT_EQ(model.v_atom_index, (std::vector<unsigned>{7, 0, 7}));
    const std::string out = dir + "/w.xyz";
    ASSERT_TRUE(model.SaveFile(dir, out, INPUT_FILE_TYPE_PDB));  // the format read decides, not the code
    EXPECT_EQ(Slurp(out), "3\n\n"
                          "O        0.000000000000      0.000000000000      0.117300000000\n"
                          "H        0.000000000000      0.757200000000     -0.469200000000\n"
                          "O        0.000000000000     -0.757200000000     -0.469200000000\n");

    // delete atom 0: the former atoms 1 and 2 with their stored coordinates
    model.DeleteAtom(0);
    model.DeleteAtom(2);  // past the end now: nothing
    EXPECT_EQ(model.GetTotalAtoms(), 2u);
    EXPECT_EQ(model.xyz.v_carte_xyz.size(), 2u);
    ASSERT_TRUE(model.SaveFile(dir, out, INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(Slurp(out), "2\n\n"
                          "H        0.000000000000      0.757200000000     -0.469200000000\n"
                          "O        0.000000000000     -0.757200000000     -0.469200000000\n");

    // centring twice centres once: the centre of the box as read is (0, 0, -0.17595)
    model.CenterCoordinates();
    EXPECT_TRUE(model.is_centered);
    EXPECT_EQ(model.center_xyz, glm::vec3(0.0f));
    model.CenterCoordinates();
    ASSERT_TRUE(model.SaveFile(dir, out, INPUT_FILE_TYPE_XYZ));
    EXPECT_NE(Slurp(out).find("     -0.293250000000\n"), std::string::npos) << Slurp(out);

    // into a missing folder: false, and the file saved before stays as it was
    const std::string before = Slurp(out);
    EXPECT_FALSE(model.SaveFile(dir, dir + "/missing/w.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(Slurp(out), before);

    // a new read starts afresh
    ASSERT_TRUE(model.ReadFile(kData, kData + "water.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_TRUE(model.is_unchanged);
    EXPECT_FALSE(model.is_centered);
    EXPECT_EQ(model.v_atom_index, (std::vector<unsigned>{7, 0, 0}));
}

// Saving over a link, over a file with its own permissions, under a name as
// long as the file system allows, from a file with CR LF line ends.
TEST_F(Model, SavesFollowLinksKeepPermissionsAndEndLinesAlike) {
    const std::string data = TESK_TEST_DATA;
    const struct {
        std::string file;
        int format;
    } cases[] = {{data + "/xyz/crlf.xyz", INPUT_FILE_TYPE_XYZ},
                 {data + "/vasp/rutile-selective.vasp", INPUT_FILE_TYPE_VSP},
                 {data + "/pdb/protein_two_chains.pdb", INPUT_FILE_TYPE_PDB}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string crlf;
        for (char ch : Slurp(c.file)) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        ASSERT_TRUE(model.ReadFile(dir, Write("in", crlf), c.format));
        const std::string real = Write("real", "old\n");
        ASSERT_EQ(chmod(real.c_str(), 0640), 0);
        const std::string link = dir + "/link";
        unlink(link.c_str());
        ASSERT_EQ(symlink("real", link.c_str()), 0);
        ASSERT_TRUE(model.SaveFile(dir, link, c.format));
        struct stat st;
        ASSERT_EQ(lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        ASSERT_EQ(stat(real.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        const std::string saved = Slurp(real);
        EXPECT_EQ(saved.find('\r'), std::string::npos);
        CModel back;
        ASSERT_TRUE(back.ReadFile(dir, real, c.format));
        EXPECT_EQ(back.v_atom_index, model.v_atom_index);

        const std::string longest = dir + "/" + std::string(255, 'n');
        ASSERT_TRUE(model.SaveFile(dir, longest, c.format));
        EXPECT_EQ(Slurp(longest), saved);
        unlink(longest.c_str());
        std::size_t entries = 0;  // in, real, link: no temporary file left behind
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) entries += e->d_name[0] != '.' || std::string(e->d_name).size() > 2;
            closedir(d);
        }
        EXPECT_EQ(entries, 3u);
    }
}

// A writer filled from plain members (positions, cell, periodicity), as a
// save into another format does, writes a file its reader takes back.
TEST_F(Model, WritersSaveAStructureSetUpInCode) {
    const std::vector<glm::dvec3> p = {{0, 0, 0}, {1.25, 0.5, -0.25}};
    const std::vector<unsigned> e = {25, 7};
    const glm::dmat3 cell(6, 0, 0, 0, 7, 0, 0, 0, 8);
    CXyz x;
    CVasp v;
    CPdb b;
    x.v_carte_xyz = v.v_carte_xyz = p;
    b.v_carte_xyz = {glm::vec3(p[0]), glm::vec3(p[1])};
    x.cell_xyz = v.cell_xyz = b.cell_xyz = cell;
    x.is_periodic = v.is_periodic = b.is_periodic = true;
    ASSERT_TRUE(x.SaveFile(dir, dir + "/a.xyz", e));
    ASSERT_TRUE(v.SaveFile(dir, dir + "/POSCAR", e));
    ASSERT_TRUE(b.SaveFile(dir, dir + "/a.pdb", e));
    for (const auto& [file, format] : {std::pair<const char*, int>{"/a.xyz", INPUT_FILE_TYPE_XYZ},
                                       {"/POSCAR", INPUT_FILE_TYPE_VSP}, {"/a.pdb", INPUT_FILE_TYPE_PDB}}) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(model.ReadFile(dir, dir + file, format));
        EXPECT_EQ(model.v_atom_index, e);
        ASSERT_TRUE(model.is_periodic);
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < 3; ++r) EXPECT_NEAR(model.m_cell_box[c][r], cell[c][r], 1e-5);
        EXPECT_EQ(model.v_float_raw_xyz[1] + model.center_xyz, glm::vec3(p[1]));
    }
}

// ---------------------------------------------------------------------------
// Bond detection

TEST(Bonds, CriterionAtItsEdges) {
    const unsigned H = 0, C = 5, X = 109;  // X: the dummy atom, bonded to nothing
    const struct {
        glm::vec3 to;  // the second atom; the first sits at the origin
        unsigned e1, e2;
        std::size_t bonds;
    } pairs[] = {{{1.00f, 0, 0}, H, H, 1},  // 1.00 <= sqrt(1.01568)
                 {{1.01f, 0, 0}, H, H, 0}, {{0.3f, 0, 0}, H, H, 0},  // on top of each other
                 {{0, 0, 1.86f}, C, C, 1}, {{0, 0, 1.87f}, C, C, 0},  // C-C up to about 1.862
                 {{1.43f, 0, 0}, C, H, 1}, {{1.44f, 0, 0}, C, H, 0},  // C-H up to about 1.435
                 {{1.0f, 0, 0}, X, C, 0}, {{1.0f, 0, 0}, C, X, 0}};
    CModel m;  // reused: nothing of one evaluation may linger into the next
    for (const auto& c : pairs) EXPECT_EQ(Bonds(m, {{0, 0, 0}, c.to}, {c.e1, c.e2}).size(), c.bonds) << c.to.x + c.to.z;
    EXPECT_EQ(Bonds(m, {{0, 0, 0}, {1.0f, 0, 0}, {2.0f, 0, 0}}, {C, X, C}).size(), 0u);
    CModel one;  // one atom: no bonds, but evaluated
    EXPECT_EQ(Bonds(one, {{1, 2, 3}}, {C}).size(), 0u);
    EXPECT_TRUE(one.is_bond_eval);
}

TEST_F(Model, BondRecordsHoldMidpointLengthAndAngles) {
    const struct {
        glm::vec3 to;
        float phi, theta;
    } cases[] = {{{1, 0, 0}, 0.0f, float(kPi / 2)},
                 {{0, 0, -1}, 0.0f, float(kPi)},
                 {{0, 1, 0}, float(kPi / 2), float(kPi / 2)},
                 {{-0.6f, -0.6f, 0.5f}, float(-3 * kPi / 4), float(std::atan2(std::sqrt(0.72), 0.5))}};
    for (const auto& c : cases) {
        char text[128];
        std::snprintf(text, sizeof text, "2\n\nH 0 0 0\nH %.3f %.3f %.3f\n", c.to.x, c.to.y, c.to.z);
        SCOPED_TRACE(text);
        ASSERT_TRUE(model.ReadFile(dir, Write("b.xyz", text), INPUT_FILE_TYPE_XYZ));
        ASSERT_EQ(model.i_number_of_bonds, 1u);
        EXPECT_NEAR(model.m_bond_ang[0].x, c.phi, 1e-6f);
        EXPECT_NEAR(model.m_bond_ang[0].y, c.theta, 1e-6f);
        EXPECT_NEAR(model.v_bond_length[0], glm::length(c.to), 1e-6f);
        // the midpoint before centring is half the bond
        EXPECT_NEAR(glm::length(model.m_bond_xyz[0] + model.center_xyz - c.to * 0.5f), 0.0f, 1e-6f);
    }
}

TEST(Bonds, RandomStructuresAgreeWithAllPairs) {
    std::mt19937 rng(12345);
    struct Mix {
        const char* what;
        std::vector<unsigned> elements;
        int atoms;
        float side;
    } mixes[] = {
        {"organic", {0, 5, 6, 7, 15, 109}, 4000, 28.0f},
        {"hydrogen gas, cells narrower than a bond in the old grid", {0}, 3000, 15.0f},
        {"astatine and hydrogen", {84, 0, 0, 0, 0, 0, 0, 0, 0}, 3000, 70.0f},
        {"every element", {}, 3000, 60.0f},
        {"thin slab", {0, 5, 8, 13, 84}, 2500, 0.0f},
    };
    for (unsigned e = 0; e < periodic_table_atoms; ++e) mixes[3].elements.push_back(e);
    for (const Mix& mix : mixes) {
        SCOPED_TRACE(mix.what);
        std::vector<glm::vec3> p;
        std::vector<unsigned> e;
        std::uniform_real_distribution<float> u(0.0f, mix.side > 0 ? mix.side : 60.0f);
        std::uniform_int_distribution<std::size_t> pick(0, mix.elements.size() - 1);
        for (int k = 0; k < mix.atoms; ++k) {
            p.push_back({u(rng), u(rng), mix.side > 0 ? u(rng) : 0.5f * u(rng) / 60.0f});
            e.push_back(mix.elements[pick(rng)]);
        }
        CModel m;
        const Pairs found = Bonds(m, p, e);
        const Pairs expected = AllPairs(p, e);
        EXPECT_GT(m.u_cell_number, 8u);  // the cell search, not all pairs
        EXPECT_GT(expected.size(), 100u);
        EXPECT_EQ(found, expected) << found.size() << " vs " << expected.size();
        // the bonds of one atom alone, as an edit asks for them
        std::vector<unsigned> partners;
        for (unsigned i = 0; i < p.size(); i += 211) {
            m.FindBondsOfAtom(i, partners);
            std::vector<unsigned> own;
            for (const auto& b : expected)
                if (b.first == i || b.second == i) own.push_back(b.first == i ? b.second : b.first);
            std::sort(own.begin(), own.end());
            EXPECT_EQ(partners, own) << i;
        }
        // the records of each pair describe it
        for (unsigned k = 0; k < m.i_number_of_bonds; k += 97) {
            const glm::uvec2 b = m.m_bond_indices[k];
            EXPECT_NEAR(m.v_bond_length[k], glm::length(p[b.y] - p[b.x]), 1e-4f);
        }
    }
}

// Spreads a box of cells over the atoms handles badly (far apart, far
// outliers, near the float limits, piled on one spot), a flat grid and
// crowded bonds. The bonds must stay exactly the criterion's, each recorded
// once, and the grid hold no more cells than a few per atom.
TEST_F(Model, AnySpreadOfAtomsGivesTheCriterionsBonds) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1e30f, 1e30f), jitter(-0.05f, 0.05f);
    std::vector<glm::vec3> flat, cube, block, huge, pile, line;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) flat.push_back({1.5f * x, 1.5f * y, 0.0f});  // a grid 3 x 3 x 1 cells
    for (int z = 0; z < 10; ++z)
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x) cube.push_back({0.35f * x, 0.35f * y, 0.35f * z});  // dozens of partners each
    for (int z = 0; z < 12; ++z)
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x) block.push_back({1.5f * x, 1.5f * y, 1.5f * z});
    for (int k = 0; k < 5; ++k) block.push_back({1e6f + 1.5f * k, -1e6f, 1e6f});  // strays a million away
    for (int k = 0; k < 2000; ++k) {
        const glm::vec3 q(u(rng), u(rng), u(rng));
        huge.insert(huge.end(), {q, q});  // doubled on top of itself: not a bond
    }
    huge.insert(huge.end(), {{0, 0, 0}, {1.2f, 0, 0}});
    // 300 atoms on two spots 1.2 apart, and a few around: every pair across the spots bonds
    for (int k = 0; k < 300; ++k) pile.push_back(k % 2 ? glm::vec3(jitter(rng), 1.2f, 0) : glm::vec3(0, jitter(rng), 0));
    pile.insert(pile.end(), {{0, -1.3f, 0}, {5, 5, 5}, {5.5f, 5, 5}});
    for (int k = 0; k < 3000; ++k) line.push_back(glm::vec3(0.81f * k));  // a long diagonal chain
    const struct {
        const char* what;
        std::vector<glm::vec3> p;
        std::size_t bonds;
        unsigned element = 5;
    } cases[] = {
        {"one cell thick", flat, 40},
        {"more than 15 bonds per atom", cube, 15000, 0},
        {"1e9 apart", {{0, 0, 0}, {1e9f, 1e9f, 1e9f}, {0.9f, 0, 0}, {1e9f, 1e9f + 1.5e3f, 1e9f}}, 1},
        {"near the float limits",
         {{3e38f, 0, 0}, {3e38f, 0, 0.9f}, {-3.4e38f, 1, 0}, {-3.4e38f, 1.9f, 0}, {0, 0, 0}, {0, -3.4e38f, 3.4e38f}}, 2},
        {"a block and far strays", block, 3u * 12 * 12 * 11 + 4},
        {"an enormous box", huge, 1},
        {"two piles", pile, 150u * 150u},
        {"a diagonal line", line, 2999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<unsigned> e(c.p.size(), c.element);
        CModel m;
        const Pairs found = Bonds(m, c.p, e);
        EXPECT_GE(found.size(), c.bonds);
        EXPECT_EQ(found, AllPairs(c.p, e));
        EXPECT_LE(m.u_cell_number, 4 * c.p.size() + 64);
        for (unsigned k = 0; k < m.i_number_of_bonds; ++k) EXPECT_TRUE(std::isfinite(m.m_bond_xyz[k].x + m.center_xyz.x));
    }

    // from files: centred without overflow
    ASSERT_TRUE(model.ReadFile(dir, Write("h.xyz", "4\n\nH 3e38 0 0\nH 3e38 0 0.9\nH -3e38 0 0\nH -3e38 0.9 0\n"),
                               INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(model.i_number_of_bonds, 2u);
    EXPECT_TRUE(std::isfinite(model.center_xyz.x));
}

}  // namespace
