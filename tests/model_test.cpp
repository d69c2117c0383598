// The structure model on real files: element look-up, bond detection checked
// against the plain all-pairs evaluation of the bond criterion, edits with
// undo and redo, and the measurements of selected atoms.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "model/model.h"
#include "core/elements.h"
#include "test_support.h"

namespace {

const std::string kRoot = TESK_TEST_DATA, kData = kRoot + "/xyz/";
using Pairs = std::set<std::pair<unsigned, unsigned>>;

// The bond criterion over all pairs, written out plainly.
Pairs AllPairs(const std::vector<glm::vec3>& p, const std::vector<unsigned>& e)
{
    Pairs bonds;
    for (std::size_t i = 0; i < p.size(); ++i)
        for (std::size_t j = i + 1; j < p.size(); ++j) {
            if (e[i] == 109 || e[j] == 109)
                continue;
            const float s = atom_rgbs[e[i]][3] + atom_rgbs[e[j]][3];
            const glm::vec3 d = p[j] - p[i];
            const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
            if (d2 <= float(1.2 * double(s * s)) && d2 > 0.1)
                bonds.insert({unsigned(i), unsigned(j)});
        }
    return bonds;
}

// The bonds drawn: each record once, first atom first.
Pairs Drawn(const CModel& m)
{
    Pairs bonds;
    for (unsigned k = 0; k < m.BondCount(); ++k) {
        const glm::uvec2 b = m.BondPairs()[k];
        if (!(b.x < b.y && b.y < m.GetTotalAtoms() && bonds.insert({b.x, b.y}).second))
            return {{~0u, k}};
    }
    return bonds;
}

// Loads positions and elements the way a read does and returns the bonds drawn.
Pairs Bonds(CModel& m, const std::vector<glm::vec3>& p, const std::vector<unsigned>& e)
{
    m.SetAtoms(p, e);
    return Drawn(m);
}

class Model : public ::testing::Test {
protected:
    ScratchDir scratch{"tesk-model"};
    std::string dir = scratch.root;
    CModel model;
};

TEST_F(Model, ReadingAMoleculeBuildsBoxBondsAndACentredView)
{
    ASSERT_TRUE(model.ReadFile(kData, kData + "water.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_TRUE(model.Elements() == (std::vector<unsigned>{7, 0, 0}) && !model.IsPeriodic());
    // two O-H bonds, no H-H bond; the bond midpoints moved with the atoms
    EXPECT_EQ(Drawn(model), (Pairs{{0, 1}, {0, 2}}));
    // molecule: the box is the range plus 2.2 radii; drawn positions centred
    EXPECT_NEAR(model.Cell()[1][1], 1.5144 + 2.2 * 0.74, 1e-5);
    EXPECT_NEAR(model.Centre().z, (0.1173f - 0.4692f) / 2, 1e-6f);
    EXPECT_NEAR(model.Positions()[0].z, 0.1173f - model.Centre().z, 1e-6f);
}

TEST_F(Model, EditsAndSaves)
{
    CModel empty;
    EXPECT_FALSE(empty.Save(dir + "/nothing.xyz"));  // nothing read yet
    ASSERT_TRUE(model.ReadFile(kData, kData + "water.xyz", INPUT_FILE_TYPE_XYZ));
    model.ChangeAtom(2, 7);
    model.ChangeAtom(3, 7);    // no such atom
    model.ChangeAtom(0, 500);  // no such element
    model.DeleteAtom(0);
    model.DeleteAtom(2);  // past the end now: nothing
    const std::string out = dir + "/w.xyz";
    ASSERT_TRUE(model.Save(out));  // the format read decides, not the code
    // the comment kept, each number the shortest text that reads back to it
    EXPECT_EQ(Slurp(out),
              "2\nwater molecule\n"
              "H                 0          0.7572         -0.4692\n"
              "O                 0         -0.7572         -0.4692\n");
    // centring twice centres once: the centre of the box as read is (0, 0, -0.17595)
    model.CenterCoordinates(), model.CenterCoordinates();
    ASSERT_TRUE(model.Save(out));
    EXPECT_NE(Slurp(out).find("        -0.29325\n"), std::string::npos) << Slurp(out);
    const std::string before = Slurp(out);  // into a missing folder: false, the file saved before stays
    EXPECT_FALSE(model.Save(dir + "/missing/w.xyz"));
    EXPECT_EQ(Slurp(out), before);
    ASSERT_TRUE(model.ReadFile(kData, kData + "water.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_TRUE(!model.IsCentered() && model.GetTotalAtoms() == 3);
}

// Saving over a link, over a file with its own permissions, under a name as
// long as the file system allows, from a file with CR LF line ends; one
// structure or a trajectory, the same save. Scratch files a killed save left
// are removed; other files that merely look alike stay.
TEST_F(Model, SavesFollowLinksKeepPermissionsAndEndLinesAlike)
{
    for (const auto& [file, format] : {std::pair<std::string, int>{kData + "crlf.xyz", INPUT_FILE_TYPE_XYZ},
                                       {kRoot + "/vasp/rutile-selective.vasp", INPUT_FILE_TYPE_VSP},
                                       {kRoot + "/pdb/protein_two_chains.pdb", INPUT_FILE_TYPE_PDB},
                                       {kRoot + "/frames/traj.xyz", INPUT_FILE_TYPE_XYZ},
                                       {kRoot + "/frames/models.pdb", INPUT_FILE_TYPE_PDB}}) {
        SCOPED_TRACE(file);
        std::string crlf;
        for (char ch : Slurp(file))
            crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        ASSERT_TRUE(model.ReadFile(dir, scratch.write("in", crlf), format));
        const std::string real = scratch.write("real", "old\n"), link = dir + "/link";
        ASSERT_EQ(chmod(real.c_str(), 0640), 0);
        unlink(link.c_str());
        ASSERT_EQ(symlink("real", link.c_str()), 0);
        const std::string stale = scratch.write(".tesk-Ab12Cd", "killed"),
                          alike = scratch.write("notes.tesk-old", "kept");
        const timeval long_ago[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(utimes(stale.c_str(), long_ago), 0);
        ASSERT_EQ(utimes(alike.c_str(), long_ago), 0);
        ASSERT_TRUE(model.Save(link));
        EXPECT_TRUE(access(stale.c_str(), F_OK) != 0 && access(alike.c_str(), F_OK) == 0);
        unlink(alike.c_str());
        struct stat st, lst;
        ASSERT_TRUE(lstat(link.c_str(), &lst) == 0 && stat(real.c_str(), &st) == 0);
        EXPECT_TRUE(S_ISLNK(lst.st_mode) && (st.st_mode & 07777) == 0640u);
        const std::string saved = Slurp(real);
        EXPECT_EQ(saved.find('\r'), std::string::npos);
        CModel back;
        ASSERT_TRUE(back.ReadFile(dir, real, format) && back.Elements() == model.Elements());
        EXPECT_EQ(back.GetFrameCount(), model.GetFrameCount() - (file.find("traj") != std::string::npos ? 2 : 0));
        const std::string longest = dir + "/" + std::string(255, 'n');
        ASSERT_TRUE(model.Save(longest));
        EXPECT_EQ(Slurp(longest), saved);
        unlink(longest.c_str());
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3)
            << "in, real, link: no temporary file left";
    }
}

TEST(Bonds, CriterionAtItsEdgesAndTheRecordsOfABond)
{
    const unsigned H = 0, C = 5, X = 109;  // X: the dummy atom, bonded to nothing
    const struct {
        glm::vec3 to;  // the second atom; the first sits at the origin
        unsigned e1, e2;
        std::size_t bonds;
    } pairs[] = {{{1.00f, 0, 0}, H, H, 1}, {{1.01f, 0, 0}, H, H, 0}, {{0.3f, 0, 0}, H, H, 0},  // on top of each other
                 {{0, 0, 1.86f}, C, C, 1}, {{0, 0, 1.87f}, C, C, 0}, {{1.43f, 0, 0}, C, H, 1},
                 {{1.44f, 0, 0}, C, H, 0}, {{1.0f, 0, 0}, X, C, 0},  {{1.0f, 0, 0}, C, X, 0}};
    CModel m;  // reused: nothing of one evaluation may linger into the next
    for (const auto& c : pairs)
        EXPECT_EQ(Bonds(m, {{0, 0, 0}, c.to}, {c.e1, c.e2}).size(), c.bonds) << c.to.x + c.to.z;
    EXPECT_EQ(Bonds(m, {{0, 0, 0}, {1.0f, 0, 0}, {2.0f, 0, 0}}, {C, X, C}).size(), 0u);
}

// Random mixes and spreads a box of cells handles badly (far apart, near the
// float limits, piled on one spot, a flat grid, crowded bonds): the bonds stay
// exactly the criterion's, and the grid holds no more cells than a few per atom.
TEST(Bonds, AnySpreadOfAtomsGivesTheCriterionsBonds)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f), jitter(-0.05f, 0.05f);
    struct Case {
        const char* what;
        std::vector<glm::vec3> p;
        std::vector<unsigned> e;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, int n, auto at, std::vector<unsigned> elements) {
        Case c{what, {}, {}};
        for (int k = 0; k < n; ++k)
            c.p.push_back(at(k)), c.e.push_back(elements[rng() % elements.size()]);
        cases.push_back(c);
    };
    auto box = [&](float side) { return [&, side](int) { return side * glm::vec3(u(rng), u(rng), u(rng)); }; };
    add("organic", 3000, box(28), {0, 5, 6, 7, 15, 109});
    add("hydrogen gas", 3000, box(15), {0});
    add("astatine and hydrogen", 3000, box(70), {84, 0, 0, 0, 0});
    add("more than 15 bonds per atom", 1000, [](int k) { return 0.35f * glm::vec3(k % 10, k / 10 % 10, k / 100); },
        {0});
    add("two piles", 300, [&](int k) { return k % 2 ? glm::vec3(jitter(rng), 1.2f, 0) : glm::vec3(0, jitter(rng), 0); },
        {5});
    add("a diagonal line", 3000, [](int k) { return glm::vec3(0.81f * k); }, {5});
    add("one cell thick", 25, [](int k) { return 1.5f * glm::vec3(k % 5, k / 5, 0); }, {5});
    add("a block and strays a million away", 1733,
        [](int k) {
            return k < 1728 ? 1.5f * glm::vec3(k % 12, k / 12 % 12, k / 144) : glm::vec3(1e6f + 1.5f * k, -1e6f, 1e6f);
        },
        {5});
    cases.push_back(
        {"1e9 apart", {{0, 0, 0}, {1e9f, 1e9f, 1e9f}, {0.9f, 0, 0}, {1e9f, 1e9f + 1.5e3f, 1e9f}}, {5, 5, 5, 5}});
    cases.push_back({"near the float limits",
                     {{3e38f, 0, 0}, {3e38f, 0, 0.9f}, {-3.4e38f, 1, 0}, {-3.4e38f, 1.9f, 0}, {0, -3.4e38f, 3.4e38f}},
                     std::vector<unsigned>(5, 5)});
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        CModel m;
        const Pairs expected = AllPairs(c.p, c.e);
        EXPECT_EQ(Bonds(m, c.p, c.e), expected);
        EXPECT_FALSE(expected.empty());
        EXPECT_LE(m.BondGridCells(), 4 * c.p.size() + 64);
    }
}

TEST(ElementLookup, SymbolsOfRealFiles)
{
    const std::pair<const char*, unsigned> rows[] = {
        {"cl", 16},    {"CL", 16},  {"C", 5},    {"CA", 19}, {"C1", 5},   {"C-ring", 5}, {"Carbon", 19}, {"Hf", 71},
        {"Fe_pv", 25}, {"mt", 108}, {"X2", 109}, {"", 109},  {"Zz", 109}, {"1H", 109},   {" H", 109}};
    for (const auto& [text, index] : rows)
        EXPECT_EQ(GetAtomIndex(text), index) << text;
    for (unsigned i = 0; i < periodic_table_atoms; ++i)
        EXPECT_EQ(GetAtomIndex(element_symbol[i]), i) << element_symbol[i];
}

// One edit as the user makes it: deletions, or an element change.
struct Edit {
    std::vector<unsigned> deleted;
    unsigned atom = 0, element = 0;
    void Apply(CModel& m) const { deleted.empty() ? m.ChangeAtom(atom, element) : m.DeleteAtoms(deleted); }
};

Edit RandomEdit(std::mt19937& rng, unsigned atoms)
{
    const unsigned elements[] = {0, 5, 7, DUMMY_ATOM_INDEX, 13, 21};
    Edit e{{}, unsigned(rng() % atoms), elements[rng() % 6]};
    if (rng() % 2)
        for (unsigned k = rng() % 4; k < 4; ++k)
            e.deleted.push_back(unsigned(rng() % atoms));
    return e;
}

std::string Saved(CModel& m, const ScratchDir& dir, const std::string& name)
{
    EXPECT_TRUE(m.Save(dir.path(name)));
    return Slurp(dir.path(name));
}

// Random edits, undos and redos on files of every format; after each step the
// bonds are the criterion's and the model equals the file read afresh with
// the edits in force applied, down to the bond records and the saved file.
TEST(Edit, UndoAndRedoEqualTheRemainingEditsAppliedAlone)
{
    ScratchDir dir("tesk_edit");
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> at(0.0f, 6.0f);
    std::string random = "90\n\n";  // dense: most atoms have several bonds
    for (unsigned i = 0; i < 90; ++i)
        random += std::string(1, "CHOX"[rng() % 4]) + " " + std::to_string(at(rng)) + " " + std::to_string(at(rng)) +
                  " " + std::to_string(at(rng)) + "\n";
    std::ofstream(dir.path("r.xyz")) << random;
    for (const auto& [file, format] : {std::pair<std::string, int>{dir.path("r.xyz"), INPUT_FILE_TYPE_XYZ},
                                       {kRoot + "/vasp/rutile-selective.vasp", INPUT_FILE_TYPE_VSP},
                                       {kRoot + "/pdb/protein_two_chains.pdb", INPUT_FILE_TYPE_PDB}}) {
        SCOPED_TRACE(file);
        const std::string folder = file.substr(0, file.rfind('/'));
        CModel m;
        ASSERT_TRUE(m.ReadFile(folder, file, format));
        std::vector<Edit> done;  // edits in force, then those undone that redo brings back
        std::size_t in_force = 0;
        for (int step = 0; step < 80; ++step) {
            const unsigned r = rng() % 6;
            if (r < 2 && m.History().CanUndo()) {
                ASSERT_TRUE(m.Undo());
                --in_force;
            } else if (r < 4 && m.History().CanRedo()) {
                ASSERT_TRUE(m.Redo());
                ++in_force;
            } else if (m.GetTotalAtoms() > 4) {
                const Edit e = RandomEdit(rng, m.GetTotalAtoms());
                const auto before = m.History().u_done;
                e.Apply(m);
                if (m.History().u_done == before)
                    continue;  // the same element again: no edit
                done.resize(in_force);
                done.push_back(e);
                ++in_force;
            }
            SCOPED_TRACE(testing::Message() << "step " << step << ", edits in force " << in_force);
            EXPECT_TRUE(m.History().CanUndo() == (in_force > 0) && m.History().CanRedo() == (in_force < done.size()));
            if (!m.AreBondsPeriodic()) {
                ASSERT_EQ(Drawn(m), AllPairs(m.Positions(), m.Elements()));
            }
            CModel fresh;
            ASSERT_TRUE(fresh.ReadFile(folder, file, format));
            for (std::size_t k = 0; k < in_force; ++k)
                done[k].Apply(fresh);
            ASSERT_TRUE(m.Positions() == fresh.Positions() && m.Elements() == fresh.Elements() &&
                        m.BondPairs() == fresh.BondPairs() && m.BondImages() == fresh.BondImages());
            ASSERT_EQ(Saved(m, dir, "a"), Saved(fresh, dir, "b"));
        }
    }
}

TEST(Edit, ThousandStepsBackToTheFileAndALoadClearsTheHistory)
{
    ScratchDir dir("tesk_edit");
    const std::string water = kData + "water.xyz";
    CModel m, fresh;
    ASSERT_TRUE(m.ReadFile(dir.root, water, INPUT_FILE_TYPE_XYZ) &&
                fresh.ReadFile(dir.root, water, INPUT_FILE_TYPE_XYZ));
    for (unsigned k = 0; k < 1000; ++k)
        m.ChangeAtom(k % 3, m.Elements()[k % 3] == 5 ? 7 : 5);
    m.DeleteAtom(1);
    m.CenterCoordinates(), fresh.CenterCoordinates();  // between a delete and its undo: moves the atom put back too
    for (int k = 0; k < 1001; ++k)
        ASSERT_TRUE(m.Undo()) << k;
    EXPECT_TRUE(!m.Undo() && m.BondPairs() == fresh.BondPairs());
    EXPECT_EQ(Saved(m, dir, "a"), Saved(fresh, dir, "b"));
    ASSERT_TRUE(m.Redo() && m.ReadFile(dir.root, water, INPUT_FILE_TYPE_XYZ));
    EXPECT_FALSE(m.Undo() || m.Redo());
}

TEST(Edit, MeasurementsOfHandMadeGeometries)
{
    ScratchDir dir("tesk_edit");
    // a right angle at atom 1, a trans chain 0-1-2-3, atom 4 out of the plane
    // (dihedral 4-1-2-3 of +90), and a 60 degree corner 5-1-2
    std::ofstream(dir.path("g.xyz"))
        << "6\n\nC 0 1.5 0\nC 0 0 0\nC 1.5 0 0\nC 1.5 -1.5 0\nC 0 0 2\nC 0.75 1.299038105676658 0\n";
    CModel m;
    ASSERT_TRUE(m.ReadFile(dir.root, dir.path("g.xyz"), INPUT_FILE_TYPE_XYZ));
    const std::pair<std::vector<unsigned>, double> cases[] = {
        {{0, 2}, 2.1213203},  {{0, 1, 2}, 90.0},    {{5, 1, 2}, 60.0},   {{0, 1, 3}, 135.0}, {{0, 1, 2, 3}, 180.0},
        {{4, 1, 2, 3}, 90.0}, {{3, 2, 1, 4}, 90.0}, {{0, 1, 2, 5}, 0.0}, {{0, 1, 7}, 0.0}};  // no atom 7
    for (const auto& [a, expected] : cases) {
        const double got = a.size() == 2   ? m.Distance(a[0], a[1])
                           : a.size() == 3 ? m.Angle(a[0], a[1], a[2])
                                           : m.Dihedral(a[0], a[1], a[2], a[3]);
        EXPECT_NEAR(got, expected, 5e-5) << testing::PrintToString(a);
    }
}

}  // namespace
