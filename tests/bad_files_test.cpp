// Whatever lies around gets opened: cut-off downloads, binary files, files
// of another format, folders. Every one of them must be refused and leave
// the structure on screen as it was.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "cmodel.h"
#include "test_support.h"

namespace {

const std::string kBad = std::string(TESK_TEST_DATA) + "/bad";

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Everything of the model that a refused read must not touch.
struct Snapshot {
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    unsigned bonds;
    int format;
    bool periodic;
    glm::dmat3 cell;
    glm::vec3 center;

    explicit Snapshot(const CModel& m)
        : xyz(m.v_float_raw_xyz), idx(m.v_atom_index), bonds(m.i_number_of_bonds), format(m.file_format),
          periodic(m.is_periodic), cell(m.m_cell_box), center(m.center_xyz) {}
    bool operator==(const Snapshot& o) const {
        return xyz == o.xyz && idx == o.idx && bonds == o.bonds && format == o.format && periodic == o.periodic &&
               cell == o.cell && center == o.center;
    }
};

class BadFiles : public ::testing::Test {
protected:
    void SetUp() override {
        good = scratch + "/good.xyz";
        std::ofstream(good) << "3\nwater\nO 0 0 0.1173\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n";
        ASSERT_TRUE(model.ReadFile(scratch, good, INPUT_FILE_TYPE_XYZ));
    }

    // Reads `path` as `format` and expects a refusal that changes nothing,
    // also for a later save: it must write the water molecule again.
    void ExpectRefused(const std::string& folder, const std::string& path, int format) {
        const Snapshot before(model);
        EXPECT_FALSE(model.ReadFile(folder, path, format)) << path;
        EXPECT_TRUE(Snapshot(model) == before) << path;
        const std::string saved = scratch + "/saved.xyz";
        ASSERT_TRUE(model.SaveFile(saved, saved, format)) << path;
        CModel again;
        ASSERT_TRUE(again.ReadFile(scratch, saved, INPUT_FILE_TYPE_XYZ)) << path;
        EXPECT_EQ(again.v_atom_index, (std::vector<unsigned>{7, 0, 0})) << path;
    }

    ScratchDir folder{"tesk-bad"};
    std::string scratch = folder.root, good;
    CModel model;
};

TEST_F(BadFiles, EveryMalformedFileOfEveryFormatIsRefused) {
    const std::pair<const char*, int> formats[] = {
        {"xyz", INPUT_FILE_TYPE_XYZ}, {"vasp", INPUT_FILE_TYPE_VSP}, {"pdb", INPUT_FILE_TYPE_PDB}};
    unsigned tried = 0;
    for (const auto& [sub, format] : formats) {
        const std::string folder = kBad + "/" + sub;
        for (const std::string& name : FilesIn(folder)) {
            ExpectRefused(folder, folder + "/" + name, format);
            ++tried;
        }
    }
    EXPECT_GE(tried, 50u);
}

TEST_F(BadFiles, AnyBadFileIsRefusedInEveryFormat) {
    // a file of one format, or none, handed to the other readers
    for (const char* sub : {"xyz", "vasp", "pdb"})
        for (const std::string& name : {std::string("binary"), std::string("empty")})
            for (int format : {INPUT_FILE_TYPE_XYZ, INPUT_FILE_TYPE_VSP, INPUT_FILE_TYPE_PDB})
                ExpectRefused(kBad + "/" + sub, kBad + "/" + sub + "/" + name, format);
}

TEST_F(BadFiles, PathsThatAreNoRegularFileAreRefused) {
    const std::string fifo = scratch + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = scratch + "/dangling";
    ASSERT_EQ(symlink((scratch + "/missing").c_str(), link.c_str()), 0);
    for (int format : {INPUT_FILE_TYPE_XYZ, INPUT_FILE_TYPE_VSP, INPUT_FILE_TYPE_PDB}) {
        ExpectRefused(scratch, scratch, format);                 // a folder
        ExpectRefused(scratch, scratch + "/missing", format);    // nothing there
        ExpectRefused(scratch, link, format);                    // a dangling link
        ExpectRefused(scratch, fifo, format);                    // must not wait for a writer
        ExpectRefused(scratch, "/dev/zero", format);             // endless device
        ExpectRefused(scratch, "", format);
    }
    if (geteuid() != 0) {  // root reads anything
        const std::string locked = scratch + "/locked.xyz";
        std::ofstream(locked) << "1\nx\nH 0 0 0\n";
        ASSERT_EQ(chmod(locked.c_str(), 0), 0);
        ExpectRefused(scratch, locked, INPUT_FILE_TYPE_XYZ);
    }
}

TEST_F(BadFiles, UnknownFormatCodesAreRefused) {
    for (int format : {-1, INPUT_FILE_TYPE_GAU, INPUT_FILE_TYPE_DLP, INPUT_FILE_TYPE_ZMT, INPUT_FILE_TYPE_UNKNOWN})
        ExpectRefused(scratch, good, format);
}

}  // namespace
