// Crystals read from files: periodic bonds checked against a search over
// every nearby image, edits and wrapping, boundary atoms and supercells.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include "core/crystal.h"
#include "model/model.h"
#include "core/elements.h"
#include "test_support.h"

namespace {

using Bond = std::tuple<unsigned, unsigned, int, int, int>;
using BondSet = std::set<Bond>;

// The criterion against every image within 4 A (longer than any bond of
// these elements) and one cell more, written plainly.
BondSet BruteForce(const CModel& m)
{
    BondSet out;
    const auto& p = m.Positions();
    const auto& e = m.Elements();
    const CLattice lattice = m.GetLattice();
    const glm::ivec3 k = lattice.Reach(4.0) + 1;
    for (unsigned i = 0; i < p.size(); ++i)
        for (unsigned j = i; j < p.size(); ++j)
            for (int x = -k.x; x <= k.x; ++x)
                for (int y = -k.y; y <= k.y; ++y)
                    for (int z = -k.z; z <= k.z; ++z) {
                        if (i == j && !(x > 0 || (x == 0 && (y > 0 || (y == 0 && z > 0)))))
                            continue;
                        if (e[i] == DUMMY_ATOM_INDEX || e[j] == DUMMY_ATOM_INDEX)
                            continue;
                        const glm::vec3 d = p[j] + lattice.Translation({x, y, z}) - p[i];
                        const float s = atom_rgbs[e[i]][3] + atom_rgbs[e[j]][3];
                        const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
                        if (d2 <= float(1.2 * double(s * s)) && d2 > 0.1)
                            out.insert({i, j, x, y, z});
                    }
    return out;
}

// The model's bond set: every record once, atom i and the image of atom j.
BondSet Recorded(const CModel& m)
{
    BondSet out;
    for (unsigned k = 0; k < m.BondCount(); ++k) {
        const glm::uvec2 b = m.BondPairs()[k];
        const glm::ivec3 s = m.BondImages()[k];
        EXPECT_TRUE(out.insert({b.x, b.y, s.x, s.y, s.z}).second) << "twice: " << b.x << " " << b.y;
    }
    return out;
}

struct Crystal {
    const char* name;
    glm::dmat3 cell;  // columns: the cell vectors
    int carbons, hydrogens;
    std::vector<glm::dvec3> fract;
};

std::string Poscar(const Crystal& c)
{
    std::ostringstream s;
    s.precision(12);
    s << c.name << "\n1.0\n";
    for (int a = 0; a < 3; ++a)
        s << c.cell[a].x << " " << c.cell[a].y << " " << c.cell[a].z << "\n";
    s << "C H\n" << c.carbons << " " << c.hydrogens << "\nDirect\n";
    for (const auto& f : c.fract)
        s << f.x << " " << f.y << " " << f.z << "\n";
    return s.str();
}

// Random positions, some outside the cell, some on top of others.
Crystal Random(const char* name, const glm::dmat3& cell, int carbons, int hydrogens, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-0.2, 1.2);
    Crystal c{name, cell, carbons, hydrogens, {}};
    for (int i = 0; i < carbons + hydrogens; ++i)
        c.fract.push_back({u(rng), u(rng), u(rng)});
    return c;
}

glm::dmat3 Triclinic(double a, double b, double c, double alpha, double beta, double gamma)
{
    const double ca = std::cos(alpha), cb = std::cos(beta), cg = std::cos(gamma), sg = std::sin(gamma);
    const double cx = c * cb, cy = c * (ca - cb * cg) / sg;
    return glm::dmat3(glm::dvec3(a, 0, 0), glm::dvec3(b * cg, b * sg, 0),
                      glm::dvec3(cx, cy, std::sqrt(c * c - cx * cx - cy * cy)));
}

class CrystalTest : public ::testing::Test {
protected:
    bool Load(const std::string& name, const std::string& text, int fmt = INPUT_FILE_TYPE_VSP)
    {
        return model.ReadFile(scratch.root, scratch.write(name, text), fmt);
    }
    ScratchDir scratch{"tesk-crystal"};
    CModel model;
};

TEST_F(CrystalTest, PeriodicBondsMatchEveryImage)
{
    const Crystal cases[] = {
        Random("cubic, many grid cells", glm::dmat3(16.0), 300, 300, 2),
        Random("triclinic", Triclinic(11, 9, 13, 1.2, 1.9, 1.0), 90, 90, 3),
        Random("flat triclinic", Triclinic(14, 12, 5, 1.4, 1.3, 2.3), 60, 30, 4),
        // shorter than two bond lengths: one atom bonds to several of its
        // own images, and two atoms meet through more than one image
        Random("short cell", Triclinic(0.9, 1.7, 9.0, 1.5, 1.6, 1.3), 2, 1, 5),
        {"one atom", glm::dmat3(1.7), 1, 0, {{0, 0, 0}}},
    };
    for (const Crystal& c : cases) {
        ASSERT_TRUE(Load("POSCAR", Poscar(c))) << c.name;
        const BondSet want = BruteForce(model);
        EXPECT_TRUE(model.AreBondsPeriodic() && !want.empty() && Recorded(model) == want) << c.name;
    }
    // a placeholder cell far too small for the atoms keeps the plain bonds
    Crystal tiny = Random("placeholder", glm::dmat3(1.0), 3000, 0, 6);
    for (auto& f : tiny.fract)
        f *= 40.0;
    ASSERT_TRUE(Load("POSCAR", Poscar(tiny)));
    EXPECT_FALSE(model.AreBondsPeriodic());
    for (unsigned k = 0; k < model.BondCount(); ++k)
        EXPECT_EQ(model.BondImages()[k], glm::ivec3(0));
}

