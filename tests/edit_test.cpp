// Editing a structure read from disk: bonds that follow deletions and element
// changes, undo and redo against the structure built by the remaining edits
// alone, and the measurements of selected atoms.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cmodel.h"
#include "elements.h"
#include "test_support.h"

namespace {

const std::string kData = TESK_TEST_DATA;
using Pairs = std::set<std::pair<unsigned, unsigned>>;

// The bond criterion over all pairs, written out plainly.
Pairs AllPairs(const CModel& m) {
    Pairs bonds;
    const auto& p = m.v_float_raw_xyz;
    const auto& e = m.v_atom_index;
    for (unsigned i = 0; i < p.size(); ++i)
        for (unsigned j = i + 1; j < p.size(); ++j) {
            if (e[i] == DUMMY_ATOM_INDEX || e[j] == DUMMY_ATOM_INDEX) continue;
            const float s = atom_rgbs[e[i]][3] + atom_rgbs[e[j]][3];
            const glm::vec3 d = p[j] - p[i];
            if (d.x * d.x + d.y * d.y + d.z * d.z <= float(1.2 * double(s * s)) && glm::dot(d, d) > 0.1f) bonds.insert({i, j});
        }
    return bonds;
}

// The bonds drawn: each record once, its cylinder between its own two atoms.
Pairs Drawn(const CModel& m) {
    Pairs bonds;
    for (unsigned k = 0; k < m.i_number_of_bonds; ++k) {
        const glm::uvec2 b = m.m_bond_indices[k];
        if (!(b.x < b.y && b.y < m.GetTotalAtoms())) return {{~0u, k}};
        bonds.insert({b.x, b.y});
        const glm::vec3 a = m.v_float_raw_xyz[b.x], c = m.v_float_raw_xyz[b.y];
        EXPECT_NEAR(glm::length(m.m_bond_xyz[k] - (a + c) * 0.5f), 0.0f, 1e-4f) << k;
        EXPECT_NEAR(m.v_bond_length[k], glm::length(c - a), 1e-4f) << k;
    }
    EXPECT_EQ(bonds.size(), m.i_number_of_bonds) << "a bond recorded twice";
    return bonds;
}

// One edit as the user makes it: deletions, or an element change.
struct Edit {
    std::vector<unsigned> deleted;
    unsigned atom = 0, element = 0;
};

void Apply(CModel& m, const Edit& e) { e.deleted.empty() ? m.ChangeAtom(e.atom, e.element) : m.DeleteAtoms(e.deleted); }

Edit RandomEdit(std::mt19937& rng, unsigned atoms) {
    Edit e;
    if (rng() % 2) {
        for (unsigned k = rng() % 4; k < 4; ++k) e.deleted.push_back(unsigned(rng() % atoms));
    } else {
        const unsigned elements[] = {0, 5, 7, DUMMY_ATOM_INDEX, 13, 21};
        e.atom = unsigned(rng() % atoms);
        e.element = elements[rng() % 6];
    }
    return e;
}

std::string Saved(CModel& m, const ScratchDir& dir, const std::string& name) {
    EXPECT_TRUE(m.SaveFile(dir.root, dir.path(name), 0));
    return Slurp(dir.path(name));
}

// Random edits, undos and redos on files of every format; after each step the
// bonds are the criterion's and the model equals the file read afresh with
// the edits in force applied, down to the bond records and the saved file.
TEST(Edit, UndoAndRedoEqualTheRemainingEditsAppliedAlone) {
    ScratchDir dir("tesk_edit");
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> at(0.0f, 6.0f);
    std::string random = "90\n\n";  // dense: most atoms have several bonds
    char line[96];
    for (unsigned i = 0; i < 90; ++i) {
        std::snprintf(line, sizeof line, "%c %.4f %.4f %.4f\n", "CHOX"[rng() % 4], at(rng), at(rng), at(rng));
        random += line;
    }
    std::ofstream(dir.path("r.xyz")) << random;
    for (const auto& [file, format] : {std::pair<std::string, int>{dir.path("r.xyz"), INPUT_FILE_TYPE_XYZ},
                                       {kData + "/vasp/rutile-selective.vasp", INPUT_FILE_TYPE_VSP},
                                       {kData + "/pdb/protein_two_chains.pdb", INPUT_FILE_TYPE_PDB}}) {
        SCOPED_TRACE(file);
        const std::string folder = file.substr(0, file.rfind('/'));
        CModel m;
        ASSERT_TRUE(m.ReadFile(folder, file, format));
        std::vector<Edit> done;  // edits in force, then those undone that redo brings back
        std::size_t in_force = 0;
        for (int step = 0; step < 80; ++step) {
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
            SCOPED_TRACE(testing::Message() << "step " << step << ", edits in force " << in_force);
            EXPECT_EQ(m.history.CanUndo(), in_force > 0);
            EXPECT_EQ(m.history.CanRedo(), in_force < done.size());
            if (!m.is_periodic_bonds) ASSERT_EQ(Drawn(m), AllPairs(m));
            CModel fresh;
            ASSERT_TRUE(fresh.ReadFile(folder, file, format));
            for (std::size_t k = 0; k < in_force; ++k) Apply(fresh, done[k]);
            ASSERT_EQ(m.v_float_raw_xyz, fresh.v_float_raw_xyz);
            ASSERT_EQ(m.v_atom_index, fresh.v_atom_index);
            ASSERT_EQ(m.m_bond_indices, fresh.m_bond_indices);
            ASSERT_EQ(m.m_bond_ang, fresh.m_bond_ang);
            ASSERT_EQ(Saved(m, dir, "a"), Saved(fresh, dir, "b"));
        }
    }
}

TEST(Edit, ThousandStepsBackToTheFileAndALoadClearsTheHistory) {
    ScratchDir dir("tesk_edit");
    const std::string water = kData + "/xyz/water.xyz";
    CModel m, fresh;
    ASSERT_TRUE(m.ReadFile(dir.root, water, INPUT_FILE_TYPE_XYZ) && fresh.ReadFile(dir.root, water, INPUT_FILE_TYPE_XYZ));
    for (unsigned k = 0; k < 1000; ++k) m.ChangeAtom(k % 3, m.v_atom_index[k % 3] == 5 ? 7 : 5);
    m.DeleteAtom(1);
    // centring between a delete and its undo moves the atom put back as well
    m.CenterCoordinates();
    fresh.CenterCoordinates();
    for (int k = 0; k < 1001; ++k) ASSERT_TRUE(m.Undo()) << k;
    EXPECT_FALSE(m.Undo());
    EXPECT_EQ(m.m_bond_indices, fresh.m_bond_indices);
    EXPECT_EQ(Saved(m, dir, "a"), Saved(fresh, dir, "b"));
    ASSERT_TRUE(m.Redo());
    ASSERT_TRUE(m.ReadFile(dir.root, water, INPUT_FILE_TYPE_XYZ));
    EXPECT_FALSE(m.Undo() || m.Redo());
}

TEST(Edit, MeasurementsOfHandMadeGeometries) {
    ScratchDir dir("tesk_edit");
    // a right angle at atom 1, a trans chain 0-1-2-3, atom 4 out of the plane
    // (dihedral 4-1-2-3 of +90), and a 60 degree corner 5-1-2
    std::ofstream(dir.path("g.xyz")) << "6\n\nC 0 1.5 0\nC 0 0 0\nC 1.5 0 0\nC 1.5 -1.5 0\nC 0 0 2\nC 0.75 1.299038105676658 0\n";
    CModel m;
    ASSERT_TRUE(m.ReadFile(dir.root, dir.path("g.xyz"), INPUT_FILE_TYPE_XYZ));
    const std::pair<std::vector<unsigned>, double> cases[] = {
        {{0, 2}, 2.1213203}, {{4, 3}, 2.9154759}, {{0, 1, 2}, 90.0},     {{5, 1, 2}, 60.0},  {{0, 1, 3}, 135.0},
        {{0, 1, 2, 3}, 180.0}, {{4, 1, 2, 3}, 90.0}, {{3, 2, 1, 4}, 90.0}, {{0, 1, 2, 5}, 0.0}, {{0, 1, 7}, 0.0}};  // no atom 7
    for (const auto& [a, expected] : cases) {
        const double got = a.size() == 2   ? m.Distance(a[0], a[1])
                           : a.size() == 3 ? m.Angle(a[0], a[1], a[2])
                                           : m.Dihedral(a[0], a[1], a[2], a[3]);
        EXPECT_NEAR(got, expected, 5e-5) << testing::PrintToString(a);
    }
}

}  // namespace
