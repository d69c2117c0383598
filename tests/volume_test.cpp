// Volumetric files and their isosurfaces, on synthetic fields whose answers
// are known: Gaussian blobs (spheres of known area and volume) in skewed and
// periodic cells, a signed p-like lobe, and files read against ASE.
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/isosurface.h"
#include "core/elements.h"
#include "io/format_registry.h"
#include "io/volume.h"
#include "test_support.h"

namespace {

constexpr double PI = 3.14159265358979323846;

core::IsoGrid GridOf(const Blob& b, const std::vector<float>& v)
{
    core::IsoGrid g;
    g.values = v.data();
    g.size = b.size;
    for (int a = 0; a < 3; ++a)
        g.voxel[a] = b.cell[a] / double(b.size[a]);
    g.is_periodic = true;
    return g;
}

// Every edge of the mesh in exactly two triangles, once in each direction.
bool IsClosed(const core::IsoMesh& m)
{
    std::map<std::pair<uint32_t, uint32_t>, int> directed;
    for (std::size_t t = 0; t < m.indices.size(); t += 3)
        for (int e = 0; e < 3; ++e)
            ++directed[{m.indices[t + e], m.indices[t + (e + 1) % 3]}];
    for (const auto& [edge, count] : directed)
        if (count != 1 || directed.count({edge.second, edge.first}) != 1)
            return false;
    return !m.indices.empty();
}

TEST(Isosurface, GaussianBlobsGiveSpheresOfTheirAreaAndVolume)
{
    const glm::dmat3 cubic(10.0);
    glm::dmat3 skewed(0.0);
    skewed[0] = {10.0, 0.0, 0.0};
    skewed[1] = {3.0, 9.0, 0.0};
    skewed[2] = {2.0, -2.5, 11.0};
    glm::dmat3 left = skewed;  // a left-handed cell
    std::swap(left[0], left[1]);
    const Blob blobs[] = {
        {cubic, {40, 40, 40}, {0.5, 0.5, 0.5}, 1.0, 0.3},
        {skewed, {48, 44, 52}, {0.45, 0.55, 0.5}, 1.1, 0.2},
        {left, {45, 47, 51}, {0.5, 0.5, 0.5}, 1.1, 0.2},  // odd sizes: the coarse copy picks nearest points
        // across every face: the pieces in the corners make one sphere
        {skewed, {48, 44, 52}, {0.02, 0.97, 0.0}, 1.1, 0.2},
    };
    for (const Blob& b : blobs) {
        SCOPED_TRACE("centre " + std::to_string(b.centre.x) + " " + std::to_string(b.centre.y));
        const std::vector<float> v = BlobField(b);
        core::IsoMesh mesh;
        ASSERT_TRUE(core::BuildIsosurface(GridOf(b, v), float(b.level), true, mesh));
        const double r = b.sigma * std::sqrt(2.0 * std::log(1.0 / b.level));
        const glm::dvec3 centre = b.cell * b.centre;
        const glm::dmat3 to_fraction = glm::inverse(b.cell);
        // pieces cut by the cell's faces go back to the blob's own side
        core::IsoMesh whole = mesh;
        for (glm::vec3& p : whole.positions) {
            const glm::dvec3 f = to_fraction * glm::dvec3(p) - b.centre;
            p = glm::vec3(glm::dvec3(p) - b.cell * glm::round(f));
        }
        EXPECT_NEAR(core::MeshArea(whole), 4.0 * PI * r * r, 0.02 * 4.0 * PI * r * r);
        EXPECT_NEAR(core::MeshVolume(whole), 4.0 / 3.0 * PI * r * r * r, 0.02 * 4.0 / 3.0 * PI * r * r * r);
        const bool inside = b.centre.x > 0.2;
        EXPECT_EQ(IsClosed(mesh), inside);
        std::size_t off_level = 0, inward = 0, against = 0;
        for (std::size_t i = 0; i < whole.positions.size(); ++i) {
            const glm::dvec3 d = glm::dvec3(whole.positions[i]) - centre;
            off_level += std::fabs(glm::length(d) - r) > 0.03 * r;
            inward += glm::dot(glm::dvec3(whole.normals[i]), d) < 0.9 * glm::length(d);
        }
        for (std::size_t t = 0; t < mesh.indices.size(); t += 3) {
            const glm::vec3 a = mesh.positions[mesh.indices[t]], c = mesh.positions[mesh.indices[t + 1]],
                            d = mesh.positions[mesh.indices[t + 2]];
            const glm::vec3 n = glm::cross(c - a, d - a);
            against += glm::length(n) > 1e-6f && glm::dot(n, mesh.normals[mesh.indices[t]]) < 0.0f;
        }
        EXPECT_EQ(off_level, 0u);
        EXPECT_EQ(inward, 0u);
        EXPECT_EQ(against, 0u);
        // the copy drawn while the view turns: the same sphere, a quarter of the triangles
        std::vector<float> storage;
        core::IsoMesh coarse;
        ASSERT_TRUE(core::BuildIsosurface(core::CoarseGrid(GridOf(b, v), 2, storage), float(b.level), true, coarse));
        for (glm::vec3& p : coarse.positions)
            p = glm::vec3(glm::dvec3(p) - b.cell * glm::round(to_fraction * glm::dvec3(p) - b.centre));
        EXPECT_NEAR(core::MeshArea(coarse), 4.0 * PI * r * r, 0.08 * 4.0 * PI * r * r);
        EXPECT_LT(coarse.Triangles(), mesh.Triangles() / 3);
    }
}

// p_z-like: z exp(-r^2 / 2 sigma^2) about the grid's middle, in Bohr.
std::string LobeCube(glm::dvec3 origin, double step, int n)
{
    std::string text = "lobe\nOUTER LOOP: X, Y, Z\n";
    char line[160];
    std::snprintf(line, sizeof line, "%5d %12.6f %12.6f %12.6f\n", 1, origin.x, origin.y, origin.z);
    text += line;
    for (int a = 0; a < 3; ++a) {
        glm::dvec3 v(0.0);
        v[a] = step;
        if (a == 2)
            v.x = 0.3 * step;  // skewed, in the mirror plane's own direction
        std::snprintf(line, sizeof line, "%5d %12.6f %12.6f %12.6f\n", n, v.x, v.y, v.z);
        text += line;
    }
    const glm::dvec3 middle = origin + glm::dvec3(step * (n - 1) * 1.3, step * (n - 1), step * (n - 1)) * 0.5;
    std::snprintf(line, sizeof line, "%5d %12.6f %12.6f %12.6f %12.6f\n", 8, 0.0, middle.x, middle.y, middle.z);
    text += line;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            for (int k = 0; k < n; ++k) {
                const glm::dvec3 p = origin + glm::dvec3(i * step + 0.3 * k * step, j * step, k * step) - middle;
                const double value = p.z * std::exp(-glm::dot(p, p) / 8.0);
                std::snprintf(line, sizeof line, " %12.5E", value);
                text += line;
                if (k % 6 == 5 || k == n - 1)
                    text += "\n";
            }
        }
    return text;
}

