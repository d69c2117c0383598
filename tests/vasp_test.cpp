// CVasp and its POTCAR look-up on real files: the layouts, species from the
// POTCAR, the title or the species line, Direct and Cartesian positions with
// the scale factor, the writer, deletion, and malformed files refused.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "io/vasp.h"
#include "core/elements.h"
#include "test_support.h"

namespace {

const std::string kData = std::string(TESK_TEST_DATA) + "/vasp";

// The SiO2 cell of tests/data/vasp/sio2-* with the given species, counts and mode lines.
std::string SiO2(const std::string& species_line, const std::string& counts, const std::string& mode_lines,
                 const std::string& title = "SiO2")
{
    return title + "\n1.0\n   5.0   0.0   0.0\n   0.0   6.0   0.0\n   0.0   0.0   7.0\n" + species_line + counts +
           "\n" + mode_lines + "0.0 0.0 0.0\n0.25 0.5 0.0\n0.5 0.0 0.75\n";
}

class Vasp : public ::testing::Test {
protected:
    void SetUp() override { mkdir(Folder().c_str(), 0755); }

    std::string Folder() const { return dir + "/case"; }
    // writes `text` as case/POSCAR and returns its path
    std::string Poscar(const std::string& text) { return scratch.write("case/POSCAR", text); }
    bool Read(const std::string& folder, const std::string& path) { return v.ReadFile(folder, path, xyz, idx); }
    bool ReadText(const std::string& text) { return Read(Folder(), Poscar(text)); }
    bool ReadData(const std::string& name)
    {
        const std::string path = kData + "/" + name;
        return Read(path.substr(0, path.rfind('/')), path);
    }

    ScratchDir scratch{"tesk-vasp-test"};
    std::string dir = scratch.root;
    CVasp v;
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
};

// The same SiO2 cell in every layout and in variants met in real files;
// each is read, saved and read back the same.
TEST_F(Vasp, SiO2InEveryLayout)
{
    std::string crlf;
    for (char c : SiO2("Si O\n", "1 2", "Direct\n"))
        crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    const struct {
        std::string data, text;  // a data file, or the text of case/POSCAR
        unsigned header_lines;
        bool extended, direct = true, dynamics = false;
        double edge = 5;  // the cell is diag(edge, 1.2 edge, 1.4 edge)
    } cases[] = {
        {"sio2-extended/POSCAR", "", 9, true},
        {"sio2-plain/POSCAR", "", 8, false},                     // species from the POTCAR beside it
        {"sio2-title/POSCAR", "", 8, false},                     // species from the title
        {"", SiO2("", "1 2", "Direct\n", " si\tO "), 8, false},  // any case, blanks and tabs
        {"", crlf, 9, true},
        {"variants/fortran-exponents/POSCAR", "", 9, true},              // 7.5D-01 in lattice, scale and positions
        {"variants/volume/POSCAR", "", 9, true, true, false, 10},        // -1680: scaled to that volume
        {"variants/three-scales/POSCAR", "", 9, true, false},            // per axis, Cartesian positions alike
        {"variants/indented-mode/POSCAR", "", 9, true},                  // "   Direct"
        {"variants/labels/POSCAR", "", 8, false},                        // no POTCAR: "0.0 0.0 0.0 Si"
        {"variants/labels-selective/POSCAR", "", 9, false, true, true},  // after the flags; indented lines
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data + c.text.substr(0, 8));
        v = CVasp();
        ASSERT_TRUE(c.data.empty() ? ReadText(c.text) : ReadData(c.data));
        EXPECT_TRUE(v.header_lines == c.header_lines && v.is_extended == c.extended && v.is_direct == c.direct &&
                    v.is_dynamics == c.dynamics);
        EXPECT_EQ(v.cell_xyz, glm::dmat3(c.edge, 0, 0, 0, c.edge * 1.2, 0, 0, 0, c.edge * 1.4));
        if (c.edge == 5) {
            EXPECT_TRUE(idx == (std::vector<unsigned>{13, 7, 7}) && v.is_periodic &&
                        v.GetMaxCoordinate() == glm::dvec3(2.5, 3, 5.25) &&
                        xyz == (std::vector<glm::vec3>{{0, 0, 0}, {1.25f, 3.0f, 0.0f}, {2.5f, 0.0f, 5.25f}}));
        }
        // saved extended: in a folder without POTCAR the species line carries them
        const std::vector<glm::vec3> xyz0 = xyz;
        ASSERT_TRUE(v.SaveFile(dir, dir + "/CONTCAR", idx));
        ASSERT_TRUE(Read(dir, dir + "/CONTCAR"));
        EXPECT_EQ(xyz, xyz0);
    }
}