TEST_F(CrystalTest, EditsUndoAndWrapKeepPeriodicBonds)
{
    ASSERT_TRUE(Load("POSCAR", Poscar(Random("edits", Triclinic(8, 7, 9, 1.3, 1.7, 1.2), 40, 30, 7))));
    const BondSet start = Recorded(model);
    const std::vector<glm::vec3> positions = model.Positions();
    model.DeleteAtoms({3, 10, 11});
    EXPECT_EQ(Recorded(model), BruteForce(model)) << "delete";
    model.ChangeAtom(5, 13);  // to silicon: a larger radius reaches other images
    const BondSet before_wrap = Recorded(model);
    EXPECT_EQ(before_wrap, BruteForce(model)) << "element change";
    ASSERT_TRUE(model.Wrap());
    EXPECT_EQ(Recorded(model), BruteForce(model)) << "wrap";
    EXPECT_EQ(Recorded(model).size(), before_wrap.size());
    for (const glm::vec3& p : model.Positions()) {
        const glm::dvec3 f = model.GetLattice().Fractional(p);
        EXPECT_TRUE(glm::all(glm::greaterThanEqual(f, glm::dvec3(-1e-6))) &&
                    glm::all(glm::lessThan(f, glm::dvec3(1.0))));
    }
    EXPECT_FALSE(model.Wrap()) << "nothing left to move";
    ASSERT_TRUE(model.Undo());
    EXPECT_EQ(Recorded(model), before_wrap);
    ASSERT_TRUE(model.Undo() && model.Undo());
    EXPECT_TRUE(Recorded(model) == start && model.Positions() == positions);
    ASSERT_TRUE(model.Redo() && model.Redo() && model.Redo());
    EXPECT_EQ(Recorded(model), BruteForce(model)) << "redo of the wrap";
}

