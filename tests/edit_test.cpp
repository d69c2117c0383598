// Editing a structure read from disk: bonds that follow deletions and element
// changes, undo and redo against the structure built by the remaining edits
// alone, and the measurements of selected atoms.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cmodel.h"
#include "elements.h"
#include "test_support.h"

namespace {

const std::string kData = TESK_TEST_DATA;
constexpr unsigned H = 0, C = 5, O = 7, X = DUMMY_ATOM_INDEX;

// The bond criterion over all pairs, written out plainly.
std::set<std::pair<unsigned, unsigned>> AllPairs(const CModel& m) {
    std::set<std::pair<unsigned, unsigned>> bonds;
    const auto& p = m.v_float_raw_xyz;
    const auto& e = m.v_atom_index;
    for (unsigned i = 0; i < p.size(); ++i)
        for (unsigned j = i + 1; j < p.size(); ++j) {
            if (e[i] == X || e[j] == X) continue;
            const float s = atom_rgbs[e[i]][3] + atom_rgbs[e[j]][3];
            const glm::vec3 d = p[j] - p[i];
            const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
            if (d2 <= float(1.2 * double(s * s)) && d2 > 0.1) bonds.insert({i, j});
        }
    return bonds;
}

// The bonds drawn: each record once, and its cylinder between its own two atoms.
std::set<std::pair<unsigned, unsigned>> Drawn(const CModel& m) {
    std::set<std::pair<unsigned, unsigned>> bonds;
    for (unsigned k = 0; k < m.i_number_of_bonds; ++k) {
        const glm::uvec2 b = m.m_bond_indices[k];
        EXPECT_TRUE(b.x < b.y && b.y < m.GetTotalAtoms()) << k;
        if (!(b.x < b.y && b.y < m.GetTotalAtoms())) continue;
        EXPECT_TRUE(bonds.insert({b.x, b.y}).second) << "twice: " << b.x << "-" << b.y;
        const glm::vec3 a = m.v_float_raw_xyz[b.x], c = m.v_float_raw_xyz[b.y];
        EXPECT_NEAR(glm::length(m.m_bond_xyz[k] - (a + c) * 0.5f), 0.0f, 1e-4f) << k;
        EXPECT_NEAR(m.v_bond_length[k], glm::length(c - a), 1e-4f) << k;
    }
    return bonds;
}

// One edit as the user makes it.
struct Edit {
    std::vector<unsigned> deleted;  // empty: an element change
    unsigned atom = 0, element = 0;
};

void Apply(CModel& m, const Edit& e) {
    if (e.deleted.empty())
        m.ChangeAtom(e.atom, e.element);
    else
        m.DeleteAtoms(e.deleted);
}

Edit RandomEdit(std::mt19937& rng, unsigned atoms) {
    Edit e;
    if (rng() % 2 && atoms > 4) {
        for (unsigned k = rng() % 4; k < 4; ++k) e.deleted.push_back(unsigned(rng() % atoms));
    } else {
        const unsigned elements[] = {H, C, O, X, 13, 21};
        e.atom = unsigned(rng() % atoms);
        e.element = elements[rng() % 6];
    }
    return e;
}

std::string Saved(CModel& m, const ScratchDir& dir, const std::string& name) {
    EXPECT_TRUE(m.SaveFile(dir.root, dir.path(name), 0));
    return Slurp(dir.path(name));
}

std::string Write(const ScratchDir& dir, const std::string& name, const std::string& text) {
    std::ofstream(dir.path(name)) << text;
    return dir.path(name);
}

// Random molecules of carbon, hydrogen, oxygen and dummies, dense enough that
// most atoms have several bonds.
std::string RandomXyz(std::mt19937& rng, unsigned atoms) {
    std::uniform_real_distribution<float> at(0.0f, 6.0f);
    const char* names[] = {"C", "H", "O", "X"};
    std::string text = std::to_string(atoms) + "\n\n";
    char line[96];
    for (unsigned i = 0; i < atoms; ++i) {
        std::snprintf(line, sizeof line, "%s %.4f %.4f %.4f\n", names[rng() % 4], at(rng), at(rng), at(rng));
        text += line;
    }
    return text;
}

TEST(Edit, BondsFollowDeletesAndElementChanges) {
    ScratchDir dir("tesk_edit");
    std::mt19937 rng(17);
    for (int round = 0; round < 4; ++round) {
        CModel m;
        ASSERT_TRUE(m.ReadFile(dir.root, Write(dir, "r.xyz", RandomXyz(rng, 90)), INPUT_FILE_TYPE_XYZ));
        ASSERT_EQ(Drawn(m), AllPairs(m));
        for (int step = 0; step < 40 && m.GetTotalAtoms() > 4; ++step) {
            const Edit e = RandomEdit(rng, m.GetTotalAtoms());
            Apply(m, e);
            SCOPED_TRACE(testing::Message() << "round " << round << " step " << step << " atom " << e.atom);
            ASSERT_EQ(Drawn(m), AllPairs(m));
        }
    }
}

TEST(Edit, UndoAndRedoEqualTheRemainingEditsAppliedAlone) {
    ScratchDir dir("tesk_edit");
    std::mt19937 rng(5);
    const std::string random = Write(dir, "r.xyz", RandomXyz(rng, 60));
    const struct {
        std::string file;
        int format;
    } files[] = {{random, INPUT_FILE_TYPE_XYZ},
                 {kData + "/vasp/rutile-selective.vasp", INPUT_FILE_TYPE_VSP},
                 {kData + "/pdb/protein_two_chains.pdb", INPUT_FILE_TYPE_PDB}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.file);
        const std::string folder = f.file.substr(0, f.file.rfind('/'));
        CModel m;
        ASSERT_TRUE(m.ReadFile(folder, f.file, f.format));
        std::vector<Edit> done;  // edits in force, then those undone that redo brings back
        std::size_t in_force = 0;
        for (int step = 0; step < 60; ++step) {
            const unsigned r = rng() % 6;
            if (r < 2 && m.history.CanUndo()) {
                ASSERT_TRUE(m.Undo());
                --in_force;
            } else if (r < 4 && m.history.CanRedo()) {
                ASSERT_TRUE(m.Redo());
                ++in_force;
            } else if (m.GetTotalAtoms() > 4) {
                const Edit e = RandomEdit(rng, m.GetTotalAtoms());
                const auto before = m.history.u_done;
                Apply(m, e);
                if (m.history.u_done == before) continue;  // the same element again: no edit
                done.resize(in_force);
                done.push_back(e);
                ++in_force;
            }
            EXPECT_EQ(m.history.CanUndo(), in_force > 0);
            EXPECT_EQ(m.history.CanRedo(), in_force < done.size());

            CModel fresh;
            ASSERT_TRUE(fresh.ReadFile(folder, f.file, f.format));
            for (std::size_t k = 0; k < in_force; ++k) Apply(fresh, done[k]);
            SCOPED_TRACE(testing::Message() << "step " << step << ", edits in force " << in_force);
            ASSERT_EQ(m.v_float_raw_xyz, fresh.v_float_raw_xyz);
            ASSERT_EQ(m.v_atom_index, fresh.v_atom_index);
            ASSERT_EQ(m.i_number_of_bonds, fresh.i_number_of_bonds);
            ASSERT_EQ(m.m_bond_indices, fresh.m_bond_indices);
            ASSERT_EQ(m.m_bond_xyz, fresh.m_bond_xyz);
            ASSERT_EQ(m.m_bond_ang, fresh.m_bond_ang);
            ASSERT_EQ(m.v_bond_length, fresh.v_bond_length);
            ASSERT_EQ(Saved(m, dir, "a"), Saved(fresh, dir, "b"));
        }
    }
}

