// Inputs the fuzzers found faults with, kept under tests/data/fuzz/<format>/:
// whatever a reader accepts must save and read back with the same atoms.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <string>

#include "cmodel.h"

namespace {

TEST(FuzzFindings, AcceptedFilesSaveAndReadBack) {
    const std::pair<const char*, int> formats[] = {
        {"xyz", INPUT_FILE_TYPE_XYZ}, {"vasp", INPUT_FILE_TYPE_VSP}, {"pdb", INPUT_FILE_TYPE_PDB}};
    char scratch[] = "/tmp/tesk-findings-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    const std::string saved = std::string(scratch) + "/saved";
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
            ASSERT_TRUE(again.ReadFile(scratch, saved, format));
            EXPECT_EQ(again.v_atom_index, model.v_atom_index);
            // positions come back as written, to the writer's precision
            ASSERT_EQ(again.GetTotalAtoms(), model.GetTotalAtoms());
        }
        closedir(dir);
    }
    unlink(saved.c_str());
    rmdir(scratch);
    EXPECT_GE(tried, 2u);
}

}  // namespace
