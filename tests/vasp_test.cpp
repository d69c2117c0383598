// CVasp and its POTCAR look-up on real files: the four layouts, species from
// the POTCAR, the title or the species line, Direct and Cartesian positions
// with the scale factor, the writer with its species table, deletion, and
// every malformed file refused with the previous structure intact.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cvasp.h"

namespace {

const std::string kData = std::string(TESK_TEST_DATA) + "/vasp";

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A scratch folder per test, removed afterwards.
class VaspFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/tesk-vasp-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    // writes `text` as dir/sub/POSCAR and returns its path
    std::string Poscar(const std::string& text, const std::string& sub = "case") {
        mkdir((dir + "/" + sub).c_str(), 0755);
        const std::string path = dir + "/" + sub + "/POSCAR";
        Write(path, text);
        return path;
    }
    std::string Folder(const std::string& sub = "case") const { return dir + "/" + sub; }

    std::string dir;
};

const char* kSiO2Lattice =
    "1.0\n"
    "   5.0   0.0   0.0\n"
    "   0.0   6.0   0.0\n"
    "   0.0   0.0   7.0\n";

std::string SiO2(const std::string& species_line, const std::string& counts, const std::string& mode_lines,
                 const std::string& title = "SiO2") {
    return title + "\n" + kSiO2Lattice + species_line + counts + "\n" + mode_lines +
           "0.0 0.0 0.0\n0.25 0.5 0.0\n0.5 0.0 0.75\n";
}