TEST(Edit, ThousandStepsBackToTheFileAndALoadClearsTheHistory) {
    ScratchDir dir("tesk_edit");
    const std::string water = kData + "/xyz/water.xyz";
    CModel m, fresh;
    ASSERT_TRUE(m.ReadFile(dir.root, water, INPUT_FILE_TYPE_XYZ));
    ASSERT_TRUE(fresh.ReadFile(dir.root, water, INPUT_FILE_TYPE_XYZ));
    for (unsigned k = 0; k < 1000; ++k) m.ChangeAtom(k % 3, m.v_atom_index[k % 3] == C ? O : C);
    m.DeleteAtom(1);
    // centring between a delete and its undo moves the atom put back as well
    m.CenterCoordinates();
    fresh.CenterCoordinates();
    for (int k = 0; k < 1001; ++k) ASSERT_TRUE(m.Undo()) << k;
    EXPECT_FALSE(m.Undo());
    EXPECT_EQ(m.v_atom_index, fresh.v_atom_index);
    EXPECT_EQ(m.m_bond_indices, fresh.m_bond_indices);
    EXPECT_EQ(Saved(m, dir, "a"), Saved(fresh, dir, "b"));

    ASSERT_TRUE(m.Redo());
    ASSERT_TRUE(m.ReadFile(dir.root, water, INPUT_FILE_TYPE_XYZ));
    EXPECT_FALSE(m.history.CanUndo() || m.history.CanRedo());
    EXPECT_FALSE(m.Undo() || m.Redo());
}

TEST(Edit, MeasurementsOfHandMadeGeometries) {
    ScratchDir dir("tesk_edit");
    CModel m;
    // a right angle at atom 1, a trans chain 0-1-2-3 (180), atom 4 out of
    // the plane (dihedral 4-1-2-3 of +90: clockwise seen along 1-2), and a 60 degree
    // corner 5-1-2 of an equilateral triangle
    ASSERT_TRUE(m.ReadFile(dir.root,
                           Write(dir, "g.xyz",
                                 "6\n\nC 0 1.5 0\nC 0 0 0\nC 1.5 0 0\nC 1.5 -1.5 0\nC 0 0 2\n"
                                 "C 0.75 1.299038105676658 0\n"),
                           INPUT_FILE_TYPE_XYZ));
    const struct {
        std::vector<unsigned> atoms;
        double expected;
    } cases[] = {{{0, 1}, 1.5},         {{0, 2}, 2.1213203},    {{4, 3}, 2.9154759},
                 {{0, 1, 2}, 90.0},     {{2, 1, 0}, 90.0},      {{5, 1, 2}, 60.0},
                 {{0, 1, 3}, 135.0},    {{0, 1, 2, 3}, 180.0},  {{3, 2, 1, 0}, 180.0},
                 {{4, 1, 2, 3}, 90.0},  {{3, 2, 1, 4}, 90.0},  {{0, 1, 2, 5}, 0.0},
                 {{0, 1, 7}, 0.0}};  // no atom 7
    for (const auto& c : cases) {
        const auto& a = c.atoms;
        const double got = a.size() == 2   ? m.Distance(a[0], a[1])
                           : a.size() == 3 ? m.Angle(a[0], a[1], a[2])
                                           : m.Dihedral(a[0], a[1], a[2], a[3]);
        EXPECT_NEAR(got, c.expected, 5e-5) << testing::PrintToString(a);
    }
}

}  // namespace