TEST_F(Vasp, PlainLayoutNeedsFittingSpecies)
{
    // labels, title species or a POTCAR that do not name one element per species leave the file refused
    for (const std::string& text :
         std::vector<std::string>{"x\n1.0\n5 0 0\n0 6 0\n0 0 7\n1 2\nDirect\n0 0 0 Si\n0 0 .1 O\n0 0 .2 Si\n",
                                  "x\n1.0\n5 0 0\n0 6 0\n0 0 7\n1 2\nDirect\n0 0 0 Si\n0 0 .1 O\n0 0 .2 Xx\n",
                                  SiO2("", "1 2", "Direct\n", "plain SiO2 structure"),
                                  SiO2("", "1 2", "Direct\n", "Si O Ti"), SiO2("", "1 2", "Direct\n", "Si O2")})
        EXPECT_FALSE(ReadText(text)) << text;
    const std::string poscar = Poscar(Slurp(kData + "/sio2-plain/POSCAR"));
    for (const char* potcar : {"VRHFIN =Si: s2p2\nVRHFIN O s2p4\n",                      // without "=": skipped
                               "VRHFIN =Si: s2p2\nVRHFIN =O: s2p4\nVRHFIN =H: s1\n"}) {  // three species for two
        scratch.write("case/POTCAR", potcar);
        EXPECT_FALSE(Read(Folder(), poscar)) << potcar;
        EXPECT_FALSE(ReadText(SiO2("", "1 2", "Direct\n", "Si O")));  // the title does not overrule it
    }
    // POTCAR lines of any length, to the end of the file
    const std::string long_line(100000, 'x');
    scratch.write("case/POTCAR", long_line + "\n   VRHFIN =Fe_pv: 3p4s3d\n   vrhfin =Si: s2p2\n" + long_line +
                                     "VRHFIN = O: s2p4\nTITEL = x VRHFIN=a=Cl:\n" + long_line);
    EXPECT_TRUE(v.ReadPotcar(Folder()));
    EXPECT_EQ(v.v_table_index, (std::vector<uint32_t>{25, 7, 16}));
}

