// Whatever lies around gets opened: cut-off downloads, binary files, files of
// another format, folders, devices. Every one must be refused and leave the
// structure on screen, and what a later save writes, as it was.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "cmodel.h"
#include "test_support.h"

namespace {

TEST(BadFiles, EveryBadPathInEveryFormatChangesNothing) {
    ScratchDir dir("tesk-bad");
    const std::string s = dir.root, good = s + "/good.xyz", bad = std::string(TESK_TEST_DATA) + "/bad/";
    std::ofstream(good) << "3\nwater\nO 0 0 0.1173\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n";
    CModel model;
    ASSERT_TRUE(model.ReadFile(s, good, INPUT_FILE_TYPE_XYZ));
    ASSERT_EQ(mkfifo((s + "/fifo").c_str(), 0600), 0);  // must not wait for a writer
    ASSERT_EQ(symlink((s + "/missing").c_str(), (s + "/dangling").c_str()), 0);
    const std::string locked = s + "/locked.xyz";
    std::ofstream(locked) << "1\nx\nH 0 0 0\n";
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);

    const int formats[] = {INPUT_FILE_TYPE_XYZ, INPUT_FILE_TYPE_VSP, INPUT_FILE_TYPE_PDB};
    std::vector<std::pair<std::string, int>> cases;
    for (const char* sub : {"xyz", "vasp", "pdb"}) {
        const int own = sub[0] == 'x' ? formats[0] : sub[0] == 'v' ? formats[1] : formats[2];
        if (DIR* d = opendir((bad + sub).c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') cases.push_back({bad + sub + "/" + e->d_name, own});
            closedir(d);
        }
        for (int f : formats) cases.push_back({bad + sub + "/binary", f});  // another format's junk
    }
    EXPECT_GE(cases.size(), 59u);
    for (int f : formats)
        for (const std::string& p : {s, s + "/missing", s + "/dangling", s + "/fifo", std::string("/dev/zero"),
                                     std::string(), geteuid() ? locked : s})
            cases.push_back({p, f});
    for (int f : {-1, INPUT_FILE_TYPE_GAU, INPUT_FILE_TYPE_UNKNOWN}) cases.push_back({good, f});

    const CModel before = model;
    for (const auto& [path, format] : cases) {
        SCOPED_TRACE(path + " as " + std::to_string(format));
        EXPECT_FALSE(model.ReadFile(s, path, format));
        EXPECT_TRUE(model.v_float_raw_xyz == before.v_float_raw_xyz && model.v_atom_index == before.v_atom_index &&
                    model.i_number_of_bonds == before.i_number_of_bonds && model.file_format == before.file_format &&
                    model.is_periodic == before.is_periodic && model.m_cell_box == before.m_cell_box &&
                    model.center_xyz == before.center_xyz);
        const std::string saved = s + "/saved.xyz";
        ASSERT_TRUE(model.SaveFile(saved, saved, format));
        CModel again;
        ASSERT_TRUE(again.ReadFile(s, saved, INPUT_FILE_TYPE_XYZ));
        EXPECT_EQ(again.v_atom_index, (std::vector<unsigned>{7, 0, 0}));
    }
}

}  // namespace
