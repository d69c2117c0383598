// Files of several frames read from disk: frames found, positions and cells
// of the frame shown, refused frames, edits carried to every frame, saving.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "model/model.h"
#include "io/trajectory.h"
#include "test_support.h"

namespace {

const std::string kFrames = std::string(TESK_TEST_DATA) + "/frames/";

// position of atom i of the shown frame in the file's own coordinates
float FileX(const CModel& m, unsigned i)
{
    return m.Positions()[i].x + m.FrameCentre().x;
}

}  // namespace

TEST(Trajectory, EveryFormatStepsForwardsAndBackwards)
{
    const struct {
        const char* file;
        int format;
        std::size_t frames, last;  // `last`: a frame near the end, O at x = 3, H at 3.9
        double cells[3];           // cell edge of frames 0, 1 and `last`
        float x1, d1;              // frame 1: O at x1, H d1 further
    } cases[] = {
        {"traj.xyz", INPUT_FILE_TYPE_XYZ, 5, 4, {10, 11, 12}, 1.0f, 0.9f},
        {"XDATCAR", INPUT_FILE_TYPE_VSP, 3, 2, {10, 10, 10}, 1.0f, 0.9f},
        {"XDATCAR_npt", INPUT_FILE_TYPE_VSP, 3, 2, {10, 11, 12}, 1.1f, 0.99f},
        {"models.pdb", INPUT_FILE_TYPE_PDB, 3, 2, {10, 10, 10}, 1.0f, 0.9f},
    };
    for (const auto& c : cases) {
        CModel m;
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(m.ReadFile(kFrames, kFrames + c.file, c.format));
        EXPECT_EQ(m.GetFrameCount(), c.frames);
        for (std::size_t k : {c.last, std::size_t(0), std::size_t(1), c.last, std::size_t(0)}) {
            ASSERT_TRUE(m.SetFrame(k) && m.GetShownFrame() == k) << k;
            EXPECT_NEAR(m.Cell()[0][0], c.cells[std::min<std::size_t>(k, 2)], 1e-6) << k;
            EXPECT_NEAR(FileX(m, 0), k == 0 ? 0.0f : k == 1 ? c.x1 : 3.0f, 1e-4) << k;
            EXPECT_NEAR(FileX(m, 1) - FileX(m, 0), k == 1 ? c.d1 : 0.9f, 1e-4) << k;
            EXPECT_EQ(m.BondCount(), 1u) << k;  // bonds found for the frame shown
        }
        EXPECT_FALSE(m.SetFrame(c.frames)) << c.file;
        EXPECT_EQ(m.GetShownFrame(), 0u);
    }
}

