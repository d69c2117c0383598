// CPdb on real files: the token variants and their detection order, the
// standard fixed-column layout of PDB entries (chains, TER, models, element
// columns and atom names), CRYST1 cells, the header kept or generated, the
// writer, deletion, and every malformed file refused with the previous
// structure intact.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cpdb.h"

namespace {

const std::string kData = std::string(TESK_TEST_DATA) + "/pdb";

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class PdbFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/tesk-pdb-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string File(const std::string& text, const std::string& name = "case.pdb") {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // reads `text` into pdb; false when refused
    bool Read(CPdb& pdb, const std::string& text) {
        xyz.clear();
        idx.clear();
        return pdb.ReadFile(dir, File(text), xyz, idx);
    }

    std::string dir;
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
};

TEST_F(PdbFiles, TokenVariants) {
    CPdb p;
    ASSERT_TRUE(Read(p, "ATOM 1 N ALA 1 1.5 2.0 -3.5 1.00 0.00 N\n"));
    EXPECT_EQ(p.pdb_format, 6u);
    EXPECT_EQ(xyz, (std::vector<glm::vec3>{{1.5f, 2.0f, -3.5f}}));
    EXPECT_EQ(idx, (std::vector<unsigned>{6}));

    ASSERT_TRUE(Read(p, "ATOM 1 C 1 0.5 0.5 0.5\n"));
    EXPECT_EQ(p.pdb_format, 2u);
    EXPECT_EQ(xyz[0], glm::vec3(0.5f));
    ASSERT_TRUE(Read(p, "ATOM 1 C 1 0.5 0.5 0.5 1.0\n"));
    EXPECT_EQ(p.pdb_format, 3u);
    EXPECT_EQ(xyz[0], glm::vec3(0.5f));
    ASSERT_TRUE(Read(p, "ATOM 1 O 7 0.5 0.25 2.5 1.0 -0.8\n"));
    EXPECT_EQ(p.pdb_format, 4u);
    EXPECT_TRUE(p.is_charges);
    EXPECT_EQ(xyz[0], glm::vec3(0.5f, 0.25f, 2.5f));
    ASSERT_TRUE(Read(p, "ATOM 1 O 7 9.0 8.0 7.0 0.5 0.25 2.5\n"));
    EXPECT_EQ(p.pdb_format, 5u);
    EXPECT_FALSE(p.is_charges);
    EXPECT_EQ(xyz[0], glm::vec3(7.0f, 0.5f, 0.25f));  // tokens 7 to 9

    // variant 1, also when the first coordinate has an integer part
    ASSERT_TRUE(Read(p, "ATOM 1 C 1.5 2.5 3.5\nHETATM 2 Cl 1 2 3\n"));
    EXPECT_EQ(p.pdb_format, 1u);
    EXPECT_EQ(xyz, (std::vector<glm::vec3>{{1.5f, 2.5f, 3.5f}, {1.0f, 2.0f, 3.0f}}));
    EXPECT_EQ(idx, (std::vector<unsigned>{5, 16}));
    ASSERT_TRUE(Read(p, "ATOM 1 C 1.5 2.5 3.5 1.0\n"));
    EXPECT_EQ(p.pdb_format, 1u);
    EXPECT_EQ(xyz[0], glm::vec3(1.5f, 2.5f, 3.5f));

    // "%i" numbers: hexadecimal and octal serials
    ASSERT_TRUE(Read(p, "ATOM 0x1F Si 010 1 2 3\n"));
    EXPECT_EQ(p.pdb_format, 2u);
    EXPECT_EQ(idx[0], 13u);

    // the element token is read as a symbol: an alpha carbon named CA is calcium
    ASSERT_TRUE(Read(p, "ATOM 1 CA GLY 1 1 2 3 1.00 0.00\nATOM 2 HG21 VAL 1 1 2 3 1.00 0.00\n"));
    EXPECT_EQ(idx, (std::vector<unsigned>{19, 79}));
}

TEST_F(PdbFiles, ChainIdentifierInTheTokenLayoutMatchesNoVariant) {
    CPdb p;
    EXPECT_FALSE(Read(p, "ATOM 1 N ALA A 1 1.5 2.0 -3.5 1.00 0.00 N\n"));
    EXPECT_FALSE(Read(p, "HETATM1234 O HOH 1 1 2 3\n"));  // record name and serial run together
    EXPECT_FALSE(Read(p, "atom 1 C 1 2 3\n"));              // record names are case-sensitive
}

TEST_F(PdbFiles, TheFirstRunOfAtomRecordsIsRead) {
    CPdb p;
    ASSERT_TRUE(Read(p, "REMARK two chains, token layout\n"
                        "ATOM 1 N ALA 1 1 1 1 1.00 0.00\n"
                        "HETATM 2 O HOH 2 2 2 2 1.00 0.00\n"
                        "TER\n"
                        "ATOM 3 C ALA 1 3 3 3 1.00 0.00\n"));
    EXPECT_EQ(p.GetTotalAtoms(), 2u);
    EXPECT_EQ(p.header_lines, 2u);
    EXPECT_EQ(idx, (std::vector<unsigned>{6, 7}));
    // a blank line ends the run, a last record without a line feed counts
    ASSERT_TRUE(Read(p, "ATOM 1 C 1 2 3\n\nATOM 2 C 4 5 6\n"));
    EXPECT_EQ(p.GetTotalAtoms(), 1u);
    ASSERT_TRUE(Read(p, "ATOM 1 C 1 2 3\nATOM 2 O 4 5 6"));
    EXPECT_EQ(p.GetTotalAtoms(), 2u);
    EXPECT_EQ(p.GetMinCoordinate(), glm::vec3(1, 2, 3));
    EXPECT_EQ(p.GetMaxCoordinate(), glm::vec3(4, 5, 6));
}

TEST_F(PdbFiles, Cryst1Cells) {
    CPdb p;
    ASSERT_TRUE(Read(p, "CRYST1   10.000   10.000   10.000  90.00  90.00  90.00 P 1           1\nATOM 1 C 1 2 3\n"));
    ASSERT_TRUE(p.is_periodic);
    EXPECT_EQ(p.cell_xyz[0], glm::dvec3(10, 0, 0));
    EXPECT_NEAR(p.cell_xyz[1].x, 0.0, 1e-6);
    EXPECT_NEAR(p.cell_xyz[1].y, 10.0, 1e-12);
    EXPECT_EQ(p.cell_xyz[1].z, 0.0);
    EXPECT_NEAR(p.cell_xyz[2].x, 0.0, 1e-6);
    EXPECT_NEAR(p.cell_xyz[2].y, 0.0, 1e-6);
    EXPECT_NEAR(p.cell_xyz[2].z, 10.0, 1e-12);

    // monoclinic: c tilts in the xz plane by beta
    ASSERT_TRUE(Read(p, "CRYST1    5.000    6.000    7.000  90.00 100.00  90.00 P 1 21 1     2\nATOM 1 C 1 2 3\n"));
    ASSERT_TRUE(p.is_periodic);
    const double beta = 100.0 * M_PI / 180.0;
    EXPECT_NEAR(p.cell_xyz[2].x, 7 * std::cos(beta), 1e-5);
    EXPECT_NEAR(p.cell_xyz[2].y, 0.0, 1e-5);
    EXPECT_NEAR(p.cell_xyz[2].z, 7 * std::sin(beta), 1e-5);
    EXPECT_NEAR(p.cell_xyz[1].x, 0.0, 1e-5);

    // triclinic: lengths and the three angles come back from the vectors
    ASSERT_TRUE(Read(p, "CRYST1    5.000    6.000    7.000  80.00 100.00 110.00 P 1           1\nATOM 1 C 1 2 3\n"));
    ASSERT_TRUE(p.is_periodic);
    const glm::dvec3 va = p.cell_xyz[0], vb = p.cell_xyz[1], vc = p.cell_xyz[2];
    auto angle = [](glm::dvec3 u, glm::dvec3 v) { return std::acos(glm::dot(u, v) / glm::length(u) / glm::length(v)) * 180.0 / M_PI; };
    EXPECT_NEAR(glm::length(va), 5.0, 1e-5);
    EXPECT_NEAR(glm::length(vb), 6.0, 1e-5);
    EXPECT_NEAR(glm::length(vc), 7.0, 1e-5);
    EXPECT_NEAR(angle(vb, vc), 80.0, 1e-4);
    EXPECT_NEAR(angle(va, vc), 100.0, 1e-4);
    EXPECT_NEAR(angle(va, vb), 110.0, 1e-4);
    EXPECT_EQ(va.y, 0.0);
    EXPECT_EQ(va.z, 0.0);
    EXPECT_EQ(vb.z, 0.0);
    EXPECT_GT(vc.z, 0.0);

    // no cell: a zero length, the placeholder of structures without a
    // crystal, angles that close no cell, too few numbers
    for (const char* record : {"CRYST1    0.000   10.000   10.000  90.00  90.00  90.00 P 1           1",
                               "CRYST1    1.000    1.000    1.000  90.00  90.00  90.00 P 1           1",
                               "CRYST1   10.000   10.000   10.000  10.00  10.00 170.00 P 1           1",
                               "CRYST1   10.000   10.000   10.000", "CRYST1   nan 10 10 90 90 90"}) {
        ASSERT_TRUE(Read(p, std::string(record) + "\nATOM 1 C 1 2 3\n")) << record;
        EXPECT_FALSE(p.is_periodic) << record;
    }
    // a CRYST1 record after the first atom record is not read
    ASSERT_TRUE(Read(p, "ATOM 1 C 1 2 3\nCRYST1   10.000   10.000   10.000  90.00  90.00  90.00\n"));
    EXPECT_FALSE(p.is_periodic);
    // a refused file clears nothing: the previous cell stays
    ASSERT_TRUE(Read(p, "CRYST1 10 10 10 90 90 90\nATOM 1 C 1 2 3\n"));
    EXPECT_FALSE(Read(p, "CRYST1 20 20 20 90 90 90\n"));
    EXPECT_TRUE(p.is_periodic);
    EXPECT_EQ(p.a, 10.0f);
}

TEST_F(PdbFiles, StandardEntryWithTwoChainsTerAndWaters) {
    CPdb p;
    ASSERT_TRUE(p.ReadFile(kData, kData + "/protein_two_chains.pdb", xyz, idx));
    EXPECT_EQ(p.pdb_format, CPdb::PDB_FORMAT_COLUMNS);
    ASSERT_EQ(p.GetTotalAtoms(), 20u);  // 9 + 9 atoms of the chains, 2 waters
    EXPECT_EQ(p.header_lines, 7u);
    ASSERT_EQ(idx.size(), 20u);
    const std::vector<unsigned> expected = {6, 5, 5, 7, 5, 6, 5, 5, 7, 6, 5, 5, 7, 5, 5, 0, 0, 15, 7, 7};
    EXPECT_EQ(idx, expected);
    EXPECT_EQ(xyz[1], glm::vec3(11.639f, 6.071f, -5.147f));  // the alpha carbon of chain A
    EXPECT_EQ(xyz[19], glm::vec3(-5.512f, 3.206f, 11.070f));
    EXPECT_TRUE(p.is_periodic);
    EXPECT_FLOAT_EQ(p.b, 58.6f);

    // the same entry without element columns: elements from the atom names
    CPdb q;
    std::vector<glm::vec3> xyz2;
    std::vector<unsigned> idx2;
    ASSERT_TRUE(q.ReadFile(kData, kData + "/protein_no_elements.pdb", xyz2, idx2));
    EXPECT_EQ(idx2, expected);
    EXPECT_EQ(xyz2, xyz);
}

TEST_F(PdbFiles, OnlyTheFirstModelAndTheNmrPlaceholderCell) {
    CPdb p;
    ASSERT_TRUE(p.ReadFile(kData, kData + "/nmr_two_models.pdb", xyz, idx));
    EXPECT_EQ(p.GetTotalAtoms(), 4u);
    EXPECT_EQ(xyz[0], glm::vec3(-8.901f, 4.127f, -0.555f));
    EXPECT_EQ(idx, (std::vector<unsigned>{6, 5, 5, 0}));
    EXPECT_FALSE(p.is_periodic);
    // a second MODEL without ENDMDL ends the first one as well
    std::string text = Slurp(kData + "/nmr_two_models.pdb");
    const std::size_t endmdl = text.find("ENDMDL\n");
    text.erase(endmdl, 7);
    ASSERT_TRUE(Read(p, text));
    EXPECT_EQ(p.GetTotalAtoms(), 4u);
}

TEST_F(PdbFiles, ElementsOfHeteroGroupsFromTheirNames) {
    CPdb p;
    ASSERT_TRUE(p.ReadFile(kData, kData + "/hetero_names.pdb", xyz, idx));
    // "FE  " iron, "CL1 " chlorine, " C1 " carbon, "CA  " calcium, "NA  " sodium
    EXPECT_EQ(idx, (std::vector<unsigned>{25, 16, 5, 19, 10}));
    // element columns win over the name; left-aligned and lower case too
    const std::string line = "HETATM    1  CA  CA  A   1       1.000   2.000   3.000  1.00 20.00          ";
    ASSERT_TRUE(Read(p, line + "CA\n" + line + "ca\n" + line + "C \n" + line + "Q9\n"));
    EXPECT_EQ(idx, (std::vector<unsigned>{19, 19, 5, 5}));
}

TEST_F(PdbFiles, StandardLayoutDetails) {
    CPdb p;
    // five-digit serials run into HETATM; the run carries on across them
    std::string text;
    for (int serial : {99998, 99999, 100000 % 100000, 12345}) {
        char line[100];
        std::snprintf(line, sizeof line, "HETATM%5d  O   HOH W%4d    %8.3f%8.3f%8.3f  1.00  0.00           O\n", serial,
                      serial % 10000, 1.0, 2.0, serial / 1000.0);
        text += line;
    }
    ASSERT_TRUE(Read(p, text));
    EXPECT_EQ(p.GetTotalAtoms(), 4u);
    EXPECT_EQ(p.pdb_format, CPdb::PDB_FORMAT_COLUMNS);
    EXPECT_EQ(xyz[3], glm::vec3(1.0f, 2.0f, 12.345f));
    // a record cut to 54 columns is still read; one cut shorter is refused
    const std::string full = "ATOM      1  N   ALA A   1      11.104   6.134  -6.504  1.00 20.00           N  \n";
    ASSERT_TRUE(Read(p, full.substr(0, 54) + "\n" + full));
    EXPECT_EQ(p.GetTotalAtoms(), 2u);
    EXPECT_EQ(idx, (std::vector<unsigned>{6, 6}));
    EXPECT_FALSE(Read(p, full + full.substr(0, 50) + "\n"));
    // carriage returns of CR LF files
    ASSERT_TRUE(Read(p, "HEADER    X\r\n" + full.substr(0, full.size() - 1) + "\r\n"));
    EXPECT_EQ(idx, (std::vector<unsigned>{6}));
}

TEST_F(PdbFiles, HeaderKeptOrGenerated) {
    CPdb p;
    ASSERT_TRUE(Read(p, "HETATM 1 C LIG 1 1.5 -2.25 10 1.00 0.00\n"));
    EXPECT_EQ(p.header_info.size(), 1u);
    ASSERT_TRUE(p.SaveFile(dir, dir + "/out.pdb", idx));
    const std::string text = Slurp(dir + "/out.pdb");
    const std::string start = std::string("HEADER PDB structure file generated by TeskView (") + CPdb::PRODUCT_ADDRESS + ") [";
    ASSERT_EQ(text.substr(0, start.size()), start);
    const std::size_t close = text.find("]\n");
    ASSERT_NE(close, std::string::npos);
    EXPECT_EQ(close - start.size(), 24u);  // "Sat Dec  5 08:15:43 2026"
    EXPECT_EQ(text.substr(close + 2),
              "ATOM      1  C   LIG     1      1.500  -2.250  10.000  1.00  0.00\n");

    ASSERT_TRUE(Read(p, "HEADER    KEPT\nCRYST1 10 10 10 90 90 90\nATOM 1 N ALA 1 1 2 3 1.0 0.0\n"));
    ASSERT_TRUE(p.SaveFile(dir, dir + "/out.pdb", idx));
    EXPECT_EQ(Slurp(dir + "/out.pdb"),
              "HEADER    KEPT\nCRYST1 10 10 10 90 90 90\n"
              "ATOM      1  N   LIG     1      1.000   2.000   3.000  1.00  0.00\n");
}

TEST_F(PdbFiles, WriterRoundTrips) {
    CPdb p;
    ASSERT_TRUE(p.ReadFile(kData, kData + "/protein_two_chains.pdb", xyz, idx));
    idx[0] = 16;   // an edit: chlorine
    idx[3] = 109;  // the dummy
    p.DeleteAtom(19);
    idx.pop_back();
    ASSERT_TRUE(p.SaveFile(dir, dir + "/out.pdb", idx));
    CPdb back;
    std::vector<glm::vec3> xyz2;
    std::vector<unsigned> idx2;
    ASSERT_TRUE(back.ReadFile(dir, dir + "/out.pdb", xyz2, idx2));
    EXPECT_EQ(back.pdb_format, 6u);  // the writer's own layout is read by tokens
    EXPECT_EQ(idx2, idx);
    xyz.pop_back();
    EXPECT_EQ(xyz2, xyz);
    EXPECT_TRUE(back.is_periodic);

    // wide values: -1000 widens its field, 1000 fills it
    ASSERT_TRUE(Read(p, "ATOM 1 Fe 1 1.5 1000 -1000\nATOM 2 He 1 -100 2222.5 9999.999\nATOM 3 C 1 1e6 -1e6 0.0004\n"));
    ASSERT_TRUE(p.SaveFile(dir, dir + "/wide.pdb", idx));
    ASSERT_TRUE(back.ReadFile(dir, dir + "/wide.pdb", xyz2, idx2));
    EXPECT_EQ(idx2, (std::vector<unsigned>{25, 1, 5}));
    const std::vector<glm::vec3> expected = {{1.5f, 1000.0f, -1000.0f}, {-100.0f, 2222.5f, 9999.999f}, {1e6f, -1e6f, 0.0f}};
    EXPECT_EQ(xyz2, expected);
}

TEST_F(PdbFiles, DeleteAndCenter) {
    CPdb p;
    ASSERT_TRUE(Read(p, "ATOM 1 C 1 0 0 0\nATOM 2 O 1 2 4 6\nATOM 3 N 1 1 1 1\n"));
    p.DeleteAtom(1);
    p.DeleteAtom(5);  // out of range: ignored
    EXPECT_EQ(p.v_carte_xyz, (std::vector<glm::vec3>{{0, 0, 0}, {1, 1, 1}}));
    EXPECT_EQ(p.GetTotalAtoms(), 3u);  // as read
    p.CenterCoordinates();
    EXPECT_EQ(p.v_carte_xyz, (std::vector<glm::vec3>{{-1, -2, -3}, {0, -1, -2}}));
    EXPECT_FALSE(p.SaveFile(dir, dir + "/out.pdb", idx));  // three indices for two atoms
    idx.pop_back();
    EXPECT_TRUE(p.SaveFile(dir, dir + "/out.pdb", idx));
    EXPECT_FALSE(p.SaveFile(dir, dir + "/out.pdb/x", idx));  // cannot be written
    EXPECT_FALSE(p.SaveFile(dir, dir, idx));                  // a folder is not replaced
    EXPECT_FALSE(p.SaveFile(dir, dir + "/bad.pdb", std::vector<unsigned>{5, 110}));
}

TEST_F(PdbFiles, LongLinesAndTokens) {
    CPdb p;
    const std::string long_token(200000, 'R');
    ASSERT_TRUE(Read(p, long_token + "\nREMARK " + long_token + "\n   \nATOM 1 " + long_token + " 1 2 3\n"));
    EXPECT_EQ(p.header_info[0].size(), long_token.size());
    EXPECT_EQ(idx, (std::vector<unsigned>{109}));  // "RR": no element
    ASSERT_TRUE(p.SaveFile(dir, dir + "/out.pdb", idx));
    EXPECT_EQ(Slurp(dir + "/out.pdb").substr(0, long_token.size() + 1), long_token + "\n");
}

TEST_F(PdbFiles, MalformedFilesAreRefused) {
    CPdb p;
    ASSERT_TRUE(p.ReadFile(kData, kData + "/protein_two_chains.pdb", xyz, idx));
    const std::vector<glm::vec3> xyz0 = xyz;
    const std::vector<unsigned> idx0 = idx;
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"empty", ""},
        {"blank lines", "\n\n   \n"},
        {"no atom record", "HEADER    NOTHING\nCRYST1 10 10 10 90 90 90\nEND\n"},
        {"binary", std::string("\0\x01\x02\xff\xfe ATOMS\0\0", 13) + std::string(500, '\x80')},
        {"atom record without numbers", "ATOM\n"},
        {"atom record with one number", "ATOM 1 C 1.0\n"},
        {"later record without coordinates", "ATOM 1 C 1 2 3\nATOM 2 O 4\n"},
        {"non-finite coordinate", "ATOM 1 C nan 2 3\n"},
        {"overflowing coordinate", "ATOM 1 N ALA 1 1e39 2 3 1.0 0.0\n"},
        {"standard record cut short later",
         "ATOM      1  N   ALA A   1      11.104   6.134  -6.504  1.00 20.00           N\n"
         "ATOM      2  CA  ALA A   1      11.639   6.071  -5.1\n"},
        {"standard record with a broken number later",
         "ATOM      1  N   ALA A   1      11.104   6.134  -6.504  1.00 20.00           N\n"
         "ATOM      2  CA  ALA A   1      11.639   6.0x1  -5.147  1.00 20.00           C\n"},
        {"an XYZ file", "3\nwater\nO 0 0 0.1173\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n"},
        {"a POSCAR", "x\n1.0\n5 0 0\n0 5 0\n0 0 5\nSi\n1\nDirect\n0 0 0\n"},
    };
    for (const auto& [what, text] : bad) {
        CPdb copy = p;
        std::vector<glm::vec3> x = xyz0;
        std::vector<unsigned> i = idx0;
        EXPECT_FALSE(p.ReadFile(dir, File(text), x, i)) << what;
        EXPECT_EQ(x, xyz0) << what;
        EXPECT_EQ(i, idx0) << what;
        EXPECT_EQ(p.v_carte_xyz, copy.v_carte_xyz) << what;
        EXPECT_EQ(p.header_info, copy.header_info) << what;
        EXPECT_EQ(p.total_atoms, copy.total_atoms) << what;
        EXPECT_TRUE(p.is_periodic) << what;
    }
    EXPECT_FALSE(p.ReadFile(dir, dir + "/missing.pdb", xyz, idx));
    EXPECT_FALSE(p.ReadFile(dir, dir, xyz, idx));
    EXPECT_FALSE(p.GetFormat(dir, File("ATOM 1 N ALA A 1 1.5 2.0 -3.5\n")));
    EXPECT_EQ(p.header_info.size(), 7u);
    EXPECT_EQ(xyz, xyz0);
    // the structure as read still saves
    ASSERT_TRUE(p.SaveFile(dir, dir + "/after.pdb", idx0));
    CPdb back;
    ASSERT_TRUE(back.ReadFile(dir, dir + "/after.pdb", xyz, idx));
    EXPECT_EQ(xyz, xyz0);
    EXPECT_EQ(idx, idx0);
}

}  // namespace

