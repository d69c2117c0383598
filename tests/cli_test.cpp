// The command line of the real program, format detection on files on disk,
// and conversion between every pair of formats with the result read back.
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>

#include "model/convert.h"
#include "ui/command_line.h"
#include "model/model.h"
#include "test_support.h"

namespace {

const std::string EXAMPLES = std::string(TESK_SOURCE_DIR) + "/examples";

TEST(CommandLine, HelpVersionAndMisuseFromTheProgram)
{
    ScratchDir dir("tesk_cli");
    // none of these needs a display
    const struct {
        const char* args;
        int status;
        const char* starts;
    } rows[] = {{"x --help --bogus", 0, "Usage: tesk [OPTIONS] [FILE]\n"},
                {"-V", 0, "Tesk "},
                {"--frobnicate x.xyz", 2, "tesk: unknown option --frobnicate\nUsage: tesk"},
                {"--format gaussian x", 2, "tesk: "},
                {"a b", 2, "tesk: "},
                {"--to xyz a", 2, "tesk: "}};
    for (const auto& r : rows) {
        const Outcome o = Tesk(dir, r.args);
        EXPECT_EQ(o.status, r.status) << r.args;
        EXPECT_EQ((r.status ? o.err : o.out).find(r.starts), 0u) << r.args << ": " << o.out << o.err;
        EXPECT_EQ(r.status ? o.out : o.err, "") << r.args;
    }
}

TEST(Detection, ByNameFirstThenByContent)
{
    ScratchDir dir("tesk_detect");
    const std::string pdb = "REMARK   made by hand\nATOM      1  C   LIG     1       0.000   0.000   0.000\n",
                      xyz = "2\nwater part\nO 0 0 0\nH 0 0 1\n",
                      vasp = "Si\n1.0\n5 0 0\n0 5 0\n0 0 5\nSi\n1\nDirect\n0 0 0\n";
    const std::tuple<const char*, std::string, int> cases[] = {
        {"b.EXTXYZ", vasp, INPUT_FILE_TYPE_XYZ},  // the name wins
        {"d.ent", xyz, INPUT_FILE_TYPE_PDB},
        {"f.poscar", xyz, INPUT_FILE_TYPE_VSP},
        {"POSCAR_relaxed", xyz, INPUT_FILE_TYPE_VSP},
        {"g.txt", pdb, INPUT_FILE_TYPE_PDB},  // then the content
        {"h", xyz, INPUT_FILE_TYPE_XYZ},
        {"i.dat", vasp, INPUT_FILE_TYPE_VSP},
        {"run7", "7" + vasp.substr(2), INPUT_FILE_TYPE_VSP},  // a title that looks like a count
        {"notes.txt", "some words\n", INPUT_FILE_TYPE_UNKNOWN}};
    for (const auto& [name, text, expected] : cases) {
        std::ofstream(dir.path(name)) << text;
        EXPECT_EQ(int(io::Detect(dir.path(name))), expected) << name;
    }
    EXPECT_EQ(int(io::Detect(dir.root)), INPUT_FILE_TYPE_UNKNOWN);
}

TEST(Convert, EveryPairOfFormatsReadsBackTheSameStructure)
{
    ScratchDir dir("tesk_convert");
    // a crystal whose cell is turned away from the standard setting, with
    // its elements interleaved
    std::ofstream(dir.path("turned.xyz"))
        << "3\nLattice=\"0 3 0 -2.598076 -1.5 0 0 0 5\"\nO 0.3 0.2 1.0\nSi -1.0 1.0 2.5\nO -0.5 0.5 4.0\n";
    int n = 0;
    for (const std::string& src : {dir.path("turned.xyz"), EXAMPLES + "/rutile/POSCAR", EXAMPLES + "/ethanol.pdb"}) {
        const Structure a = ReadBack(src);
        ASSERT_TRUE(a.ok) << src;
        for (const std::string to : {"xyz", "vasp", "pdb"}) {
            const std::string out = dir.path("out" + std::to_string(n++) + "." + to);
            const Outcome r = Tesk(dir, "--convert " + src + " " + out);
            // a molecule written as VASP gets a box with room around it as its cell, and a word
            const bool boxed = !a.periodic && to == "vasp";
            EXPECT_TRUE(r.status == 0 && r.out.empty() &&
                        r.err ==
                            (boxed ? "tesk: the molecule was given a cell with 10 A of vacuum on every side\n" : ""))
                << src << " -> " << to << ": " << r.err;
            ExpectSameStructure(a, ReadBack(out), a.periodic || to != "vasp", src + " -> " + to);
        }
    }
    // the cell of an XYZ file is the extended-XYZ Lattice other programs read
    const std::string xyz = Slurp(dir.path("out3.xyz"));
    EXPECT_EQ(xyz.find("\nLattice=\"4.594 0 0 0 4.594 0 0 0 2.959\""), xyz.find('\n')) << xyz;
}

TEST(Convert, FormatsForcedAndFailuresInOneLineKeepingTheOldFile)
{
    ScratchDir dir("tesk_convert_fail");
    std::ofstream(dir.path("water.txt")) << Slurp(EXAMPLES + "/water.xyz");
    std::ofstream(dir.path("old.pdb")) << "old content\n";
    std::ofstream(dir.path("words")) << "nothing here\n";

    // names that tell nothing, formats given
    Outcome r = Tesk(dir, "--format xyz --to pdb --convert water.txt water.out");
    EXPECT_EQ(ReadBack(dir.path("water.out")).e.size(), 3u) << "PDB, told from its records";

    ASSERT_EQ(mkfifo(dir.path("pipe").c_str(), 0600), 0);
    std::ofstream(dir.path("kept.pdb")) << "kept\n";
    chmod(dir.path("kept.pdb").c_str(), 0444);
    // failures go to stderr: stdout may be the structure itself
    const std::pair<std::string, std::string> cases[] = {
        {"--convert missing.xyz a.pdb", "Could not read missing.xyz: it is missing or not a regular file\n"},
        {"--convert pipe a.pdb", "Could not read pipe: it is missing or not a regular file\n"},  // no wait for a writer
        {"--convert words a.pdb", "Could not tell the format of words; name it with --format\n"},
        {"--format pdb --convert water.txt a.xyz", "water.txt: holds no ATOM or HETATM record\n"},
        {"--format xyz --convert water.txt a.out", "Could not tell the format to write a.out in; name it with --to\n"},
        {"--format xyz --convert water.txt -", "Name the format to write to standard output with --to\n"},
        {"--format xyz --convert water.txt nofolder/a.pdb",
         "Could not save nofolder/a.pdb: its folder cannot be written\n"},
        {"--format xyz --to pdb --convert water.txt pipe", "Could not save pipe: it is not a regular file\n"},
        {"--format xyz --convert water.txt kept.pdb", "Could not save kept.pdb: it is read-only\n"},
    };
    for (const auto& [args, line] : cases) {
        r = Tesk(dir, args);
        EXPECT_TRUE(r.status == 1 && r.err == line && r.out.empty()) << args << ": " << r.out << r.err;
    }
    struct stat st;
    EXPECT_TRUE(stat(dir.path("pipe").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_EQ(int(io::Detect(dir.path("pipe"))), INPUT_FILE_TYPE_UNKNOWN);  // the window's Auto: no wait either
    EXPECT_EQ(Slurp(dir.path("kept.pdb")), "kept\n");
    r = Tesk(dir, "--format xyz --to xyz --convert water.txt -");  // standard output
    EXPECT_TRUE(r.status == 0 && r.out.rfind("3\nwater molecule\nO ", 0) == 0 && r.err.empty()) << r.out << r.err;
    std::filesystem::remove(dir.path("pipe"));
    std::filesystem::remove(dir.path("kept.pdb"));
    EXPECT_FALSE(std::filesystem::exists(dir.path("a.pdb")));

    // a disk that fills up during the write (a file size limit of 512
    // bytes, less than the file needs): the old file stays as it was and
    // nothing is left beside it
    r = Tesk(dir, "--convert " + EXAMPLES + "/ethanol.pdb old.pdb", "trap \"\" XFSZ; ulimit -f 1; ");
    EXPECT_TRUE(r.status == 1 && r.err == "Could not save old.pdb: the disk refused the write (full?)\n") << r.err;
    EXPECT_EQ(Slurp(dir.path("old.pdb")), "old content\n");
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.root))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 6u) << "water.txt, water.out, old.pdb, words and the captured stdout, stderr";
}