TEST_F(CrystalTest, WrapIsSavedInEveryFormat)
{
    const struct {
        const char* name;
        int fmt;
        std::string text;
    } cases[] = {
        {"POSCAR", INPUT_FILE_TYPE_VSP,
         "direct\n1.0\n4 0 0\n0 5 0\n1 0 6\nSi O\n1 1\nDirect\n1.25 -0.5 0.5\n-0.1 0.2 2.3\n"},
        {"cell.xyz", INPUT_FILE_TYPE_XYZ,
         "2\nLattice=\"4 0 0 0 5 0 1 0 6\" Properties=species:S:1:pos:R:3\nSi 5.5 -2.5 3\nO 1.9 1 13.8\n"},
        {"cell.pdb", INPUT_FILE_TYPE_PDB,
         "CRYST1    4.000    5.000    6.000  90.00  90.00  90.00 P 1           1\n"
         "ATOM      1 SI   UNK     1       5.500  -2.500   3.000  1.00  0.00          SI\n"
         "ATOM      2 O    UNK     1      -0.400   1.000  13.800  1.00  0.00           O\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Load(c.name, c.text, c.fmt) && model.Wrap());
        const std::string saved = scratch.path(std::string("saved-") + c.name);
        CModel back;
        ASSERT_TRUE(model.Save(saved) && back.ReadFile(scratch.root, saved, c.fmt));
        const CLattice lattice(back.Cell(), glm::dvec3(0.0));
        for (unsigned i = 0; i < back.GetTotalAtoms(); ++i) {
            // the file's own coordinates, before the view was centred
            const glm::dvec3 f = lattice.Fractional(back.Positions()[i] + back.Centre());
            EXPECT_TRUE(glm::all(glm::greaterThanEqual(f, glm::dvec3(-1e-4))) &&
                        glm::all(glm::lessThan(f, glm::dvec3(1.0 + 1e-4))))
                << i;
        }
    }
}

TEST_F(CrystalTest, BoundaryAtomsAndSupercellCopies)
{
    // simple cubic carbon: one atom on the corner, bonded along the edges
    ASSERT_TRUE(Load("POSCAR", Poscar({"sc", glm::dmat3(1.7), 1, 0, {{0, 0, 0}}})));
    const CLattice lattice = model.GetLattice();
    CCopies copies;
    CCrystalScene scene;
    const struct {
        glm::ivec3 repeat;
        bool boundary;
        std::size_t atoms, whole, halves;
    } cases[] = {
        {{1, 1, 1}, false, 1, 0, 6},    // three bonds, each two half-bonds out of the cell
        {{1, 1, 1}, true, 8, 12, 24},   // the eight corners, twelve edges, three halves out of each
        {{2, 3, 1}, false, 6, 7, 22},   // a 2 x 3 block of atoms
        {{2, 2, 2}, true, 27, 54, 54},  // 3 x 3 x 3 points, their edges, and halves out of the faces
    };
    for (const auto& c : cases) {
        copies.Build(lattice, model.Positions(), c.repeat, c.boundary);
        BuildCrystalScene(lattice, model.Positions(), model.BondPairs(), model.BondImages(), model.BondCount(), copies,
                          scene);
        ASSERT_EQ(scene.u_drawn, c.atoms);
        std::set<std::tuple<float, float, float>> at;
        for (unsigned k = 0; k < scene.u_drawn; ++k)
            EXPECT_TRUE(at.insert({scene.v_xyz[k].x, scene.v_xyz[k].y, scene.v_xyz[k].z}).second) << "drawn twice";
        std::size_t whole = 0, halves = 0;
        for (const glm::uvec2& b : scene.v_pairs) {
            ASSERT_LT(b.x, scene.u_drawn);  // every piece starts at a drawn atom
            const float l = glm::length(scene.v_xyz[b.y] - scene.v_xyz[b.x]);
            whole += b.y < scene.u_drawn && std::fabs(l - 1.7f) < 1e-4f;
            halves += b.y >= scene.u_drawn && std::fabs(l - 0.85f) < 1e-4f;
        }
        EXPECT_TRUE(whole == c.whole && halves == c.halves && scene.v_pairs.size() == whole + halves)
            << c.repeat.x << c.repeat.y << c.repeat.z << c.boundary << ": " << whole << " " << halves;
    }
}

// pbc="F F F": a molecule in a box is bonded inside only; "T T F" a slab,
// bonded across x and y. Another word starting with "Cell" makes no cell.
TEST_F(CrystalTest, PbcFlagsKeepBondsOffNonPeriodicAxes)
{
    const struct {
        const char* pbc;
        std::size_t bonds;
    } cases[] = {{"T T T", 3}, {"T T F", 2}, {"F F F", 0}, {"TFF", 1}, {"true false false", 1}};
    for (const auto& c : cases) {
        // one carbon at the corner of a 1.5 A cube: bonded to its images along x, y, z
        ASSERT_TRUE(Load("c.xyz",
                         std::string("1\nLattice=\"1.5 0 0 0 1.5 0 0 0 1.5\" pbc=\"") + c.pbc + "\"\nC 0 0 0\n",
                         INPUT_FILE_TYPE_XYZ));
        EXPECT_EQ(model.BondCount(), c.bonds) << c.pbc;
        const std::string saved = scratch.path("saved.xyz");
        ASSERT_TRUE(model.SaveFileAs(saved, INPUT_FILE_TYPE_XYZ));
        EXPECT_EQ(Slurp(saved).find("pbc=\"T T T\"") != std::string::npos, c.bonds == 3) << Slurp(saved);
    }
}

// An atom so far out that its fractional coordinate overflows an int: an
// element change, Wrap and the copies stay defined, and Wrap says it left it.
TEST_F(CrystalTest, AtomsFarOutsideTheCellStayDefined)
{
    ASSERT_TRUE(Load("POSCAR", Poscar({"far", glm::dmat3(3.0), 2, 0, {{0.1, 0.1, 0.1}, {-1e10, 0.5, 1e10}}})));
    model.ChangeAtom(1, 6);
    model.ChangeAtom(0, 0);
    EXPECT_FALSE(model.Wrap());
    EXPECT_EQ(model.Notes(), "1 atom lies too far outside the cell to be wrapped");
}

// Repeat's cap counts the copies on the faces: a corner atom is drawn 8
// times in one cell, 27 times in 2 x 2 x 2.
TEST_F(CrystalTest, CopyCountHoldsBoundaryCopies)
{
    ASSERT_TRUE(Load("POSCAR", Poscar({"sc", glm::dmat3(1.7), 2, 0, {{0, 0, 0}, {0.5, 0.5, 0.5}}})));
    CCopies copies;
    for (const auto& [repeat, boundary] :
         {std::pair{glm::ivec3(1), true}, std::pair{glm::ivec3(2), true}, std::pair{glm::ivec3(2, 3, 1), false}}) {
        copies.CountFaces(model.GetLattice(), model.Positions(), boundary);
        const double counted = copies.CopyCount(repeat);
        copies.Build(model.GetLattice(), model.Positions(), repeat, boundary);
        EXPECT_EQ(counted, double(copies.v_copies.size())) << repeat.x << boundary;
    }
}

}  // namespace