TEST(Isosurface, SignedLobeSurfacesMirrorEachOther)
{
    ScratchDir dir;
    const std::string path = dir.path("lobe.cube");
    std::ofstream(path) << LobeCube({-3.0, 2.0, 5.0}, 0.4, 41);
    io::Volume v;
    io::Refusal why;
    ASSERT_TRUE(io::ReadVolumeFile(path, io::VolumeKind::Cube, v, why)) << why.line << ": " << why.reason;
    ASSERT_EQ(v.grids.size(), 1u);
    const glm::vec2 range = core::ValueRange(v.grids[0].values.data(), v.Points());
    EXPECT_TRUE(core::IsSigned(range));
    core::IsoGrid g;
    g.values = v.grids[0].values.data();
    g.size = v.size;
    g.voxel = v.voxel;
    g.origin = v.origin;
    core::IsoMesh plus, minus;
    ASSERT_TRUE(core::BuildIsosurface(g, 0.3f * range.y, true, plus));
    ASSERT_TRUE(core::BuildIsosurface(g, -0.3f * range.y, false, minus));
    EXPECT_TRUE(IsClosed(plus));
    EXPECT_TRUE(IsClosed(minus));
    EXPECT_GT(core::MeshVolume(plus), 0.0);
    EXPECT_NEAR(core::MeshVolume(minus), core::MeshVolume(plus), 1e-3 * core::MeshVolume(plus));
    EXPECT_NEAR(core::MeshArea(minus), core::MeshArea(plus), 1e-3 * core::MeshArea(plus));
    // the centroids lie mirrored through the atom (the field is odd about it), in A
    const glm::dvec3 atom = v.positions.at(0);
    auto centroid = [](const core::IsoMesh& m) {
        glm::dvec3 sum(0.0);
        for (const glm::vec3& p : m.positions)
            sum += glm::dvec3(p);
        return sum / double(m.positions.size());
    };
    const glm::dvec3 up = centroid(plus) - atom, down = centroid(minus) - atom;
    EXPECT_GT(up.z, 0.5);
    EXPECT_NEAR(up.z, -down.z, 1e-3);
    EXPECT_NEAR(up.x, -down.x, 1e-3);  // the skewed axis carries z into x
    EXPECT_NEAR(up.y, -down.y, 1e-3);
}

}  // namespace