// Each refusal at its limit: the file just inside it reads, the one just
// past it is refused at the line the reader stopped at.
TEST_F(Vasp, RefusalsAtTheirLimits)
{
    const std::string header =
        "the lines up to here are no POSCAR header (title, scale, three lattice vectors, species "
        "and counts, Direct or Cartesian)";
    auto poscar = [](const std::string& title, const std::string& scale, const std::string& lattice,
                     const std::string& counts, const std::string& rest) {
        return title + "\n" + scale + "\n" + lattice + "0 5 0\n0 0 5\nSi\n" + counts + "\n" + rest;
    };
    const std::string title(255, 't');
    const struct {
        std::string text;
        std::size_t line;  // 0: the file reads
        std::string reason;
    } cases[] = {
        // header lines of 255 characters and ten header lines at most
        {poscar(title, "1", "5 0 0\n", "1", "Direct\n0 0 0\n"), 0, ""},
        {poscar(title + "t", "1", "5 0 0\n", "1", "Direct\n0 0 0\n"), 1, header},
        {poscar("t", "1", "5 0 0\n", "1", "Selective dynamics\nDirect\n0 0 0\n"), 0, ""},
        {poscar("t", "1", "5 0 0\n", "1", "Selective dynamics\nDirect\nnote\n0 0 0\n"), 11, header},
        // as many atoms as lines of "0 0 0" follow, not one more
        {poscar("t", "1", "5 0 0\n", "3", "Direct\n0 0 0\n0 0 0\n0 0 0"), 0, ""},
        {poscar("t", "1", "5 0 0\n", "4", "Direct\n0 0 0\n0 0 0\n0 0 0"), 9, header},
        {poscar("t", "1", "5 0 0\n", "18446744073709551617", "Direct\n0 0 0\n"), 9, header},  // 2^64 + 1 is no 1
        // three scale factors all positive; a cell beyond double; positions beyond float
        {poscar("t", "1 -1 1", "5 0 0\n", "1", "Direct\n0 0 0\n"), 9, header},
        {poscar("t", "1e300", "1e10 0 0\n", "1", "Direct\n0 0 0\n"), 9, header},
        {poscar("t", "1e30", "1e8 0 0\n", "1", "Cartesian\n3e8 0 0\n"), 0, ""},
        {poscar("t", "1e30", "1e8 0 0\n", "1", "Cartesian\n4e8 0 0\n"), 9, "\"4e8 0 0\" holds a number out of range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        v = CVasp();
        ExpectRefusal(ReadText(c.text), v.refusal, c.line, c.reason);
    }
}

TEST_F(Vasp, SelectiveDynamicsAndModeLines)
{
    ASSERT_TRUE(ReadData("rutile-selective.vasp"));
    EXPECT_TRUE(v.header_lines == 10u && v.is_dynamics && v.is_direct && v.v_dynamics.size() == 6u);
    EXPECT_EQ(idx, (std::vector<unsigned>{21, 21, 7, 7, 7, 7}));

    // plain layout, selective line in lower case; lines without flags
    ASSERT_TRUE(ReadText(SiO2("", "1 2", "selective dynamics\nDirect\n", "Si O")));
    EXPECT_TRUE(v.header_lines == 9u && v.is_dynamics);
    EXPECT_EQ(std::string(v.v_dynamics[0].d, 3), "TTT");  // missing flags are T
    // text of an earlier file is never used: a shorter header clears slots 8 and 9
    ASSERT_TRUE(ReadText(SiO2("", "1 2", "Direct\n", "Si O")));
    EXPECT_TRUE(v.header_info[8][0] == 0 && v.v_dynamics.empty());

    for (const char* mode : {"direct", "dummy", "Cartesian", "Kartesian", "c"}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(ReadText(SiO2("Si O\n", "1 2", std::string(mode) + "\n")));
        const bool direct = std::string("CcKk").find(mode[0]) == std::string::npos;
        EXPECT_EQ(xyz[1], direct ? glm::vec3(1.25f, 3.0f, 0.0f) : glm::vec3(0.25f, 0.5f, 0.0f));
    }
}

// Saved and read back: scaled Cartesian positions as VASP reads them (inside
// the scaled cell, not scaled twice), flags, -100 filling a whole field, and
// a count of zero written as read.
TEST_F(Vasp, WriterRoundTrips)
{
    const std::string out = dir + "/CONTCAR";
    ASSERT_TRUE(ReadData("nacl-cartesian-scaled.vasp"));
    EXPECT_EQ(v.cell_xyz[0], glm::dvec3(0.0, 2.82, 2.82));
    EXPECT_EQ(xyz, (std::vector<glm::vec3>{{2.0f, 0.0f, 0.0f}, {2.82f, 2.82f, 2.82f}}));
    for (const std::string& text :
         {Slurp(kData + "/nacl-cartesian-scaled.vasp"), Slurp(kData + "/rutile-selective.vasp"),
          std::string("x\n1.0\n200 0 0\n0 200 0\n0 0 200\nC\n1\nCartesian\n-100 0.5 -100\n")}) {
        ASSERT_TRUE(ReadText(text));
        const CVasp before = v;
        const std::vector<glm::vec3> xyz0 = xyz;
        ASSERT_TRUE(v.SaveFile(dir, out, idx) && Read(dir, out)) << text;
        EXPECT_TRUE(xyz == xyz0 && v.v_fract_xyz == before.v_fract_xyz) << text;
    }
    EXPECT_EQ(xyz[0], glm::vec3(-100.0f, 0.5f, -100.0f));
    ASSERT_TRUE(ReadData("rutile-selective.vasp") && v.SaveFile(dir, out, idx));
    EXPECT_NE(Slurp(out).find("            0.195            0.805              0.5 T T F\n"), std::string::npos);
    ASSERT_TRUE(ReadText(SiO2("Si Ti O\n", "2 0 1", "Direct\n")) && idx == (std::vector<unsigned>{13, 13, 7}));
    ASSERT_TRUE(v.SaveFile(dir, out, idx));
    EXPECT_NE(Slurp(out).find("\nSi Ti O\n2 0 1\nDirect coordinates\n"), std::string::npos);
}

TEST_F(Vasp, EditedSpeciesIsAppendedAndDeletionsRebuildTheCounts)
{
    ASSERT_TRUE(ReadData("sio2-extended/POSCAR"));
    idx[1] = 6;  // the first oxygen becomes nitrogen
    ASSERT_TRUE(v.SaveFile(dir, dir + "/out", idx));
    ASSERT_TRUE(CVasp().ReadFile(dir, dir + "/out", xyz, idx));
    EXPECT_EQ(idx, (std::vector<unsigned>{13, 7, 6}));  // grouped by species
    EXPECT_EQ(xyz[2], glm::vec3(1.25f, 3.0f, 0.0f));

    // the model deletes atom 0 (the silicon): silicon stays with count 0
    v.DeleteAtom(0);
    v.DeleteAtom(7);  // out of range: ignored
    ASSERT_TRUE(v.SaveFile(dir, dir + "/out", {6, 7}));
    ASSERT_TRUE(Read(dir, dir + "/out"));
    EXPECT_EQ(idx, (std::vector<unsigned>{7, 6}));

    EXPECT_FALSE(v.SaveFile(dir, Folder(), {6, 7}));                  // a folder is not replaced
    EXPECT_FALSE(v.SaveFile(dir, dir + "/out", {6, species_count}));  // no such element
}

}  // namespace