namespace {

// serial numbers of a million and more must not run into the record name
TEST_F(PdbFiles, AMillionAtomsRoundTrip) {
    std::string text;
    text.reserve(1000002u * 40u);
    char line[64];
    for (unsigned i = 0; i < 1000002u; ++i) {
        std::snprintf(line, sizeof line, "ATOM %u %s 1 %u.5 %u 0.25\n", i, i % 3 ? "H" : "O", i % 1000, i % 7);
        text += line;
    }
    CPdb p;
    ASSERT_TRUE(Read(p, text));
    ASSERT_EQ(p.GetTotalAtoms(), 1000002u);
    ASSERT_TRUE(p.SaveFile(dir, dir + "/big.pdb", idx));
    CPdb back;
    std::vector<glm::vec3> xyz2;
    std::vector<unsigned> idx2;
    ASSERT_TRUE(back.ReadFile(dir, dir + "/big.pdb", xyz2, idx2));
    EXPECT_EQ(back.GetTotalAtoms(), 1000002u);
    EXPECT_EQ(idx2, idx);
    EXPECT_EQ(xyz2, xyz);
}

}  // namespace

// through the structure model, the way the viewer loads and saves
#include "cmodel.h"

namespace {

TEST_F(PdbFiles, ModelLoadsEditsAndKeepsItsStructureOnARefusedFile) {
    CModel model;
    ASSERT_TRUE(model.ReadFile(kData, kData + "/protein_two_chains.pdb", INPUT_FILE_TYPE_PDB));
    EXPECT_EQ(model.GetTotalAtoms(), 20u);
    EXPECT_TRUE(model.is_periodic);
    EXPECT_EQ(model.m_cell_box[0], glm::dvec3(52.0, 0.0, 0.0));
    EXPECT_GT(model.i_number_of_bonds, 10u);
    const std::vector<glm::vec3> drawn = model.v_float_raw_xyz;
    const std::vector<unsigned> elements = model.v_atom_index;

    for (const char* text : {"", "ATOM 1 N ALA A 1 1.5 2.0 -3.5\n", "ATOM 1 C 1 2 3\nATOM 2 C 4\n"}) {
        EXPECT_FALSE(model.ReadFile(dir, File(text), INPUT_FILE_TYPE_PDB)) << text;
        EXPECT_EQ(model.v_float_raw_xyz, drawn);
        EXPECT_EQ(model.v_atom_index, elements);
    }
    // the NMR placeholder cell: a molecule with a bounding box
    ASSERT_TRUE(model.ReadFile(kData, kData + "/nmr_two_models.pdb", INPUT_FILE_TYPE_PDB));
    EXPECT_FALSE(model.is_periodic);
    EXPECT_EQ(model.GetTotalAtoms(), 4u);

    ASSERT_TRUE(model.ReadFile(kData, kData + "/protein_two_chains.pdb", INPUT_FILE_TYPE_PDB));
    model.DeleteAtom(0);
    model.ChangeAtom(0, 25);
    ASSERT_TRUE(model.SaveFile(dir + "/out.pdb", dir + "/out.pdb", INPUT_FILE_TYPE_PDB));
    CModel back;
    ASSERT_TRUE(back.ReadFile(dir, dir + "/out.pdb", INPUT_FILE_TYPE_PDB));
    EXPECT_EQ(back.GetTotalAtoms(), 19u);
    EXPECT_EQ(back.v_atom_index[0], 25u);
    EXPECT_EQ(std::vector<unsigned>(back.v_atom_index.begin() + 1, back.v_atom_index.end()),
              std::vector<unsigned>(elements.begin() + 2, elements.end()));
    EXPECT_TRUE(back.is_periodic);
}

}  // namespace
