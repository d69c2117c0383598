// Files of several frames read from disk: frames found, positions and cells
// of the frame shown, refused frames, edits carried to every frame, saving.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "cmodel.h"
#include "test_support.h"

namespace {

const std::string kFrames = std::string(TESK_TEST_DATA) + "/frames/";

// position of atom i of the shown frame in the file's own coordinates
float FileX(const CModel& m, unsigned i) { return m.v_float_raw_xyz[i].x + m.frame_center_xyz.x; }

}  // namespace

TEST(Trajectory, EveryFormatStepsForwardsAndBackwards) {
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
            EXPECT_NEAR(m.m_cell_box[0][0], c.cells[std::min<std::size_t>(k, 2)], 1e-6) << k;
            EXPECT_NEAR(FileX(m, 0), k == 0 ? 0.0f : k == 1 ? c.x1 : 3.0f, 1e-4) << k;
            EXPECT_NEAR(FileX(m, 1) - FileX(m, 0), k == 1 ? c.d1 : 0.9f, 1e-4) << k;
            EXPECT_EQ(m.i_number_of_bonds, 1u) << k;  // bonds found for the frame shown
        }
        EXPECT_FALSE(m.SetFrame(c.frames)) << c.file;
        EXPECT_EQ(m.GetShownFrame(), 0u);
    }
}

TEST(Trajectory, RefusedFramesLeaveTheShownOneAndEditsReachEveryFrame) {
    CModel m;
    ASSERT_TRUE(m.ReadFile(kFrames, kFrames + "traj.xyz", INPUT_FILE_TYPE_XYZ));
    ASSERT_TRUE(m.SetFrame(1));
    const std::vector<glm::vec3> shown = m.v_float_raw_xyz;
    // frame 2 holds three atoms, frame 3 a line without numbers
    for (std::size_t bad : {2u, 3u})
        EXPECT_TRUE(!m.SetFrame(bad) && !m.frame_message.empty() && m.GetShownFrame() == 1u && m.v_float_raw_xyz == shown &&
                    m.m_cell_box[0][0] == 11.0) << bad;

    // the oxygen deleted and the hydrogen made nitrogen: so in every frame;
    // an edit undone reaches no frame
    m.ChangeAtom(1, 5);
    m.DeleteAtom(0);
    ASSERT_TRUE(m.Undo() && m.Undo());
    m.DeleteAtom(0);
    m.ChangeAtom(0, 6);
    ASSERT_TRUE(m.SetFrame(4) && m.v_atom_index == std::vector<unsigned>{6u});
    EXPECT_NEAR(FileX(m, 0), 3.9f, 1e-4);

    // XYZ and PDB models get every frame that can be shown, and say which
    // were left out; a POSCAR gets the shown one, and says so
    ScratchDir dir;
    ASSERT_TRUE(m.SaveFile(dir.root, dir.path("all.xyz"), INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(m.GetShownFrame(), 4u);
    EXPECT_NE(m.notes.find("2 frames (the first: frame 3)"), std::string::npos) << m.notes;
    ASSERT_TRUE(m.SaveFileAs(dir.path("all.pdb"), INPUT_FILE_TYPE_PDB));
    ASSERT_TRUE(m.SaveFileAs(dir.path("shown.vasp"), INPUT_FILE_TYPE_VSP));
    EXPECT_NE(m.notes.find("frame 5 of 5 was written"), std::string::npos) << m.notes;
    for (const char* name : {"all.xyz", "all.pdb"}) {
        CModel back;
        const int format = name[4] == 'x' ? INPUT_FILE_TYPE_XYZ : INPUT_FILE_TYPE_PDB;
        ASSERT_TRUE(back.ReadFile(dir.root, dir.path(name), format) && back.GetFrameCount() == 3u) << name;
        for (std::size_t k = 0; k < 3; ++k) {  // frames 0, 1 and 4 of the file
            ASSERT_TRUE(back.SetFrame(k) && back.v_atom_index == std::vector<unsigned>{6u});
            EXPECT_NEAR(FileX(back, 0), 0.9f + float(k) + (k == 2), 1e-3) << name << k;
            if (format == INPUT_FILE_TYPE_XYZ)  // PDB has one CRYST1 for all models
                EXPECT_NEAR(back.m_cell_box[0][0], 10.0 + double(k), 1e-6) << k;
        }
    }
    CModel back;
    ASSERT_TRUE(back.ReadFile(dir.root, dir.path("shown.vasp"), INPUT_FILE_TYPE_VSP) && back.GetFrameCount() == 1u);
    EXPECT_NEAR(FileX(back, 0), 3.9f, 1e-3);
}

TEST(Trajectory, OneStructureIsOneFrameAndACutFileKeepsItsWholeFrames) {
    ScratchDir dir;
    std::string big;  // frames that run across the reading chunks of the index (1 MiB)
    for (int k = 0; k < 3; ++k) {
        big += "40000\n\n";
        for (int i = 0; i < 40000; ++i) big += "H " + std::to_string(5 * i) + " " + std::to_string(k) + " 0\n";
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
        ASSERT_TRUE(m.ReadFile(dir.root, dir.path("t.xyz"), INPUT_FILE_TYPE_XYZ) && m.GetFrameCount() == c.frames) << c.frames;
        EXPECT_TRUE(m.SetFrame(c.frames - 1) == c.last_readable && !m.SetFrame(c.frames)) << c.frames;
    }
}