// What a conversion notices goes to stderr, the structure to the file:
// an unknown symbol with its line, the one frame a POSCAR holds, the frames
// an XDATCAR gets all of; numbers as short as the value read.
TEST(Convert, NotesOnStderrAndTheWritersText)
{
    ScratchDir dir("tesk_convert_notes");
    std::ofstream(dir.path("odd.xyz")) << "2\nenergy=-3.2 step=5\nH 0 0 0\nXx 0 0 1.188\n";
    std::ofstream(dir.path("a.pdb"))
        << "ATOM      1  C   LIG     1       1.188  -0.500   2.000  1.00  0.00           C\n";
    const std::string frames = std::string(TESK_TEST_DATA) + "/frames/XDATCAR_npt";
    const struct {
        std::string args, err, file, text;
    } cases[] = {
        {"--convert odd.xyz o.xyz", "tesk: line 4: unknown element 'Xx', read as the dummy atom X\n", "o.xyz",
         "2\nenergy=-3.2 step=5\nH                 0               0               0\nX                 0              "
         " 0           1.188\n"},
        {"--convert a.pdb o2.xyz", "", "o2.xyz", "1\n\nC             1.188            -0.5               2\n"},
        {"--convert " + frames + " POSCAR",
         "tesk: frame 1 of 3 was written: a POSCAR holds one structure (a file named XDATCAR holds them all)\n",
         "POSCAR", "water\n"},
        {"--to vasp --convert " + frames + " XDATCAR_copy", "", "XDATCAR_copy", "O H\n1.0\n"},
    };
    for (const auto& c : cases) {
        const Outcome r = Tesk(dir, c.args);
        EXPECT_TRUE(r.status == 0 && r.err == c.err) << c.args << ": " << r.err;
        EXPECT_EQ(Slurp(dir.path(c.file)).substr(0, c.text.size()), c.text) << c.args;
    }
    CModel back;
    ASSERT_TRUE(back.ReadFile(dir.root, dir.path("XDATCAR_copy"), INPUT_FILE_TYPE_VSP) && back.GetFrameCount() == 3u);
    ASSERT_TRUE(back.SetFrame(2));
    EXPECT_NEAR(back.Cell()[0][0], 12.0, 1e-9);
    EXPECT_NEAR(back.Positions()[1].x - back.Positions()[0].x, 0.9f, 1e-5f);
}

}  // namespace

