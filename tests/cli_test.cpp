// The command line of the real program, format detection on files on disk,
// and conversion between every pair of formats with the result read back.
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include <sys/wait.h>

#include "cformat.h"
#include "cmodel.h"
#include "test_support.h"

namespace {

const std::string EXAMPLES = std::string(TESK_SOURCE_DIR) + "/examples";

struct Outcome {
    int status;
    std::string out, err;
};

// The program with `args` (shell words), its exit status and output.
Outcome Tesk(const ScratchDir& dir, const std::string& args, const std::string& before = "") {
    const std::string out = dir.path("stdout"), err = dir.path("stderr");
    const int raw = std::system(("sh -c 'cd " + dir.root + " && " + before + TESK_BINARY + " " + args + " >" + out +
                                 " 2>" + err + " </dev/null'").c_str());
    return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000, Slurp(out), Slurp(err)};
}

TEST(CommandLine, HelpVersionAndMisuseFromTheProgram) {
    ScratchDir dir("tesk_cli");
    // none of these needs a display
    const struct { const char* args; int status; const char* starts; } rows[] = {
        {"x --help --bogus", 0, "Usage: tesk [OPTIONS] [FILE]\n"}, {"-V", 0, "Tesk "},
        {"--frobnicate x.xyz", 2, "tesk: unknown option --frobnicate\nUsage: tesk"},
        {"--format gaussian x", 2, "tesk: "}, {"a b", 2, "tesk: "}, {"--to xyz a", 2, "tesk: "}};
    for (const auto& r : rows) {
        const Outcome o = Tesk(dir, r.args);
        EXPECT_EQ(o.status, r.status) << r.args;
        EXPECT_EQ((r.status ? o.err : o.out).find(r.starts), 0u) << r.args << ": " << o.out << o.err;
        EXPECT_EQ(r.status ? o.out : o.err, "") << r.args;
    }
}

TEST(Detection, ByNameFirstThenByContent) {
    ScratchDir dir("tesk_detect");
    const std::string pdb = "REMARK   made by hand\nATOM      1  C   LIG     1       0.000   0.000   0.000\n",
                      xyz = "2\nwater part\nO 0 0 0\nH 0 0 1\n", vasp = "Si\n1.0\n5 0 0\n0 5 0\n0 0 5\nSi\n1\nDirect\n0 0 0\n";
    const std::tuple<const char*, std::string, int> cases[] = {
        {"b.EXTXYZ", vasp, INPUT_FILE_TYPE_XYZ},  // the name wins
        {"d.ent", xyz, INPUT_FILE_TYPE_PDB},       {"f.poscar", xyz, INPUT_FILE_TYPE_VSP},
        {"POSCAR_relaxed", xyz, INPUT_FILE_TYPE_VSP}, {"g.txt", pdb, INPUT_FILE_TYPE_PDB},  // then the content
        {"h", xyz, INPUT_FILE_TYPE_XYZ},           {"i.dat", vasp, INPUT_FILE_TYPE_VSP},
        {"run7", "7" + vasp.substr(2), INPUT_FILE_TYPE_VSP},  // a title that looks like a count
        {"notes.txt", "some words\n", INPUT_FILE_TYPE_UNKNOWN}};
    for (const auto& [name, text, expected] : cases) {
        std::ofstream(dir.path(name)) << text;
        EXPECT_EQ(DetectFormat(dir.path(name)), expected) << name;
    }
    EXPECT_EQ(DetectFormat(dir.root), INPUT_FILE_TYPE_UNKNOWN);
}

TEST(Convert, EveryPairOfFormatsReadsBackTheSameStructure) {
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
            EXPECT_TRUE(r.status == 0 && (r.out + r.err).empty()) << src << " -> " << to << ": " << r.out;
            // a molecule written as VASP gets its box as a cell
            ExpectSameStructure(a, ReadBack(out), a.periodic || to != "vasp", src + " -> " + to);
        }
    }
    // the cell of an XYZ file is the extended-XYZ Lattice other programs read
    const std::string xyz = Slurp(dir.path("out3.xyz"));
    EXPECT_EQ(xyz.find("\nLattice=\"4.594 0 0 0 4.594 0 0 0 2.959\""), xyz.find('\n')) << xyz;
}

TEST(Convert, FormatsForcedAndFailuresInOneLineKeepingTheOldFile) {
    ScratchDir dir("tesk_convert_fail");
    std::ofstream(dir.path("water.txt")) << Slurp(EXAMPLES + "/water.xyz");
    std::ofstream(dir.path("old.pdb")) << "old content\n";
    std::ofstream(dir.path("words")) << "nothing here\n";

    // names that tell nothing, formats given
    Outcome r = Tesk(dir, "--format xyz --to pdb --convert water.txt water.out");
    EXPECT_EQ(ReadBack(dir.path("water.out")).e.size(), 3u) << "PDB, told from its records";

    const std::pair<std::string, std::string> cases[] = {
        {"--convert missing.xyz a.pdb", "missing.xyz: no such file\n"},
        {"--convert words a.pdb", "Could not tell the format of words; name it with --format\n"},
        {"--format pdb --convert water.txt a.xyz", "water.txt: holds no ATOM or HETATM record\n"},
        {"--format xyz --convert water.txt a.out", "Could not tell the format to write a.out in; name it with --to\n"},
        {"--format xyz --convert water.txt nofolder/a.pdb", "Could not save nofolder/a.pdb\n"},
    };
    for (const auto& [args, line] : cases) {
        r = Tesk(dir, args);
        EXPECT_TRUE(r.status == 1 && r.err == line && r.out.empty()) << args << ": " << r.out << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path("a.pdb")));

    // a disk that fills up during the write (a file size limit of 512
    // bytes, less than the file needs): the old file stays as it was and
    // nothing is left beside it
    r = Tesk(dir, "--convert " + EXAMPLES + "/ethanol.pdb old.pdb", "trap \"\" XFSZ; ulimit -f 1; ");
    EXPECT_TRUE(r.status == 1 && r.err == "Could not save old.pdb\n") << r.err;
    EXPECT_EQ(Slurp(dir.path("old.pdb")), "old content\n");
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.root)) files += entry.is_regular_file();
    EXPECT_EQ(files, 6u) << "water.txt, water.out, old.pdb, words and the captured stdout, stderr";
}

}  // namespace
