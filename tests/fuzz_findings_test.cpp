// Inputs the fuzzers found faults with, kept under tests/data/fuzz/<format>/:
// whatever a reader accepts must save and read back with the same atoms.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cmath>
#include <string>

#include "cmodel.h"
#include "test_support.h"

namespace {

TEST(FuzzFindings, AcceptedFilesSaveAndReadBack) {
    const std::pair<const char*, int> formats[] = {
        {"xyz", INPUT_FILE_TYPE_XYZ}, {"vasp", INPUT_FILE_TYPE_VSP}, {"pdb", INPUT_FILE_TYPE_PDB}};
    ScratchDir scratch("tesk-findings");
    const std::string saved = scratch.path("saved");
    unsigned tried = 0;
    for (const auto& [sub, format] : formats) {
        const std::string folder = std::string(TESK_TEST_DATA) + "/fuzz/" + sub;
        DIR* dir = opendir(folder.c_str());
        if (!dir) continue;
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            const std::string path = folder + "/" + e->d_name;
            SCOPED_TRACE(path);
            ++tried;
            CModel model;
            if (!model.ReadFile(folder, path, format)) continue;
            ASSERT_TRUE(model.SaveFile(saved, saved, format));
            CModel again;
            ASSERT_TRUE(again.ReadFile(scratch.root, saved, format));
            EXPECT_EQ(again.v_atom_index, model.v_atom_index);
            // positions come back as written, to the writer's precision
            ASSERT_EQ(again.GetTotalAtoms(), model.GetTotalAtoms());
            for (unsigned i = 0; i < model.GetTotalAtoms(); ++i)
                for (int c = 0; c < 3; ++c) {
                    const float a = model.v_float_raw_xyz[i][c] + model.center_xyz[c];
                    const float b = again.v_float_raw_xyz[i][c] + again.center_xyz[c];
                    EXPECT_NEAR(b, a, 2e-3f + 1e-6f * std::fabs(a)) << "atom " << i;
                }
        }
        closedir(dir);
    }
    EXPECT_GE(tried, 2u);
}

}  // namespace