TEST(Trajectory, RefusedFramesLeaveTheShownOneAndEditsReachEveryFrame)
{
    CModel m;
    ASSERT_TRUE(m.ReadFile(kFrames, kFrames + "traj.xyz", INPUT_FILE_TYPE_XYZ));
    ASSERT_TRUE(m.SetFrame(1));
    const std::vector<glm::vec3> shown = m.Positions();
    // frame 2 holds three atoms, frame 3 a line without numbers
    for (std::size_t bad : {2u, 3u})
        EXPECT_TRUE(!m.SetFrame(bad) && !m.FrameMessage().empty() && m.GetShownFrame() == 1u &&
                    m.Positions() == shown && m.Cell()[0][0] == 11.0)
            << bad;

    // the oxygen deleted and the hydrogen made nitrogen: so in every frame;
    // an edit undone reaches no frame
    m.ChangeAtom(1, 5);
    m.DeleteAtom(0);
    ASSERT_TRUE(m.Undo() && m.Undo());
    m.DeleteAtom(0);
    m.ChangeAtom(0, 6);
    ASSERT_TRUE(m.SetFrame(4) && m.Elements() == std::vector<unsigned>{6u});
    EXPECT_NEAR(FileX(m, 0), 3.9f, 1e-4);

    // XYZ and PDB models get every frame that can be shown, and say which
    // were left out; a POSCAR gets the shown one, and says so
    ScratchDir dir;
    ASSERT_TRUE(m.Save(dir.path("all.xyz")));
    EXPECT_EQ(m.GetShownFrame(), 4u);
    EXPECT_NE(m.Notes().find("2 frames (the first: frame 3)"), std::string::npos) << m.Notes();
    ASSERT_TRUE(m.SaveFileAs(dir.path("all.pdb"), INPUT_FILE_TYPE_PDB));
    ASSERT_TRUE(m.SaveFileAs(dir.path("shown.vasp"), INPUT_FILE_TYPE_VSP));
    EXPECT_NE(m.Notes().find("frame 5 of 5 was written"), std::string::npos) << m.Notes();
    for (const char* name : {"all.xyz", "all.pdb"}) {
        CModel back;
        const int format = name[4] == 'x' ? INPUT_FILE_TYPE_XYZ : INPUT_FILE_TYPE_PDB;
        ASSERT_TRUE(back.ReadFile(dir.root, dir.path(name), format) && back.GetFrameCount() == 3u) << name;
        for (std::size_t k = 0; k < 3; ++k) {  // frames 0, 1 and 4 of the file
            ASSERT_TRUE(back.SetFrame(k) && back.Elements() == std::vector<unsigned>{6u});
            EXPECT_NEAR(FileX(back, 0), 0.9f + float(k) + (k == 2), 1e-3) << name << k;
            if (format == INPUT_FILE_TYPE_XYZ) {  // PDB has one CRYST1 for all models
                EXPECT_NEAR(back.Cell()[0][0], 10.0 + double(k), 1e-6) << k;
            }
        }
    }
    CModel back;
    ASSERT_TRUE(back.ReadFile(dir.root, dir.path("shown.vasp"), INPUT_FILE_TYPE_VSP) && back.GetFrameCount() == 1u);
    EXPECT_NEAR(FileX(back, 0), 3.9f, 1e-3);
}

TEST(Trajectory, OneStructureIsOneFrameAndACutFileKeepsItsWholeFrames)
{
    ScratchDir dir;
    std::string big;  // frames that run across the reading chunks of the index (1 MiB)
    for (int k = 0; k < 3; ++k) {
        big += "40000\n\n";
        for (int i = 0; i < 40000; ++i)
            big += "H " + std::to_string(5 * i) + " " + std::to_string(k) + " 0\n";
    }
    const struct {
        std::string text;
        std::size_t frames;
        bool last_readable;
    } cases[] = {{"2\n\nO 0 0 0\nH 0.9 0 0\n", 1, true},
                 {"1\n\nO 0 0 0\n1\n\nO 1 0 0\n1\n\nO 2 0 0\n\n\n", 3, true},  // then text that starts no frame
                 {"1\n\nO 0 0 0\n1\n\nO 1 0 0\nnot a frame\n1\n\nO 2 0 0\n", 2, true},
                 {"1\n\nO 0 0 0\n2\n\nO 1 0 0\n", 2, false},  // a last frame cut short
                 {big, 3, true}};
    for (const auto& c : cases) {
        std::ofstream(dir.path("t.xyz")) << c.text;
        CModel m;
        ASSERT_TRUE(m.ReadFile(dir.root, dir.path("t.xyz"), INPUT_FILE_TYPE_XYZ) && m.GetFrameCount() == c.frames)
            << c.frames;
        EXPECT_TRUE(m.SetFrame(c.frames - 1) == c.last_readable && !m.SetFrame(c.frames)) << c.frames;
    }
}

