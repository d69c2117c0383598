// CPdb on real files: token variants, the standard fixed columns (chains,
// TER, models, elements and atom names), CRYST1 cells, header and writer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "io/pdb.h"
#include "core/elements.h"
#include "test_support.h"

namespace {

const std::string kData = std::string(TESK_TEST_DATA) + "/pdb";

class Pdb : public ::testing::Test {
protected:
    bool ReadPath(const std::string& folder, const std::string& path)
    {
        xyz.clear();
        idx.clear();
        return p.ReadFile(folder, path, xyz, idx);
    }
    bool Read(const std::string& text) { return ReadPath(dir, scratch.write("case.pdb", text)); }
    bool ReadData(const std::string& name) { return ReadPath(kData, kData + "/" + name); }
    // saves p and reads the file back into `back`
    void SaveAndReadBack(const std::vector<unsigned>& elements)
    {
        ASSERT_TRUE(p.SaveFile(dir, dir + "/out.pdb", elements));
        ASSERT_TRUE(back.ReadFile(dir, dir + "/out.pdb", xyz2, idx2));
    }

    ScratchDir scratch{"tesk-pdb-test"};
    std::string dir = scratch.root;
    CPdb p, back;
    std::vector<glm::vec3> xyz, xyz2;
    std::vector<unsigned> idx, idx2;
};

TEST_F(Pdb, TokenVariants)
{
    const struct {
        std::string text;
        unsigned variant;
        std::vector<unsigned> idx;
        std::vector<glm::vec3> xyz;
    } cases[] = {
        {"ATOM 1 N ALA 1 1.5 2.0 -3.5 1.00 0.00 N\n", 6, {6}, {{1.5f, 2.0f, -3.5f}}},
        {"ATOM 1 C 1 0.5 0.5 0.5\n", 2, {5}, {glm::vec3(0.5f)}},
        {"ATOM 1 C 1 0.5 0.5 0.5 1.0\n", 3, {5}, {glm::vec3(0.5f)}},
        {"ATOM 1 O 7 0.5 0.25 2.5 1.0 -0.8\n", 4, {7}, {{0.5f, 0.25f, 2.5f}}},
        {"ATOM 1 O 7 9.0 8.0 7.0 0.5 0.25 2.5\n", 5, {7}, {{7.0f, 0.5f, 0.25f}}},  // tokens 7 to 9
        // variant 1, also when the first coordinate has an integer part
        {"ATOM 1 C 1.5 2.5 3.5\nHETATM 2 Cl 1 2 3\n", 1, {5, 16}, {{1.5f, 2.5f, 3.5f}, {1, 2, 3}}},
        // a chain identifier between residue name and number
        {Slurp(kData + "/variants/chain-tokens.pdb"), 8, {6, 5}, {{1.5f, 2.0f, -3.5f}, {2.5f, 2.0f, -3.5f}}},
        // the element token is read as a symbol: an alpha carbon named CA is calcium
        {"ATOM 1 CA GLY 1 1 2 3 1.00 0.00\nATOM 2 HG21 VAL 1 1 2 3 1.00 0.00\n", 6, {19, 79}, {{1, 2, 3}, {1, 2, 3}}},
        // the first run of atom records only: TER or a blank line ends it; the last line needs no line feed
        {"REMARK x\nATOM 1 N ALA 1 1 1 1 1.00 0.00\nHETATM 2 O HOH 2 2 2 2 1.00 0.00\nTER\nATOM 3 C ALA 1 3 3 3 1.00 "
         "0.00\n",
         6,
         {6, 7},
         {{1, 1, 1}, {2, 2, 2}}},
        {"ATOM 1 C 1 2 3\n\nATOM 2 C 4 5 6\n", 1, {5}, {{1, 2, 3}}},
        {"ATOM 1 C 1 2 3\nATOM 2 O 4 5 6", 1, {5, 7}, {{1, 2, 3}, {4, 5, 6}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text));
        EXPECT_EQ(p.pdb_format, c.variant);
        EXPECT_TRUE(idx == c.idx && xyz == c.xyz);
    }
}

TEST_F(Pdb, Cryst1Cells)
{
    // triclinic: lengths and the three angles come back from the vectors
    ASSERT_TRUE(Read("CRYST1    5.000    6.000    7.000  80.00 100.00 110.00 P 1           1\nATOM 1 C 1 2 3\n"));
    ASSERT_TRUE(p.is_periodic);
    const glm::dvec3 va = p.cell_xyz[0], vb = p.cell_xyz[1], vc = p.cell_xyz[2];
    auto angle = [](glm::dvec3 u, glm::dvec3 v) {
        return std::acos(glm::dot(u, v) / glm::length(u) / glm::length(v)) * 180.0 / M_PI;
    };
    EXPECT_NEAR(glm::length(glm::dvec3(glm::length(va), glm::length(vb), glm::length(vc)) - glm::dvec3(5, 6, 7)), 0,
                1e-5);
    EXPECT_NEAR(glm::length(glm::dvec3(angle(vb, vc), angle(va, vc), angle(va, vb)) - glm::dvec3(80, 100, 110)), 0,
                1e-4);
    EXPECT_TRUE(va.y == 0.0 && va.z == 0.0 && vb.z == 0.0 && vc.z > 0.0);
    // right angles give exact zeros, not cos(pi / 2) = 6e-17 or float's -4.4e-7
    ASSERT_TRUE(Read("CRYST1   10.000   11.000   12.000  90.00  90.00  90.00 P 1           1\nATOM 1 C 1 2 3\n"));
    EXPECT_EQ(p.cell_xyz, glm::dmat3(10, 0, 0, 0, 11, 0, 0, 0, 12));

    // no cell: a zero length, the placeholder of structures without a
    // crystal, angles that close no cell, too few numbers; a CRYST1 after the first atom
    for (const char* text :
         {"CRYST1 0 10 10 90 90 90\nATOM 1 C 1 2 3\n", "CRYST1 1 1 1 90 90 90\nATOM 1 C 1 2 3\n",
          "CRYST1 10 10 10 10 10 170\nATOM 1 C 1 2 3\n", "CRYST1 nan 10 10 90 90 90\nATOM 1 C 1 2 3\n",
          "ATOM 1 C 1 2 3\nCRYST1 10 10 10 90 90 90\n"})
        EXPECT_TRUE(Read(text) && !p.is_periodic) << text;
}

TEST_F(Pdb, StandardEntriesByColumns)
{
    // elements from columns 77-78, or from the atom name where they are blank or say D
    const std::vector<unsigned> protein = {6, 5, 5, 7, 5, 6, 5, 5, 7, 6, 5, 5, 7, 5, 5, 0, 0, 15, 7, 7};
    const std::pair<const char*, std::vector<unsigned>> cases[] = {
        {"protein_two_chains.pdb", protein},                      // 9 + 9 atoms of two chains with TER, 2 waters
        {"hetero_names.pdb", {25, 16, 5, 19, 10}},                // FE, CL1, C1, CA, NA
        {"variants/hydrogen-names.pdb", {5, 0, 0, 0, 0, 0, 79}},  // HH31, HD21, HG12, 1HB, 2HG1; HG alone mercury
        {"variants/mixed-case.pdb", {77, 25, 16, 5}},             // Pt, Fe, Cl; CA of an amino acid is carbon
        {"variants/deuterium.pdb", {6, 0, 0, 0, 0}},              // D in 77-78, names D, D1, D2
        {"variants/more-decimals.pdb", {6, 5}},                   // a first record with four decimals
        {"nmr_two_models.pdb", {6, 5, 5, 0}},                     // only the first model
        {"protein_no_elements.pdb", protein}};
    for (const auto& [file, expected] : cases) {
        ASSERT_TRUE(ReadData(file)) << file;
        EXPECT_TRUE(p.pdb_format == CPdb::PDB_FORMAT_COLUMNS && idx == expected) << file;
    }
    EXPECT_EQ(xyz[1], glm::vec3(11.639f, 6.071f, -5.147f));  // the alpha carbon of chain A
    EXPECT_EQ(xyz[19], glm::vec3(-5.512f, 3.206f, 11.070f));
    // a second MODEL without ENDMDL ends the first one as well
    std::string text = Slurp(kData + "/nmr_two_models.pdb");
    text.erase(text.find("ENDMDL\n"), 7);
    ASSERT_TRUE(Read(text));
    EXPECT_EQ(p.GetTotalAtoms(), 4u);

    // element columns win over the name; left-aligned, lower case, trailing blanks cut
    const std::string line = "HETATM    1  CA  CA  A   1       1.000   2.000   3.000  1.00 20.00          ";
    ASSERT_TRUE(Read(line + "CA\n" + line + "ca\n" + line + "N\n" + line + "Q9\n" + line + " D\n"));
    EXPECT_EQ(idx, (std::vector<unsigned>{19, 19, 6, 5, 0}));  // D: deuterium, whatever the name
}

TEST_F(Pdb, StandardLayoutDetails)
{
    // five-digit serials run into HETATM; the run carries on across them
    std::string text;
    for (int serial : {99998, 99999, 100000 % 100000, 12345}) {
        char line[100];
        std::snprintf(line, sizeof line, "HETATM%5d  O   HOH W%4d    %8.3f%8.3f%8.3f  1.00  0.00           O\n", serial,
                      serial % 10000, 1.0, 2.0, serial / 1000.0);
        text += line;
    }
    ASSERT_TRUE(Read(text));
    EXPECT_EQ(xyz[3], glm::vec3(1.0f, 2.0f, 12.345f));
}

// Each refusal at its limit: the file just inside it reads, the one just
// past it is refused at its line, for its reason.
TEST_F(Pdb, RefusalsAtTheirLimits)
{
    const std::string full = "ATOM      1  N   ALA A   1      11.104   6.134  -6.504  0.50 20.00           N  \n";
    std::string wide = full;
    wide.replace(30, 8, "  3.5e38");
    const struct {
        std::string text;
        std::size_t line;  // 0: the file reads
        std::string reason;
    } cases[] = {
        // a record of 54 columns is read by them; a first one of 53 by its words
        {full.substr(0, 54) + "\n" + full, 0, ""},
        {full + full.substr(0, 53) + "\n", 2, "\"11.104   6.134  -6.50\" in columns 31-54 is not three coordinates"},
        {full.substr(0, 53) + "\n", 0, ""},
        {full + "ATOM  \n", 2, "\"\" in columns 31-54 is not three coordinates"},
        // coordinates within float's range
        {"ATOM 1 C 3.4e38 0 0\n", 0, ""},
        {"ATOM 1 C 3.5e38 0 0\n", 1, "\"ATOM 1 C 3.5e38 0 0\" does not give three coordinates"},
        {full + wide, 2, "\"3.5e38   6.134  -6.504\" in columns 31-54 is not three coordinates"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        p = CPdb();
        ExpectRefusal(Read(c.text), p.refusal, c.line, c.reason);
    }
    // the first record cut inside its occupancy: the field is not read past the line
    ASSERT_TRUE(Read(full.substr(0, 58) + "\n" + full) && p.v_atom_info.size() == 2u);
    EXPECT_EQ(p.v_atom_info[0].occupancy, 1.0f);
    EXPECT_EQ(p.v_atom_info[1].occupancy, 0.5f);
}

// Header lines of any length are written back; CR LF lines end in LF like the rest.
TEST_F(Pdb, HeaderLinesAreKept)
{
    const std::string long_token(200000, 'R');
    ASSERT_TRUE(Read("HEADER    KEPT\r\n" + long_token + "\n   \nCRYST1 10 10 10 90 90 90\r\nATOM 1 " + long_token +
                     " 1 2 3\n"));
    ASSERT_TRUE(p.SaveFile(dir, dir + "/out.pdb", idx));
    EXPECT_EQ(Slurp(dir + "/out.pdb").substr(0, long_token.size() + 16), "HEADER    KEPT\n" + long_token + "\n");
}

TEST_F(Pdb, WriterRoundTrips)
{
    ASSERT_TRUE(ReadData("protein_two_chains.pdb"));
    idx[0] = 16;   // an edit: chlorine
    idx[3] = 109;  // the dummy
    p.DeleteAtom(19);
    idx.pop_back();
    xyz.pop_back();
    SaveAndReadBack(idx);
    EXPECT_TRUE(idx2 == idx && xyz2 == xyz && back.is_periodic);
    EXPECT_NEAR(glm::length(back.cell_xyz[2] - p.cell_xyz[2]), 0.0, 1e-3);
    // names, residues and chains of the atoms not edited come back
    EXPECT_NE(Slurp(dir + "/out.pdb").find("ATOM      2  CA  ALA A   1      11.639   6.071  -5.147  1.00"),
              std::string::npos);

    // wide values keep their 8 columns with fewer decimals; wider ones are not saved
    ASSERT_TRUE(
        Read("ATOM 1 Fe 1 1.5 1000 -1000\nATOM 2 He 1 -100 22222.5 -12345.25\nATOM 3 C 1 99999.5 -99999.5 0.0004\n"));
    SaveAndReadBack(idx);
    EXPECT_EQ(idx2, (std::vector<unsigned>{25, 1, 5}));
    EXPECT_EQ(xyz2, (std::vector<glm::vec3>{
                        {1.5f, 1000.0f, -1000.0f}, {-100.0f, 22222.5f, -12345.2f}, {99999.5f, -99999.5f, 0.0f}}));
    const std::string kept = Slurp(dir + "/out.pdb");
    ASSERT_TRUE(Read("ATOM 1 C 1 1e7 0 0\n"));
    EXPECT_FALSE(p.SaveFile(dir, dir + "/out.pdb", idx));
    EXPECT_EQ(Slurp(dir + "/out.pdb"), kept);
    // control characters of a damaged name or residue are written as blanks
    std::string damaged = "ATOM      1  N   ALA A   1      11.104   6.134  -6.504  1.00 20.00           N\n";
    damaged[12] = '\t';
    damaged[19] = '\x01';
    ASSERT_TRUE(Read(damaged));
    EXPECT_FALSE(p.SaveFile(dir, dir + "/out.pdb", {species_count}));  // no such element
    SaveAndReadBack(idx);
    EXPECT_TRUE(idx2 == idx && xyz2 == xyz);
    EXPECT_EQ(Slurp(dir + "/out.pdb").find_first_of("\t\x01"), std::string::npos);

    // more atoms than five-digit serial numbers hold
    std::string many;
    for (unsigned i = 0; i < 100002u; ++i)
        many += "ATOM 1 " + std::string(i % 3 ? "H" : "O") + " 1 " + std::to_string(i % 1000) + ".5 " +
                std::to_string(i % 7) + " .25\n";
    ASSERT_TRUE(Read(many));
    SaveAndReadBack(idx);
    EXPECT_EQ(back.GetTotalAtoms(), 100002u);
    EXPECT_TRUE(idx2 == idx && xyz2 == xyz);
}

// Another program reads a saved file as Tesk does: elements of two letters,
// wide and negative coordinates, the cell.
TEST_F(Pdb, SavedFileReadsTheSameInGemmi)
{
    if (!HasPython("gemmi"))
        GTEST_SKIP() << "python3-gemmi is not installed";
    ASSERT_TRUE(
        Read("CRYST1 40 50 60 90 100 120\nATOM 1 Fe 1 1.5 -2.25 10\nATOM 2 Cl 1 -1234.5 9999.125 -999.75\n"
             "ATOM 3 Ca 1 0 0 0\n"));
    SaveAndReadBack(idx);
    const std::string script =
        "import gemmi, sys; st = gemmi.read_structure(sys.argv[1]); c = st.cell; "
        "print('%.2f %.2f %.2f %.1f %.1f %.1f' % (c.a, c.b, c.c, c.alpha, c.beta, c.gamma)); "
        "[print(a.atom.element.name, '%.3f %.3f %.3f' % tuple(a.atom.pos.tolist())) for a in st[0].all()]";
    const Outcome seen = Python("-c \"" + script + "\" " + dir + "/out.pdb");
    EXPECT_EQ(seen.status, 0);
    EXPECT_EQ(seen.out,
              "40.00 50.00 60.00 90.0 100.0 120.0\nFe 1.500 -2.250 10.000\n"
              "Cl -1234.500 9999.125 -999.750\nCa 0.000 0.000 0.000\n");
}

// A cell CRYST1 cannot hold is refused with a reason, not written as nan or
// inf; the generated HEADER names the program and its version, no address.
TEST_F(Pdb, CellsCryst1CannotHoldAreRefused)
{
    const std::string dir = scratch.root;
    // a cell whose angles, at the record's two decimals, close no cell: it
    // would come back without one
    const double nearly_flat_parameters[6] = {41.992, 95.044, 69.746, 18.42, 96.02, 114.437};
    glm::dmat3 nearly_flat;
    ASSERT_TRUE(CellFromParameters(nearly_flat_parameters, nearly_flat));
    // flat, endless, one A longer than the longest that fits, the 1 A cube
    // that reads as "no cell"
    for (const glm::dmat3& cell :
         {glm::dmat3(5, 0, 0, 5, 0, 0, 0, 0, 5), glm::dmat3(1e300), glm::dmat3(1e8), nearly_flat, glm::dmat3(1.0)}) {
        CPdb writer;
        writer.v_carte_xyz = {glm::vec3(0.0f)};
        writer.is_periodic = true;
        writer.cell_xyz = cell;
        std::string out, why;
        EXPECT_FALSE(writer.AppendHeader(out, why));
        EXPECT_NE(why.find("CRYST1"), std::string::npos);
        writer.cell_xyz =
            glm::dmat3(99999999.0, 0, 0, 0, 99999.5, 0, 0, 0, 5);  // the longest that fits, fewer decimals
        ASSERT_TRUE(writer.AppendHeader(out, why));
        EXPECT_EQ(
            out,
            "HEADER    Tesk alpha 18.11\nCRYST1 99999999 99999.50    5.000  90.00  90.00  90.00 P 1           1\n");
    }
}

}  // namespace