void ExpectSiO2(const CVasp& v, const std::vector<glm::vec3>& xyz, const std::vector<unsigned>& idx) {
    ASSERT_EQ(v.total_atoms, 3u);
    EXPECT_EQ(v.v_table_index, (std::vector<uint32_t>{13, 7}));
    EXPECT_EQ(v.v_table_atoms, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(v.v_atom_type, (std::vector<uint32_t>{0, 1, 1}));
    EXPECT_EQ(idx, (std::vector<unsigned>{13, 7, 7}));
    ASSERT_EQ(xyz.size(), 3u);
    EXPECT_EQ(xyz[1], glm::vec3(1.25f, 3.0f, 0.0f));
    EXPECT_EQ(xyz[2], glm::vec3(2.5f, 0.0f, 5.25f));
    EXPECT_TRUE(v.is_periodic);
    EXPECT_TRUE(v.is_direct);
    EXPECT_FALSE(v.is_dynamics);
    EXPECT_EQ(v.cell_xyz[1], glm::dvec3(0, 6, 0));
    EXPECT_EQ(v.GetMinCoordinate(), glm::dvec3(0, 0, 0));
    EXPECT_EQ(v.GetMaxCoordinate(), glm::dvec3(2.5, 3.0, 5.25));
}

TEST(VaspRead, ExtendedDirectFile) {
    CVasp v;
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    ASSERT_TRUE(v.ReadFile(kData + "/sio2-extended", kData + "/sio2-extended/POSCAR", xyz, idx));
    EXPECT_EQ(v.header_lines, 9u);
    EXPECT_TRUE(v.is_extended);
    ExpectSiO2(v, xyz, idx);
    EXPECT_EQ(v.v_fract_xyz[2], glm::dvec3(0.5, 0.0, 0.75));
    EXPECT_STREQ(v.header_info[0], "SiO2 test cell");
    EXPECT_STREQ(v.header_info[7], "Direct");
}

TEST(VaspRead, PlainLayoutTakesItsSpeciesFromThePotcar) {
    CVasp v;
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    ASSERT_TRUE(v.ReadFile(kData + "/sio2-plain", kData + "/sio2-plain/POSCAR", xyz, idx));
    EXPECT_EQ(v.header_lines, 8u);
    EXPECT_FALSE(v.is_extended);
    ExpectSiO2(v, xyz, idx);
    // the folder may end in a slash
    CVasp w;
    ASSERT_TRUE(w.ReadFile(kData + "/sio2-plain/", kData + "/sio2-plain/POSCAR", xyz, idx));
    ExpectSiO2(w, xyz, idx);
}

TEST(VaspRead, PlainLayoutWithSpeciesInTheTitle) {
    CVasp v;
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    ASSERT_TRUE(v.ReadFile(kData + "/sio2-title", kData + "/sio2-title/POSCAR", xyz, idx));
    ExpectSiO2(v, xyz, idx);
}

TEST_F(VaspFiles, TitleSpeciesOnlyWhenEveryTokenIsASymbolAndTheyMatchTheCounts) {
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    {
        CVasp v;  // any case, blanks and tabs
        EXPECT_TRUE(v.ReadFile(Folder(), Poscar(SiO2("", "1 2", "Direct\n", " si\tO ")), xyz, idx));
        EXPECT_EQ(idx, (std::vector<unsigned>{13, 7, 7}));
    }
    for (const char* title : {"plain SiO2 structure", "Silicon Oxygen", "Si O Ti", "Si", "", "Si O2"}) {
        CVasp v;
        EXPECT_FALSE(v.ReadFile(Folder(), Poscar(SiO2("", "1 2", "Direct\n", title)), xyz, idx)) << title;
    }
    // a POTCAR that does not fit is not overruled by the title
    Write(Folder() + "/POTCAR", "VRHFIN =Si: s2p2\nVRHFIN =O: s2p4\nVRHFIN =H: s1\n");
    CVasp v;
    EXPECT_FALSE(v.ReadFile(Folder(), Poscar(SiO2("", "1 2", "Direct\n", "Si O")), xyz, idx));
}

TEST_F(VaspFiles, PlainLayoutWithoutFittingPotcarIsRefused) {
    const std::string poscar = Poscar(Slurp(kData + "/sio2-plain/POSCAR"));
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    CVasp v;
    EXPECT_FALSE(v.ReadFile(Folder(), poscar, xyz, idx));  // no POTCAR, prose title
    Write(Folder() + "/POTCAR", "VRHFIN =Si: s2p2\nVRHFIN =O: s2p4\nVRHFIN =H: s1\n");
    EXPECT_FALSE(v.ReadFile(Folder(), poscar, xyz, idx));  // three species for two counts
    Write(Folder() + "/POTCAR", "VRHFIN =Si: s2p2\nVRHFIN O s2p4\n");
    EXPECT_FALSE(v.ReadFile(Folder(), poscar, xyz, idx));  // a VRHFIN line without "=" is skipped
    Write(Folder() + "/POTCAR", "VRHFIN =Si: s2p2\nVRHFIN =: \n");
    EXPECT_FALSE(v.ReadFile(Folder(), poscar, xyz, idx));  // nothing after "=": skipped
    EXPECT_TRUE(xyz.empty());
}

TEST_F(VaspFiles, PotcarLines) {
    const std::string long_line(100000, 'x');
    mkdir(Folder("p").c_str(), 0755);
    Write(Folder("p") + "/POTCAR", long_line + "\n   VRHFIN =Fe_pv: 3p4s3d\n   vrhfin =Si: s2p2\n" + long_line +
                                       "VRHFIN = O: s2p4\nTITEL = x VRHFIN=a=Cl:\n" + long_line);
    CVasp v;
    EXPECT_TRUE(v.ReadPotcar(Folder("p")));
    EXPECT_EQ(v.v_table_index, (std::vector<uint32_t>{25, 7, 16}));
    CVasp none;
    EXPECT_FALSE(none.ReadPotcar(Folder("missing")));
    EXPECT_TRUE(none.v_table_index.empty());
}

TEST_F(VaspFiles, SelectiveDynamicsAndModeLines) {
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    CVasp v;
    ASSERT_TRUE(v.ReadFile(kData, kData + "/rutile-selective.vasp", xyz, idx));
    EXPECT_EQ(v.header_lines, 10u);
    EXPECT_TRUE(v.is_dynamics);
    EXPECT_TRUE(v.is_direct);
    ASSERT_EQ(v.v_dynamics.size(), 6u);
    EXPECT_EQ(std::string(v.v_dynamics[0].d, 3), "FFF");
    EXPECT_EQ(std::string(v.v_dynamics[5].d, 3), "TTF");
    EXPECT_EQ(idx, (std::vector<unsigned>{21, 21, 7, 7, 7, 7}));

    // plain layout, selective line in lower case; lines without flags
    ASSERT_TRUE(v.ReadFile(Folder(), Poscar(SiO2("", "1 2", "selective dynamics\nDirect\n", "Si O")), xyz, idx));
    EXPECT_EQ(v.header_lines, 9u);
    EXPECT_TRUE(v.is_dynamics);
    EXPECT_EQ(std::string(v.v_dynamics[0].d, 3), "TTT");  // missing flags are T

    // a selective line that begins with a blank is the mode line: Cartesian
    ASSERT_TRUE(v.ReadFile(Folder(), Poscar(SiO2("", "1 2", " Selective dynamics\nDirect\n", "Si O")), xyz, idx));
    EXPECT_FALSE(v.is_dynamics);
    EXPECT_FALSE(v.is_direct);
    EXPECT_EQ(v.header_lines, 9u);

    for (const char* mode : {"direct", "D", "Direct", "dummy"}) {
        ASSERT_TRUE(v.ReadFile(Folder(), Poscar(SiO2("Si O\n", "1 2", std::string(mode) + "\n")), xyz, idx));
        EXPECT_TRUE(v.is_direct) << mode;
    }
    for (const char* mode : {"Cartesian", "Kartesian", "C", " Direct"}) {
        ASSERT_TRUE(v.ReadFile(Folder(), Poscar(SiO2("Si O\n", "1 2", std::string(mode) + "\n")), xyz, idx));
        EXPECT_FALSE(v.is_direct) << mode;
        EXPECT_EQ(xyz[1], glm::vec3(0.25f, 0.5f, 0.0f));
    }
}

TEST(VaspRead, CartesianPositionsAreScaledAndTabsSeparateSpecies) {
    CVasp v;
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    ASSERT_TRUE(v.ReadFile(kData, kData + "/nacl-cartesian-scaled.vasp", xyz, idx));
    EXPECT_EQ(idx, (std::vector<unsigned>{10, 16}));
    EXPECT_EQ(v.parameter, 2.0);
    EXPECT_EQ(v.cell_xyz[0], glm::dvec3(0.0, 2.82, 2.82));
    // as VASP reads it: inside the scaled cell
    EXPECT_EQ(xyz[0], glm::vec3(2.0f, 0.0f, 0.0f));
    EXPECT_EQ(xyz[1], glm::vec3(2.82f, 2.82f, 2.82f));
    EXPECT_EQ(v.GetMaxCoordinate(), glm::dvec3(2.82, 2.82, 2.82));
    // the stored copy keeps the numbers as written
    EXPECT_EQ(v.v_carte_xyz[0], glm::dvec3(1.0, 0.0, 0.0));
    EXPECT_TRUE(v.v_fract_xyz.empty());
}

TEST_F(VaspFiles, CountsWithAZeroSpecies) {
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    CVasp v;
    ASSERT_TRUE(v.ReadFile(Folder(), Poscar(SiO2("Si Ti O\n", "2 0 1", "Direct\n")), xyz, idx));
    EXPECT_EQ(idx, (std::vector<unsigned>{13, 13, 7}));
    EXPECT_EQ(v.v_atom_type, (std::vector<uint32_t>{0, 0, 2}));
    const std::string out = dir + "/out.vasp";
    ASSERT_TRUE(v.SaveFile(dir, out, idx));
    EXPECT_NE(Slurp(out).find("\nSi Ti O\n2 0 1\nDirect coordinates\n"), std::string::npos);
}

TEST_F(VaspFiles, WriterLayoutAndRoundTrip) {
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    CVasp v;
    ASSERT_TRUE(v.ReadFile(kData, kData + "/rutile-selective.vasp", xyz, idx));
    const std::string out = dir + "/CONTCAR";
    ASSERT_TRUE(v.SaveFile(dir, out, idx));
    const std::string text = Slurp(out);
    EXPECT_EQ(text.substr(0, text.find("Ti O\n")), Slurp(kData + "/rutile-selective.vasp").substr(0, text.find("Ti O\n")));
    EXPECT_NE(text.find("Ti O\n2 4\nSelective Dynamics\nDirect coordinates\n"
                        "   0.000000000000   0.000000000000   0.000000000000 F F F\n"),
              std::string::npos);
    EXPECT_NE(text.find("   0.195000000000   0.805000000000   0.500000000000 T T F\n"), std::string::npos);

    CVasp back;
    std::vector<glm::vec3> xyz2;
    std::vector<unsigned> idx2;
    ASSERT_TRUE(back.ReadFile(dir, out, xyz2, idx2));
    EXPECT_EQ(idx2, idx);
    EXPECT_EQ(xyz2, xyz);
    EXPECT_EQ(back.v_fract_xyz, v.v_fract_xyz);

    // Cartesian: written back as written, not scaled twice
    ASSERT_TRUE(v.ReadFile(kData, kData + "/nacl-cartesian-scaled.vasp", xyz, idx));
    ASSERT_TRUE(v.SaveFile(dir, out, idx));
    EXPECT_NE(Slurp(out).find("Cartesian coordinates\n   1.000000000000   0.000000000000   0.000000000000\n"),
              std::string::npos);
    ASSERT_TRUE(back.ReadFile(dir, out, xyz2, idx2));
    EXPECT_EQ(xyz2, xyz);
    EXPECT_EQ(idx2, idx);
}

TEST_F(VaspFiles, MinusHundredFillsTheWholeField) {
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    CVasp v;
    ASSERT_TRUE(v.ReadFile(Folder(), Poscar("x\n1.0\n200 0 0\n0 200 0\n0 0 200\nC\n1\nCartesian\n-100 0.5 -100\n"), xyz,
                           idx));
    ASSERT_TRUE(v.SaveFile(dir, dir + "/out", idx));
    EXPECT_NE(Slurp(dir + "/out").find("\n-100.000000000000   0.500000000000-100.000000000000\n"), std::string::npos);
    ASSERT_TRUE(v.ReadFile(dir, dir + "/out", xyz, idx));
    EXPECT_EQ(xyz[0], glm::vec3(-100.0f, 0.5f, -100.0f));
}

TEST(VaspWrite, PlainLayoutIsSavedExtendedAndReadsBackTheSame) {
    CVasp v;
    std::vector<glm::vec3> xyz, xyz2;
    std::vector<unsigned> idx, idx2;
    ASSERT_TRUE(v.ReadFile(kData + "/sio2-plain", kData + "/sio2-plain/POSCAR", xyz, idx));
    char name[] = "/tmp/tesk-vasp-save-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const std::string out = std::string(name) + "/POSCAR";
    ASSERT_TRUE(v.SaveFile(name, out, idx));
    CVasp back;  // no POTCAR in that folder: the species line carries them
    ASSERT_TRUE(back.ReadFile(name, out, xyz2, idx2));
    EXPECT_TRUE(back.is_extended);
    ExpectSiO2(back, xyz2, idx2);
    std::system((std::string("rm -rf ") + name).c_str());
}

TEST_F(VaspFiles, EditedSpeciesIsAppendedAndDeletionsRebuildTheCounts) {
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    CVasp v;
    ASSERT_TRUE(v.ReadFile(kData + "/sio2-extended", kData + "/sio2-extended/POSCAR", xyz, idx));
    idx[1] = 6;  // the first oxygen becomes nitrogen
    ASSERT_TRUE(v.SaveFile(dir, dir + "/out", idx));
    const std::string text = Slurp(dir + "/out");
    EXPECT_NE(text.find("\nSi O N\n1 1 1\nDirect coordinates\n"
                        "   0.000000000000   0.000000000000   0.000000000000\n"
                        "   0.500000000000   0.000000000000   0.750000000000\n"
                        "   0.250000000000   0.500000000000   0.000000000000\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(v.v_atom_type, (std::vector<uint32_t>{0, 2, 1}));

    // the model deletes atom 0 (the silicon): silicon stays with count 0
    v.DeleteAtom(0);
    idx.erase(idx.begin());
    EXPECT_EQ(v.GetTotalAtoms(), 2u);
    v.DeleteAtom(7);  // out of range: ignored
    ASSERT_TRUE(v.SaveFile(dir, dir + "/out", idx));
    EXPECT_NE(Slurp(dir + "/out").find("\nSi O N\n0 1 1\n"), std::string::npos);
    CVasp back;
    ASSERT_TRUE(back.ReadFile(dir, dir + "/out", xyz, idx));
    EXPECT_EQ(idx, (std::vector<unsigned>{7, 6}));
}

TEST_F(VaspFiles, WriterRefusals) {
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    CVasp v;
    ASSERT_TRUE(v.ReadFile(kData + "/sio2-extended", kData + "/sio2-extended/POSCAR", xyz, idx));
    EXPECT_FALSE(v.SaveFile(dir, dir + "/no/such/folder/POSCAR", idx));
    EXPECT_FALSE(v.SaveFile(dir, dir + "/short", std::vector<unsigned>{13, 7}));
    EXPECT_FALSE(v.SaveFile(dir, dir + "/bad", std::vector<unsigned>{13, 7, 500}));
    Write(dir + "/keep", "old");
    EXPECT_FALSE(v.SaveFile(dir, dir + "/keep/POSCAR", idx));  // a file where a folder should be
    EXPECT_EQ(Slurp(dir + "/keep"), "old");
    mkdir((dir + "/folder").c_str(), 0755);
    EXPECT_FALSE(v.SaveFile(dir, dir + "/folder", idx));  // a folder is not replaced
    struct stat st;
    ASSERT_EQ(stat((dir + "/folder").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// every malformed file is refused and leaves the previous structure as it was
TEST_F(VaspFiles, MalformedFilesAreRefused) {
    CVasp v;
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    ASSERT_TRUE(v.ReadFile(kData + "/sio2-extended", kData + "/sio2-extended/POSCAR", xyz, idx));
    const std::vector<glm::vec3> xyz0 = xyz;
    const std::vector<unsigned> idx0 = idx;
    const std::string good = SiO2("Si O\n", "1 2", "Direct\n");

    std::vector<std::pair<std::string, std::string>> bad = {
        {"empty", ""},
        {"binary", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0\x3e\0", 20) + std::string(300, '\xff')},
        {"more than ten header lines", "t\n1.0\n5 0 0\n0 6 0\n0 0 7\nSi O\n1 2\nc1\nc2\nc3\nDirect\n0 0 0\n0.25 0.5 0\n0.5 0 0.75\n"},
        {"header line longer than a slot", SiO2("Si O\n", "1 2", "Direct\n", std::string(300, 'T'))},
        {"fewer coordinate lines", SiO2("Si O\n", "1 3", "Direct\n")},
        {"coordinate line without three numbers", "t\n1.0\n5 0 0\n0 6 0\n0 0 7\nSi O\n1 2\nDirect\n0 0 0\n0.25 x 0\n0.5 0 0.75\n"},
        {"negative count", SiO2("Si O\n", "-1 4", "Direct\n")},
        {"negative count with zero sum", SiO2("Si O\n", "-1 1", "Direct\n")},
        {"only zero counts", SiO2("Si O\n", "0 0", "Direct\n")},
        {"no counts", "t\n1.0\n5 0 0\n0 6 0\n0 0 7\nSi O\n\nDirect\n0 0 0\n"},
        {"huge count", SiO2("Si O\n", "1 4000000000", "Direct\n")},
        {"count beyond 32 bits", SiO2("Si O\n", "1 99999999999999999999999", "Direct\n")},
        {"counts that do not match the species", SiO2("Si O\n", "1 1 1", "Direct\n")},
        {"zero scale", "t\n0.0\n5 0 0\n0 6 0\n0 0 7\nSi O\n1 2\nDirect\n0 0 0\n0.25 0.5 0\n0.5 0 0.75\n"},
        {"negative scale", "t\n-125\n5 0 0\n0 6 0\n0 0 7\nSi O\n1 2\nDirect\n0 0 0\n0.25 0.5 0\n0.5 0 0.75\n"},
        {"scale that is no number", "t\nscale\n5 0 0\n0 6 0\n0 0 7\nSi O\n1 2\nDirect\n0 0 0\n0.25 0.5 0\n0.5 0 0.75\n"},
        {"lattice line without numbers", "t\n1.0\n5 0 0\n0 six 0\n0 0 7\nSi O\n1 2\nDirect\n0 0 0\n0.25 0.5 0\n0.5 0 0.75\n"},
        {"non-finite coordinate", "t\n1.0\n5 0 0\n0 6 0\n0 0 7\nSi O\n1 2\nDirect\n0 0 0\nnan 0.5 0\n0.5 0 0.75\n"},
        {"infinite lattice", "t\n1.0\n5 0 0\n0 inf 0\n0 0 7\nSi O\n1 2\nDirect\n0 0 0\n0.25 0.5 0\n0.5 0 0.75\n"},
        {"overflowing number", "t\n1.0\n5 0 0\n0 6 0\n0 0 7\nSi O\n1 2\nDirect\n0 0 0\n1e999 0.5 0\n0.5 0 0.75\n"},
        {"lattice beyond double", "t\n1e300\n1e300 0 0\n0 6 0\n0 0 7\nSi O\n1 2\nDirect\n0 0 0\n0.25 0.5 0\n0.5 0 0.75\n"},
        {"position beyond float", "t\n1e30\n1e10 0 0\n0 6 0\n0 0 7\nSi O\n1 2\nDirect\n0 0 0\n0.25 0.5 0\n0.5 0 0.75\n"},
    };
    // truncated after every header line, and in the middle of the last one
    for (std::size_t cut = 0, line = 0; (cut = good.find('\n', cut)) != std::string::npos && line < 8; ++cut, ++line)
        bad.push_back({"truncated after line " + std::to_string(line + 1), good.substr(0, cut + 1)});

    for (const auto& [what, text] : bad) {
        CVasp copy = v;
        EXPECT_FALSE(v.ReadFile(Folder(), Poscar(text), xyz, idx)) << what;
        EXPECT_EQ(xyz, xyz0) << what;
        EXPECT_EQ(idx, idx0) << what;
        EXPECT_EQ(v.v_carte_xyz, copy.v_carte_xyz) << what;
        EXPECT_EQ(v.v_table_index, copy.v_table_index) << what;
        EXPECT_EQ(v.header_lines, copy.header_lines) << what;
        EXPECT_STREQ(v.header_info[7], "Direct") << what;
    }
    // recognition alone refuses what the header shows
    for (std::size_t k = 0; k < 17; ++k) {
        if (bad[k].first.find("coordinate") != std::string::npos) continue;
        EXPECT_FALSE(v.GetFormat(Folder(), Poscar(bad[k].second))) << bad[k].first;
        EXPECT_STREQ(v.header_info[7], "Direct");
    }
    EXPECT_FALSE(v.ReadFile(dir, dir + "/missing", xyz, idx));
    EXPECT_FALSE(v.ReadFile(dir, dir, xyz, idx));  // a folder
    EXPECT_EQ(xyz, xyz0);
    // the structure still saves as read
    ASSERT_TRUE(v.SaveFile(dir, dir + "/after", idx));
    CVasp back;
    ASSERT_TRUE(back.ReadFile(dir, dir + "/after", xyz, idx));
    EXPECT_EQ(xyz, xyz0);
}

TEST_F(VaspFiles, TextOfAnEarlierFileIsNeverUsed) {
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    CVasp v;
    ASSERT_TRUE(v.ReadFile(kData, kData + "/rutile-selective.vasp", xyz, idx));
    // a shorter header: slots 8 and 9 must not keep the rutile lines
    ASSERT_TRUE(v.ReadFile(Folder(), Poscar(SiO2("", "1 2", "Direct\n", "Si O")), xyz, idx));
    EXPECT_STREQ(v.header_info[8], "");
    EXPECT_STREQ(v.header_info[9], "");
    EXPECT_TRUE(v.v_dynamics.empty());
}

TEST_F(VaspFiles, CarriageReturnLineEnds) {
    std::string text = SiO2("Si O\n", "1 2", "Direct\n");
    std::string crlf;
    for (char c : text) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    CVasp v;
    ASSERT_TRUE(v.ReadFile(Folder(), Poscar(crlf), xyz, idx));
    ExpectSiO2(v, xyz, idx);
}

}  // namespace

// through the structure model, the way the viewer loads and saves
#include "cmodel.h"

namespace {

TEST_F(VaspFiles, ModelLoadsEditsAndKeepsItsStructureOnARefusedFile) {
    CModel model;
    ASSERT_TRUE(model.ReadFile(kData, kData + "/nacl-cartesian-scaled.vasp", INPUT_FILE_TYPE_VSP));
    EXPECT_TRUE(model.is_periodic);
    EXPECT_EQ(model.m_cell_box[2], glm::dvec3(2.82, 2.82, 0.0));
    EXPECT_EQ(model.v_atom_index, (std::vector<unsigned>{10, 16}));
    // both atoms inside the scaled cell: the drawn box spans the scaled positions
    EXPECT_FLOAT_EQ(model.center_xyz.x, 2.41f);
    const std::vector<glm::vec3> drawn = model.v_float_raw_xyz;

    for (const std::string& text : {std::string(""), SiO2("Si O\n", "1 3", "Direct\n"), SiO2("Si O\n", "-1 3", "Direct\n")}) {
        EXPECT_FALSE(model.ReadFile(Folder(), Poscar(text), INPUT_FILE_TYPE_VSP));
        EXPECT_EQ(model.v_float_raw_xyz, drawn);
        EXPECT_EQ(model.v_atom_index, (std::vector<unsigned>{10, 16}));
        EXPECT_TRUE(model.is_periodic);
    }
    // the VASP object still matches the drawn atoms: an edit saves and reads back
    model.ChangeAtom(1, 8);
    ASSERT_TRUE(model.SaveFile(dir + "/out", dir + "/out", INPUT_FILE_TYPE_VSP));
    EXPECT_NE(Slurp(dir + "/out").find("\nNa Cl F\n1 0 1\nCartesian coordinates\n"), std::string::npos);
    CModel back;
    ASSERT_TRUE(back.ReadFile(dir, dir + "/out", INPUT_FILE_TYPE_VSP));
    EXPECT_EQ(back.v_atom_index, (std::vector<unsigned>{10, 8}));
    EXPECT_EQ(back.v_float_raw_xyz, drawn);

    model.DeleteAtom(0);
    ASSERT_TRUE(model.SaveFile(dir + "/out", dir + "/out", INPUT_FILE_TYPE_VSP));
    ASSERT_TRUE(back.ReadFile(dir, dir + "/out", INPUT_FILE_TYPE_VSP));
    EXPECT_EQ(back.v_atom_index, (std::vector<unsigned>{8}));
}

TEST(VaspModel, PlainLayoutWithPotcarThroughTheModel) {
    CModel model;
    ASSERT_TRUE(model.ReadFile(kData + "/sio2-plain", kData + "/sio2-plain/POSCAR", INPUT_FILE_TYPE_VSP));
    EXPECT_EQ(model.v_atom_index, (std::vector<unsigned>{13, 7, 7}));
    EXPECT_EQ(model.m_cell_box, glm::dmat3(5, 0, 0, 0, 6, 0, 0, 0, 7));
    // the same folder read as another format is refused and changes nothing
    EXPECT_FALSE(model.ReadFile(kData + "/sio2-plain", kData + "/sio2-plain/POSCAR", INPUT_FILE_TYPE_PDB));
    EXPECT_EQ(model.v_atom_index, (std::vector<unsigned>{13, 7, 7}));
}

}  // namespace