namespace {

// The bonds of the shown structure as sorted atom pairs.
std::vector<std::pair<unsigned, unsigned>> Bonds(const CModel& m)
{
    std::vector<std::pair<unsigned, unsigned>> pairs;
    for (unsigned b = 0; b < m.BondCount(); ++b)
        pairs.emplace_back(m.BondPairs()[b].x, m.BondPairs()[b].y);
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

// An XDATCAR frame with a header of its own: title, cell edge `a`, "O H" with
// these counts, then the configuration line unless `configuration` is off.
std::string XdatcarFrame(const std::string& title, double a, int o, int h, int number, bool configuration = true)
{
    std::string text = title + "\n1\n" + std::to_string(a) + " 0 0\n0 " + std::to_string(a) + " 0\n0 0 " +
                       std::to_string(a) + "\nO H\n" + std::to_string(o) + " " + std::to_string(h) + "\n";
    if (configuration)
        text += "Direct configuration= " + std::to_string(number) + "\n";
    for (int i = 0; i < o + h; ++i)
        text += "0." + std::to_string(i + 1) + " 0.5 0.5\n";
    return text;
}

}  // namespace

// Every frame's bonds are those a fresh read of that frame alone finds, on
// frames that stretch, shrink and move a chain long enough for the grid.
TEST(Trajectory, EveryFramesBondsAreThoseOfAFreshRead)
{
    ScratchDir dir;
    const int atoms = 1500;
    const double spacing[] = {1.4, 3.0, 1.1, 1.4};
    std::vector<std::string> frames;
    unsigned seed = 7;
    for (int k = 0; k < 4; ++k) {
        std::string text = std::to_string(atoms) + "\nframe " + std::to_string(k) + "\n";
        for (int i = 0; i < atoms; ++i) {
            seed = seed * 1103515245u + 12345u;
            const double wobble = double((seed >> 16) % 1000) / 1000.0 * 0.6;  // neighbours change between frames
            const double x = spacing[k] * i + (k == 3 ? 250.0 : 0.0), y = (i % 2) * 0.7 + wobble;
            text += "C " + std::to_string(x) + " " + std::to_string(y) + " 0\n";
        }
        frames.push_back(text);
    }
    std::ofstream(dir.path("all.xyz")) << frames[0] + frames[1] + frames[2] + frames[3];
    CModel m;
    ASSERT_TRUE(m.ReadFile(dir.root, dir.path("all.xyz"), INPUT_FILE_TYPE_XYZ) && m.GetFrameCount() == 4u);
    for (std::size_t k : {1u, 2u, 3u, 0u, 2u}) {
        std::ofstream(dir.path("one.xyz")) << frames[k];
        CModel fresh;
        ASSERT_TRUE(m.SetFrame(k) && fresh.ReadFile(dir.root, dir.path("one.xyz"), INPUT_FILE_TYPE_XYZ));
        EXPECT_EQ(Bonds(m), Bonds(fresh)) << "frame " << k;
    }
}

// A line longer than the indexer's limit ends the frames and is refused when
// its first MiB is in, with its number; a line of exactly the limit reads,
// as a count line or a comment line. A tail of zeros left by a crash ends
// the frames without costing its length.
TEST(Trajectory, LongLinesAreRefusedEarlyAndAZeroTailEndsTheFrames)
{
    ScratchDir dir;
    const std::size_t most = CTrajectory::MAX_LINE;
    for (const std::size_t length : {most, most + 1})
        for (const std::string& start : {std::string("1"), std::string("1\nc")}) {
            const std::size_t line = start.size() == 1 ? 1 : 2;
            SCOPED_TRACE(std::to_string(length) + " in line " + std::to_string(line));
            std::ofstream(dir.path("long.xyz"))
                << start + std::string(length - 1, ' ') + (line == 1 ? "\n\n" : "\n") << "H 0 0 0\n1\n\nH 1 0 0\n";
            CTrajectory index;
            ASSERT_TRUE(index.Open(dir.path("long.xyz"), INPUT_FILE_TYPE_XYZ));
            EXPECT_EQ(index.GetFrameCount(), length == most ? 2u : 1u);
            CModel m;
            EXPECT_EQ(m.ReadFile(dir.root, dir.path("long.xyz"), INPUT_FILE_TYPE_XYZ), length == most);
            EXPECT_EQ(m.Notes(), length == most ? ""
                                                : "line " + std::to_string(line) +
                                                      " is longer than 1 MiB: no structure file has such lines");
        }
    std::ofstream(dir.path("tail.xyz")) << "1\n\nO 0 0 0\n1\n\nO 1 0 0\n" + std::string(3 * most, '\0');
    CModel m;
    ASSERT_TRUE(m.ReadFile(dir.root, dir.path("tail.xyz"), INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(m.GetFrameCount(), 2u);
    EXPECT_TRUE(m.SetFrame(1) && !m.SetFrame(2));
}

// XDATCAR frames with a cell each: a title holding "configuration", a frame
// with another atom count, a frame without its configuration line; each bad
// frame is refused alone and the good ones after it read.
TEST(Trajectory, XdatcarFramesAfterBadOnesStayReadable)
{
    ScratchDir dir;
    const struct {
        std::string text;
        std::size_t frames;
        std::vector<bool> readable;
    } cases[] = {
        {XdatcarFrame("configuration test", 10, 1, 1, 1) + XdatcarFrame("configuration test", 11, 1, 1, 2) +
             XdatcarFrame("configuration test", 12, 1, 1, 3),
         3,
         {true, true, true}},
        {XdatcarFrame("w", 10, 1, 1, 1) + XdatcarFrame("w", 11, 1, 2, 2) + XdatcarFrame("w", 12, 1, 1, 3),
         3,
         {true, false, true}},
        {XdatcarFrame("w", 10, 1, 1, 1) + "0.1 0.5 0.5\n0.2 0.5 0.5\n" +
             "Direct configuration= 3\n0.3 0.5 0.5\n0.4 0.5 0.5\n",
         3,
         {true, false, true}},
    };
    for (const auto& c : cases) {
        std::ofstream(dir.path("XDATCAR")) << c.text;
        CModel m;
        ASSERT_TRUE(m.ReadFile(dir.root, dir.path("XDATCAR"), INPUT_FILE_TYPE_VSP));
        EXPECT_EQ(m.GetFrameCount(), c.frames) << c.text;
        for (std::size_t k = 0; k < c.readable.size(); ++k)
            EXPECT_EQ(m.SetFrame(k), c.readable[k]) << k << c.text;
    }
}

// A Wrap reaches every frame a save writes, and its undo takes it back.
TEST(Trajectory, WrapIsSavedInEveryFrameUntilUndone)
{
    ScratchDir dir;
    std::ofstream(dir.path("t.xyz")) << "2\nLattice=\"4 0 0 0 4 0 0 0 4\" time=0.5\nO -1 1 1\nH 5 1 1\n"
                                        "2\nLattice=\"4 0 0 0 4 0 0 0 4\" time=1.0\nO -1.5 1 1\nH 9 1 1\n";
    CModel m;
    ASSERT_TRUE(m.ReadFile(dir.root, dir.path("t.xyz"), INPUT_FILE_TYPE_XYZ) && m.Wrap());
    for (const bool undone : {false, true}) {
        ASSERT_TRUE(m.SaveFileAs(dir.path("out.xyz"), INPUT_FILE_TYPE_XYZ));
        const std::string saved = Slurp(dir.path("out.xyz"));
        EXPECT_EQ(saved,
                  undone ? "2\nLattice=\"4 0 0 0 4 0 0 0 4\" Properties=species:S:1:pos:R:3 pbc=\"T T T\" time=0.5\n"
                           "O                -1               1               1\n"
                           "H                 5               1               1\n"
                           "2\nLattice=\"4 0 0 0 4 0 0 0 4\" Properties=species:S:1:pos:R:3 pbc=\"T T T\" time=1.0\n"
                           "O              -1.5               1               1\n"
                           "H                 9               1               1\n"
                         : "2\nLattice=\"4 0 0 0 4 0 0 0 4\" Properties=species:S:1:pos:R:3 pbc=\"T T T\" time=0.5\n"
                           "O                 3               1               1\n"
                           "H                 1               1               1\n"
                           "2\nLattice=\"4 0 0 0 4 0 0 0 4\" Properties=species:S:1:pos:R:3 pbc=\"T T T\" time=1.0\n"
                           "O               2.5               1               1\n"
                           "H                 1               1               1\n")
            << saved;
        ASSERT_TRUE(undone || m.Undo());
    }
}

// A byte-order mark before the first line is skipped by every reader.
TEST(Trajectory, ByteOrderMarksAreSkipped)
{
    ScratchDir dir;
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char* name;
        int format;
        std::string text;
        std::size_t atoms, frames;
    } cases[] = {
        {"t.xyz", INPUT_FILE_TYPE_XYZ, bom + "1\n\nO 0 0 0\n1\n\nO 1 0 0\n", 1, 2},
        {"t.pdb", INPUT_FILE_TYPE_PDB,
         bom + "ATOM      1  O   HOH A   1       0.000   0.000   0.000  1.00  0.00           O\n"
               "ATOM      2  H   HOH A   1       0.900   0.000   0.000  1.00  0.00           H\nEND\n",
         2, 1},
        {"POSCAR", INPUT_FILE_TYPE_VSP, bom + "w\n1\n5 0 0\n0 5 0\n0 0 5\nO H\n1 1\nDirect\n0 0 0\n0.2 0 0\n", 2, 1},
    };
    for (const auto& c : cases) {
        std::ofstream(dir.path(c.name)) << c.text;
        CModel m;
        ASSERT_TRUE(m.ReadFile(dir.root, dir.path(c.name), c.format)) << c.name;
        EXPECT_TRUE(m.GetTotalAtoms() == c.atoms && m.GetFrameCount() == c.frames && m.Elements()[0] == 7u) << c.name;
    }
}

// A saved extended-XYZ trajectory reads in ASE: every frame with its cell,
// pbc flags, the key=value pairs of its comment and columns that match.
TEST(Trajectory, SavedFramesReadInAse)
{
    if (!HasPython("ase"))
        GTEST_SKIP() << "python3-ase is not installed";
    ScratchDir dir;
    std::ofstream(dir.path("t.xyz")) << "2\nLattice=\"4 0 0 0 4 0 0 0 5\" Properties=species:S:1:pos:R:3:q:R:1 "
                                        "pbc=\"T T F\" time=0.5\nO 0 1 1 0.1\nH 0.9 1 1 0.2\n"
                                        "1\nProperties=species:S:1:pos:R:3:q:R:1 energy=-3.2\nO 1.188 1 1 0.1\n";
    CModel m;
    ASSERT_TRUE(m.ReadFile(dir.root, dir.path("t.xyz"), INPUT_FILE_TYPE_XYZ));
    ASSERT_TRUE(m.SaveFileAs(dir.path("out.xyz"), INPUT_FILE_TYPE_XYZ));
    CModel second;  // the frame with another atom count is left out of a save; alone it saves
    std::ofstream(dir.path("one.xyz")) << "1\nProperties=species:S:1:pos:R:3:q:R:1 energy=-3.2\nO 1.188 1 1 0.1\n";
    ASSERT_TRUE(second.ReadFile(dir.root, dir.path("one.xyz"), INPUT_FILE_TYPE_XYZ));
    ASSERT_TRUE(second.SaveFileAs(dir.path("one-out.xyz"), INPUT_FILE_TYPE_XYZ));
    const std::string script =
        "import ase.io, sys\n"
        "for f in sys.argv[1:]:\n"
        "  for a in ase.io.read(f, index=':'):\n"
        "    print(a.get_chemical_symbols(), a.cell.lengths().tolist(), a.pbc.tolist(), "
        "sorted(a.info.items()), a.positions[0].tolist())\n";
    std::ofstream(dir.path("check.py")) << script;
    const Outcome seen =
        Python(dir.path("check.py") + " " + dir.path("out.xyz") + " " + dir.path("one-out.xyz") + " 2>&1");
    EXPECT_EQ(seen.status, 0) << seen.out;
    EXPECT_EQ(seen.out,
              "['O', 'H'] [4.0, 4.0, 5.0] [True, True, False] [('time', 0.5)] [0.0, 1.0, 1.0]\n"
              "['O'] [0.0, 0.0, 0.0] [False, False, False] [('energy', -3.2)] [1.188, 1.0, 1.0]\n");
    EXPECT_NE(m.Notes().find("1 frame (the first: frame 2)"), std::string::npos) << m.Notes();
}