namespace {

TEST(Report, InfoAndTheBondsOfAFrameFromTheProgram)
{
    ScratchDir dir("tesk_report");
    const std::pair<std::string, std::string> infos[] = {
        {EXAMPLES + "/rutile/POSCAR",
         "format: VASP\natoms: 6\nformula: O4Ti2\ncell a: 4.594000 0.000000 0.000000\n"
         "cell b: 0.000000 4.594000 0.000000\ncell c: 0.000000 0.000000 2.959000\n"
         "periodic: yes\nframes: 1\n"},
        {EXAMPLES + "/ethanol.pdb", "format: PDB\natoms: 9\nformula: C2H6O\ncell: none\nperiodic: no\nframes: 1\n"},
        {std::string(TESK_TEST_DATA) + "/frames/traj.xyz",
         "format: XYZ\natoms: 2\nformula: HO\ncell a: 10.000000 0.000000 0.000000\n"
         "cell b: 0.000000 10.000000 0.000000\ncell c: 0.000000 0.000000 10.000000\nperiodic: yes\nframes: 5\n"},
        // models held in memory are frames too, and a cell of right angles has exact zeros
        {std::string(TESK_TEST_DATA) + "/formats/two.mmcif",
         "format: mmCIF\natoms: 2\nformula: CN\ncell a: 20.000000 0.000000 0.000000\n"
         "cell b: 0.000000 21.000000 0.000000\ncell c: 0.000000 0.000000 22.000000\nperiodic: yes\nframes: 2\n"}};
    for (const auto& [file, text] : infos) {
        const Outcome o = Tesk(dir, "--info " + file);
        EXPECT_EQ(o.status, 0) << file << o.err;
        EXPECT_EQ(o.out, text);
    }

    // Diamond silicon whose first atom crosses the cell's lower x face in
    // frame 2: the bonds listed for that frame are exactly the pairs a
    // plain search over every image finds in that frame's text.
    const double a = 5.431;
    const double frac[8][3] = {{0, 0, 0},       {0, .5, .5},     {.5, 0, .5},     {.5, .5, 0},
                               {.25, .25, .25}, {.25, .75, .75}, {.75, .25, .75}, {.75, .75, .25}};
    std::ostringstream traj;
    std::vector<glm::dvec3> second;
    for (int frame = 0; frame < 2; ++frame) {
        traj << "8\nLattice=\"" << a << " 0 0 0 " << a << " 0 0 0 " << a << "\"\n";
        for (int k = 0; k < 8; ++k) {
            glm::dvec3 p = glm::dvec3(frac[k][0], frac[k][1], frac[k][2]) * a;
            if (frame == 1 && k == 0)
                p.x -= 0.2;
            traj << "Si " << p.x << " " << p.y << " " << p.z << "\n";
            if (frame == 1)
                second.push_back(p);
        }
    }
    std::ofstream(dir.path("si.xyz")) << traj.str();
    const Outcome o = Tesk(dir, "--bonds --frame 2 si.xyz");
    ASSERT_EQ(o.status, 0) << o.err;
    std::set<std::tuple<int, int, int, int, int>> listed, found;
    std::istringstream lines(o.out);
    int i, j, x, y, z;
    double length;
    while (lines >> i >> j >> length >> x >> y >> z) {
        listed.insert({i, j, x, y, z});
        const glm::dvec3 d = second[j] + glm::dvec3(x, y, z) * a - second[i];
        EXPECT_NEAR(length, glm::length(d), 1e-4) << i << " " << j;
    }
    const float limit = BondLimit(13, 13);
    for (i = 0; i < 8; ++i)
        for (j = i; j < 8; ++j)
            for (x = -1; x <= 1; ++x)
                for (y = -1; y <= 1; ++y)
                    for (z = -1; z <= 1; ++z) {
                        const glm::ivec3 s(x, y, z);
                        const bool forward = s.x > 0 || (s.x == 0 && (s.y > 0 || (s.y == 0 && s.z > 0)));
                        const glm::dvec3 d = second[j] + glm::dvec3(s) * a - second[i];
                        if ((i < j || forward) && IsBondLength(float(glm::dot(d, d)), limit))
                            found.insert({i, j, x, y, z});
                    }
    EXPECT_EQ(listed.size(), 16u) << o.out;
    EXPECT_EQ(listed, found) << o.out;

    const Outcome past = Tesk(dir, "--bonds --frame 3 si.xyz");
    EXPECT_TRUE(past.status == 1 && past.out.empty() && past.err == "si.xyz has 2 frames, not 3\n") << past.err;
}

}  // namespace