namespace {

// A spin-polarised CHGCAR as VASP writes it: values x volume, five to a
// line, augmentation occupancies after each grid and the moments before the
// second. Sizes above the parallel parser's threshold.
std::string SpinChgcar(glm::ivec3 n, int cut = 0)
{
    std::string text =
        "Si2 O\n   1.00000000000000\n     8.0000000000    0.0000000000    0.0000000000\n"
        "     1.0000000000    7.0000000000    0.0000000000\n     0.5000000000    0.8000000000    9.0000000000\n"
        "   Si   O\n     2     1\nDirect\n  0.100000  0.200000  0.300000\n  0.600000  0.700000  0.150000\n"
        "  0.900000  0.050000  0.800000\n\n";
    char line[128];
    auto grid = [&](double phase, int drop) {
        std::snprintf(line, sizeof line, "%5d%5d%5d\n", n.x, n.y, n.z);
        text += line;
        const int total = n.x * n.y * n.z - drop;
        for (int i = 0; i < total; ++i) {
            const double v = 504.0 * (1.1 + std::sin(0.013 * i + phase)) * (i % 7 + 1);
            std::snprintf(line, sizeof line, " %17.11E", v);
            text += line;
            if (i % 5 == 4 || i == total - 1)
                text += "\n";
        }
        for (int a = 1; a <= 3; ++a) {
            std::snprintf(line, sizeof line, "augmentation occupancies%4d%4d\n", a, 4);
            text += line;
            text += "  0.1234567E+00 -0.2345678E-01  0.3456789E-02  0.4567891E-03\n";
        }
    };
    grid(0.0, cut);
    text += " 0.00000000E+00 0.00000000E+00 0.00000000E+00\n";
    grid(1.0, 0);
    return text;
}

std::string CubeFile(glm::ivec3 n)
{
    std::string text = "cube\nwritten for a test\n    2   -1.500000    0.250000    2.000000\n";
    char line[128];
    const double v[3][3] = {{0.3, 0.0, 0.0}, {0.05, 0.28, 0.0}, {0.0, 0.1, 0.33}};
    for (int a = 0; a < 3; ++a) {
        std::snprintf(line, sizeof line, "%5d%12.6f%12.6f%12.6f\n", n[a], v[a][0], v[a][1], v[a][2]);
        text += line;
    }
    text +=
        "    8    0.000000    1.000000    2.000000    3.000000\n    1    0.000000   -1.000000    0.500000    "
        "4.000000\n";
    for (int i = 0; i < n.x; ++i)
        for (int j = 0; j < n.y; ++j)
            for (int k = 0; k < n.z; ++k) {
                std::snprintf(line, sizeof line, " %12.5E", std::cos(0.1 * i) * std::sin(0.2 * j + 0.05 * k) - 0.1);
                text += line;
                if (k % 6 == 5 || k == n.z - 1)
                    text += "\n";
            }
    return text;
}

// What ASE reads: cell, atomic numbers, positions, grid shape, and for each
// grid its sum and a few values by flat index (VASP: x fastest; cube: as written).
std::vector<double> AseReads(const std::string& path, bool vasp)
{
    const std::string script =
        "import sys, numpy as np\n"
        "from ase.io.cube import read_cube\n"
        "from ase.calculators.vasp import VaspChargeDensity\n"
        "p, vasp = sys.argv[1], sys.argv[2] == '1'\n"
        "if vasp:\n"
        "    c = VaspChargeDensity(p); atoms = c.atoms[0]\n"
        "    grids = [g.flatten(order='F') for g in c.chg + c.chgdiff]; shape = c.chg[0].shape\n"
        "else:\n"
        "    d = read_cube(open(p)); atoms = d['atoms']; grids = [d['data'].flatten()]; shape = d['data'].shape\n"
        "out = list(atoms.cell.flatten()) + list(atoms.numbers) + list(atoms.positions.flatten()) + list(shape)\n"
        "for g in grids: out += [g.sum()] + [g[i] for i in (0, 1, 777, 12345, len(g) - 1)]\n"
        "print(' '.join(repr(float(x)) for x in out))\n";
    ScratchDir dir;
    std::ofstream(dir.path("read.py")) << script;
    std::istringstream printed(Python(dir.path("read.py") + " " + path + " " + (vasp ? "1" : "0")).out);
    std::vector<double> out;
    for (double x; printed >> x;)
        out.push_back(x);
    return out;
}

TEST(VolumeFiles, ReadAsAseReadsThem)
{
    if (!HasPython("ase"))
        GTEST_SKIP() << "python3-ase is not installed";
    ScratchDir dir;
    struct Case {
        std::string name, text;
        bool vasp;
        std::size_t grids;
    };
    const Case cases[] = {
        {"CHGCAR", SpinChgcar({48, 40, 36}), true, 2},
        {"orbital.cube", CubeFile({30, 34, 38}), false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.path(c.name);
        std::ofstream(path) << c.text;
        io::Volume v;
        io::Refusal why;
        ASSERT_TRUE(io::ReadVolumeFile(path, c.vasp ? io::VolumeKind::Vasp : io::VolumeKind::Cube, v, why))
            << why.line << ": " << why.reason;
        const std::vector<double> ase = AseReads(path, c.vasp);
        const std::size_t atoms = v.positions.size();
        ASSERT_EQ(ase.size(), 9 + 4 * atoms + 3 + 6 * c.grids);
        ASSERT_EQ(v.grids.size(), c.grids);
        std::size_t k = 0;
        for (int a = 0; a < 3; ++a)  // ASE's cell rows are the cube's axes, ours reversed
            for (int x = 0; x < 3; ++x)
                EXPECT_NEAR(v.cell[c.vasp ? a : 2 - a][x], ase[k++], 1e-9);
        for (std::size_t i = 0; i < atoms; ++i)
            EXPECT_EQ(v.elements[i] + 1, unsigned(ase[k++]));
        for (std::size_t i = 0; i < atoms; ++i)
            for (int x = 0; x < 3; ++x)
                EXPECT_NEAR(v.positions[i][x], ase[k++], 1e-9);
        for (int a = 0; a < 3; ++a)
            EXPECT_EQ(v.size[c.vasp ? a : 2 - a], int(ase[k++]));
        for (const io::VolumeGrid& g : v.grids) {
            double sum = 0.0;
            for (float x : g.values)
                sum += x;
            EXPECT_NEAR(sum, ase[k], 1e-5 * std::fabs(ase[k]) + 1e-6);
            ++k;
            for (std::size_t i :
                 {std::size_t(0), std::size_t(1), std::size_t(777), std::size_t(12345), g.values.size() - 1}) {
                EXPECT_NEAR(g.values[i], ase[k], 1e-6 * std::fabs(ase[k]) + 1e-9) << i;
                ++k;
            }
        }
    }
}

// The format table tells volumetric files by name, then by their first lines;
// files that only look alike stay what they are.
TEST(VolumeFiles, ToldByNameAndByContentThroughTheFormatTable)
{
    ScratchDir dir;
    const std::string chgcar = SpinChgcar({24, 20, 18}), cube = CubeFile({10, 12, 14});
    const std::string poscar = chgcar.substr(0, chgcar.find("\n\n") + 1);
    std::string selective = chgcar;
    selective.insert(selective.find("Direct"), "Selective dynamics\n");
    const std::string numbered =
        "6\n6 atoms by number\n6 0 0 0\n6 1.4 0 0\n6 2.1 1.2 0\n6 1.4 2.4 0\n"
        "6 0 2.4 0\n6 -0.7 1.2 0\n";
    // the sniffers' limits: five lines of a POSCAR, six of a cube, one or three
    // scales, a point on every axis, a LAMMPS box within the first 40 lines
    auto first = [](const std::string& text, int lines) {
        std::size_t at = 0;
        for (int k = 0; k < lines; ++k)
            at = text.find('\n', at) + 1;
        return text.substr(0, at);
    };
    const std::string four = first(poscar, 4), two_scales = "t\n1 1\n5 0 0\n0 5 0\n0 0 5\nO\n1\nDirect\n0 0 0\n",
                      no_points = poscar + "\n0 1 1\n1\n", five = first(cube, 5),
                      six_numbers = cube.substr(0, cube.find('\n', 30)) + " 1 1" + cube.substr(cube.find('\n', 30));
    std::string empty_axis = cube;
    empty_axis.replace(empty_axis.find("\n   10") + 1, 5, "    0");
    const std::string box_at_40 = "t\n" + std::string(37, '\n') + "1 atoms\n0 1 xlo xhi\n",
                      box_at_41 = "t\n\n" + box_at_40.substr(2);
    struct Case {
        const char* name;
        const std::string& text;
        io::Format expected;
    };
    const Case cases[] = {
        {"CHGCAR", numbered, io::Format::VaspVolume},  // the name wins
        {"PARCHG.0012.gz", numbered, io::Format::VaspVolume},
        {"AECCAR2", numbered, io::Format::VaspVolume},
        {"elfcar_spin", numbered, io::Format::VaspVolume},
        {"CHG", numbered, io::Format::VaspVolume},
        {"orbital.CUB", numbered, io::Format::Cube},
        {"density.cube", chgcar, io::Format::Cube},
        {"CHGNET", numbered, io::Format::Xyz},  // not a VASP name: told by content
        {"density.dat", chgcar, io::Format::VaspVolume},
        {"fixed.dat", selective, io::Format::VaspVolume},
        {"orbital.txt", cube, io::Format::Cube},
        {"structure.dat", poscar, io::Format::Vasp},  // a POSCAR without a grid
        {"benzene.txt", numbered, io::Format::Xyz},   // atom lines of four numbers
        {"four.txt", four, io::Format::Unknown},
        {"two.txt", two_scales, io::Format::Unknown},
        {"none.dat", no_points, io::Format::Vasp},
        {"five.txt", five, io::Format::Unknown},
        {"six.txt", six_numbers, io::Format::Unknown},
        {"empty.txt", empty_axis, io::Format::Unknown},
        {"box40.txt", box_at_40, io::Format::LammpsData},
        {"box41.txt", box_at_41, io::Format::Unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(io::Detect(dir.write(c.name, c.text)), c.expected) << c.name;
    // the table's reader gives the structure alone, for the command line's reports
    const std::string info = Tesk(dir, "--info density.dat").out;
    EXPECT_NE(info.find("format: VASP volumetric\natoms: 3\nformula: OSi2"), std::string::npos) << info;
    const Outcome forced = Tesk(dir, "--format cube --info CHGCAR");
    EXPECT_EQ(forced.status, 1);
    EXPECT_NE(forced.err.find("CHGCAR line 3:"), std::string::npos) << forced.err;
}

TEST(VolumeFiles, OnlyChargeFilesAreDividedByTheCellVolume)
{
    // VASP writes charge as value x volume, the potential and the ELF as they are
    ScratchDir dir;
    const std::string text = SpinChgcar({48, 40, 36});
    const double volume = 8.0 * 7.0 * 9.0;
    struct Case {
        const char* name;
        double factor;
    };
    // the last through zlib, the others read whole into memory
    for (const Case& c :
         {Case{"CHGCAR", 1.0 / volume}, Case{"AECCAR2", 1.0 / volume}, Case{"PARCHG.0012", 1.0 / volume},
          Case{"LOCPOT", 1.0}, Case{"ELFCAR", 1.0}, Case{"ELFCAR.gz", 1.0}}) {
        const std::string name = c.name;
        if (name == "ELFCAR.gz")
            ASSERT_EQ(std::system(("gzip -kf " + dir.path("ELFCAR")).c_str()), 0);
        else
            std::ofstream(dir.path(c.name)) << text;
        io::Volume v;
        io::Refusal why;
        ASSERT_TRUE(io::ReadVolumeFile(dir.path(c.name), io::VolumeKind::Vasp, v, why)) << c.name << ": " << why.reason;
        const double written = 504.0 * (1.1 + std::sin(0.013)) * 2;  // the second value
        EXPECT_NEAR(v.grids[0].values[1], written * c.factor, 1e-6 * written * c.factor) << c.name;
    }
}

TEST(VolumeFiles, AGridOneValueShortIsRefusedAtItsEnd)
{
    ScratchDir dir;
    for (int cut : {0, 1}) {
        const std::string path = dir.path("CHGCAR" + std::to_string(cut));
        const std::string text = SpinChgcar({48, 40, 36}, cut);
        std::ofstream(path) << text;
        io::Volume v;
        io::Refusal why;
        EXPECT_EQ(io::ReadVolumeFile(path, io::VolumeKind::Vasp, v, why), cut == 0) << why.reason;
        if (cut) {
            // the grid stops at the first augmentation line
            const std::size_t line = 1 + std::count(text.begin(), text.begin() + text.find("augmentation"), '\n');
            EXPECT_EQ(why.line, line);
            EXPECT_TRUE(v.grids.empty());
        }
    }
}

// Each refusal at its limit: the file just inside it reads, the one just
// past it is refused at its line, for its reason.
TEST(VolumeFiles, RefusalsAtTheirLimits)
{
    ScratchDir dir;
    const std::string poscar = "w\n1\n5 0 0\n0 5 0\n0 0 5\nO\n1\nDirect\n0 0 0\n\n";
    auto values = [](std::size_t n, std::size_t per_line) {
        std::string text;
        for (std::size_t i = 0; i < n; ++i)
            text += i % per_line == per_line - 1 || i == n - 1 ? "1\n" : "1 ";
        return text;
    };
    // atom count and origin, three voxel lines, the atoms
    auto cube = [](const std::string& head, const std::string& axis, const std::string& atoms) {
        return "c\nc\n" + head + "\n" + axis + " 0.2 0 0\n1 0 0.2 0\n1 0 0 0.2\n" + atoms;
    };
    const std::string sizes = "the grid sizes are not three positive whole numbers the file can hold";
    const std::string voxel = "a voxel line is not a point count and a vector";
    const std::string head = "the atom count and origin line is not a whole number and three numbers";
    const std::string larger = "the grid is larger than the file can hold";
    const struct {
        const char* name;
        std::string text;
        std::size_t line;  // 0: the file reads
        std::string reason;
        std::size_t grids = 1;
    } cases[] = {
        // grid sizes: 1 to 65536 points an axis, no more points than the text holds numbers
        {"CHGCAR", poscar + "65536 1 1\n" + values(65536, 32), 0, ""},
        {"CHGCAR", poscar + "65537 1 1\n" + values(65537, 32), 11, sizes},
        {"CHGCAR", poscar + "0 1 1\n1\n", 11, sizes},
        {"CHGCAR", poscar + "2 2 1\n1 1 1 1", 0, ""},
        {"CHGCAR", poscar + "2 2 1\n1 1 1\n", 11, sizes},
        {"CHGCAR", "w\n1\n5 0 0\n5 0 0\n0 0 5\nO\n1\nDirect\n0 0 0\n\n1 1 1\n1\n", 3, "the cell has no volume"},
        // four grids at most: the fifth is another block
        {"CHGCAR", poscar + "1 1 1\n1\n1 1 1\n2\n1 1 1\n3\n1 1 1\n4\n1 1 1\n5\n", 0, "", 4},
        // a blank line, a value that is no finite number or a word ends the grid
        {"CHGCAR", poscar + "2 1 1\n1\n\n1\n", 13, "the grid holds fewer than 2 numbers, or a word among them"},
        {"CHGCAR", poscar + "2 1 1\n1\nnan\n", 13, "the grid holds fewer than 2 numbers, or a word among them"},
        {"CHGCAR", poscar + "2 1 1\n1\n1x\n", 13, "the grid holds fewer than 2 numbers, or a word among them"},
        // cube: 1e7 atoms at most, four numbers on the origin line, 1 to 65536 points an axis
        {"a.cube", cube("10000000 0 0 0", "1", "8 0 0 0 0\n1\n"), 3, "more atoms than the file has lines"},
        {"a.cube", cube("10000001 0 0 0", "1", "8 0 0 0 0\n1\n"), 3, head},
        {"a.cube", cube("1 0 0", "1", "8 0 0 0 0\n1\n"), 3, head},
        {"a.cube", cube("1 0 0 0", "65536", "8 0 0 0 0\n" + values(65536, 32)), 0, ""},
        {"a.cube", cube("1 0 0 0", "65537", "8 0 0 0 0\n" + values(65537, 32)), 4, voxel},
        {"a.cube", cube("1 0 0 0", "0", "8 0 0 0 0\n1\n"), 4, voxel},
        // values per point: 10000 at most, more are taken for one
        {"a.cube", cube("1 0 0 0 10000", "1", "8 0 0 0 0\n1\n"), 8, larger},
        {"a.cube", cube("1 0 0 0 10001", "1", "8 0 0 0 0\n1\n"), 0, ""},
        {"a.cube", cube("1 0 0 0", "2", "8 0 0 0 0\n1\n"), 8, larger},
        {"a.cube", cube("-1 0 0 0", "1", "8 0 0 0 0\n10001 1\n1\n"), 8, "no orbital count after the atoms"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.text.substr(c.text.size() > 60 ? c.text.size() - 60 : 0));
        const std::string path = dir.write(c.name, c.text);
        io::Volume v;
        io::Refusal why;
        ExpectRefusal(io::ReadVolumeFile(path, c.name[0] == 'C' ? io::VolumeKind::Vasp : io::VolumeKind::Cube, v, why),
                      why, c.line, c.reason);
        if (c.line == 0 && v.grids.size() == c.grids)
            EXPECT_EQ(v.grids.back().name, c.grids == 4 ? "m_z" : c.name[0] == 'C' ? "total" : "values");
        else
            EXPECT_NE(c.line, 0u) << v.grids.size() << " grids";
    }
    // a ghost atom (number 0) of a cube is drawn as the dummy element
    io::Volume v;
    io::Refusal why;
    ASSERT_TRUE(io::ReadVolumeFile(dir.write("ghost.cube", cube("1 0 0 0", "1", "0 0 0 0 0\n1\n")),
                                   io::VolumeKind::Cube, v, why));
    EXPECT_EQ(v.elements, std::vector<unsigned>{DUMMY_ATOM_INDEX});
}

}  // namespace

namespace {

TEST(VolumeFiles, CommandLineWritesTheSurfaceInTheFrameOfTheAtoms)
{
    ScratchDir dir;
    glm::dmat3 cell(0.0);
    cell[0] = {9.0, 0.0, 0.0};
    cell[1] = {2.0, 8.0, 0.0};
    cell[2] = {1.0, -1.5, 10.0};
    const Blob b{cell, {36, 32, 40}, {0.3, 0.6, 0.45}, 1.0, 0.25};
    const std::string in = dir.path("CHGCAR_blob");
    std::ofstream(in) << BlobChgcar(b);
    ASSERT_EQ(Tesk(dir, "--iso 0.25 --convert " + in + " " + dir.path("s.obj")).status, 0);
    ASSERT_EQ(Tesk(dir, "--convert " + in + " " + dir.path("s.xyz")).status, 0);
    // the atom, as the XYZ file has it
    std::istringstream xyz(Slurp(dir.path("s.xyz")));
    std::string count, comment, element;
    std::getline(xyz, count);
    std::getline(xyz, comment);
    glm::dvec3 atom;
    xyz >> element >> atom.x >> atom.y >> atom.z;
    EXPECT_EQ(element, "Fe");
    // the surface's vertices, all at the sphere's radius from the atom
    std::istringstream obj(Slurp(dir.path("s.obj")));
    std::string line;
    std::size_t v = 0, vn = 0, f = 0, off = 0;
    const double r = b.sigma * std::sqrt(2.0 * std::log(1.0 / b.level));
    while (std::getline(obj, line)) {
        std::istringstream words(line);
        std::string tag;
        words >> tag;
        if (tag == "v") {
            glm::dvec3 p;
            words >> p.x >> p.y >> p.z;
            off += std::fabs(glm::length(p - atom) - r) > 0.03 * r;
            ++v;
        }
        vn += tag == "vn";
        f += tag == "f";
    }
    EXPECT_GT(f, 500u);
    EXPECT_EQ(v, vn);
    EXPECT_EQ(off, 0u);
}

}  // namespace
