// Inputs the fuzzers found faults with, kept under tests/data/fuzz/<format>/:
// whatever a reader accepts must save and read back with the same atoms.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cmath>
#include <string>

#include "cmodel.h"
#include "test_support.h"

TEST(FuzzFindings, AcceptedFilesSaveAndReadBack) {
    ScratchDir scratch("tesk-findings");
    const std::string saved = scratch.path("saved");
    unsigned tried = 0;
    for (const auto& [sub, format] : {std::pair<const char*, int>{"xyz", INPUT_FILE_TYPE_XYZ},
                                      {"vasp", INPUT_FILE_TYPE_VSP}, {"pdb", INPUT_FILE_TYPE_PDB}}) {
        const std::string folder = std::string(TESK_TEST_DATA) + "/fuzz/" + sub;
        DIR* dir = opendir(folder.c_str());
        while (dirent* e = dir ? readdir(dir) : nullptr) {
            if (e->d_name[0] == '.') continue;
            SCOPED_TRACE(e->d_name);
            ++tried;
            CModel model, again;
            if (!model.ReadFile(folder, folder + "/" + e->d_name, format)) continue;
            ASSERT_TRUE(model.SaveFile(saved, saved, format));
            ASSERT_TRUE(again.ReadFile(scratch.root, saved, format));
            ASSERT_EQ(again.v_atom_index, model.v_atom_index);
            for (unsigned i = 0; i < model.GetTotalAtoms(); ++i)  // to the writer's precision
                for (int c = 0; c < 3; ++c) {
                    const float a = model.v_float_raw_xyz[i][c] + model.center_xyz[c];
                    EXPECT_NEAR(again.v_float_raw_xyz[i][c] + again.center_xyz[c], a, 2e-3f + 1e-6f * std::fabs(a));
                }
        }
        if (dir) closedir(dir);
    }
    EXPECT_GE(tried, 2u);
}
