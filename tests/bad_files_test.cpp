// Whatever lies around gets opened: cut-off downloads, binary files, files of
// another format, folders, devices. Every one must be refused and leave the
// structure on screen, and what a later save writes, as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "model/model.h"
#include "test_support.h"

namespace {

// Over a crystal of each format: every bad file of that format, the junk of
// the others, paths that are no regular file and unknown format codes.
TEST(BadFiles, EveryBadPathInEveryFormatChangesNothing)
{
    ScratchDir dir("tesk-bad");
    const std::string s = dir.root, data = TESK_TEST_DATA, bad = data + "/bad/";
    ASSERT_EQ(mkfifo((s + "/fifo").c_str(), 0600), 0);  // must not wait for a writer
    ASSERT_EQ(symlink((s + "/missing").c_str(), (s + "/dangling").c_str()), 0);
    const std::string locked = s + "/locked.xyz";
    std::ofstream(locked) << "1\nx\nH 0 0 0\n";
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    for (const auto& [sub, format, good] :
         {std::tuple<std::string, int, std::string>{"xyz", INPUT_FILE_TYPE_XYZ, "/xyz/cell.xyz"},
          {"vasp", INPUT_FILE_TYPE_VSP, "/vasp/sio2-extended/POSCAR"},
          {"pdb", INPUT_FILE_TYPE_PDB, "/pdb/protein_two_chains.pdb"},
          {"cif", int(io::Format::Cif), "/formats/salt.cif"},
          {"mmcif", int(io::Format::Mmcif), "/formats/two.mmcif"},
          {"lammps-data", int(io::Format::LammpsData), "/formats/water.data"},
          {"lammps-dump", int(io::Format::LammpsDump), "/formats/two.dump"}}) {
        std::vector<std::pair<std::string, int>> cases;
        for (const auto& e : std::filesystem::directory_iterator(bad + sub))
            cases.push_back({e.path().string(), format});
        for (const char* other : {"xyz", "vasp", "pdb"})
            cases.push_back({bad + other + "/binary", format});
        for (const std::string& p : {s, s + "/missing", s + "/dangling", s + "/fifo", std::string("/dev/zero"),
                                     std::string(), geteuid() ? locked : s})
            cases.push_back({p, format});
        for (int f : {-1, 3, INPUT_FILE_TYPE_UNKNOWN})
            cases.push_back({data + good, f});
        CModel model;
        ASSERT_TRUE(model.ReadFile(s, data + good, format));
        const CModel before = model;
        for (const auto& [path, code] : cases) {
            SCOPED_TRACE(path + " as " + std::to_string(code));
            EXPECT_FALSE(model.ReadFile(s, path, code));
            EXPECT_TRUE(model.Positions() == before.Positions() && model.Elements() == before.Elements() &&
                        model.BondCount() == before.BondCount() && model.FileFormat() == before.FileFormat() &&
                        model.IsPeriodic() && model.Cell() == before.Cell() && model.Centre() == before.Centre());
            // a later save writes the structure read before, cell and all
            // (a LAMMPS dump has no writer)
            if (format == int(io::Format::LammpsDump))
                continue;
            const std::string saved = s + "/saved";
            CModel again;
            ASSERT_TRUE(model.Save(saved) && again.ReadFile(s, saved, format));
            EXPECT_TRUE(again.Elements() == before.Elements() &&
                        glm::length(again.Cell()[2] - before.Cell()[2]) < 1e-3);
            // the older formats write back exactly; CIF keeps fractions to 8 digits
            if (format <= INPUT_FILE_TYPE_PDB) {
                EXPECT_TRUE(again.Positions() == before.Positions());
            }
            for (std::size_t i = 0; i < before.Positions().size() && i < again.Positions().size(); ++i)
                EXPECT_LT(glm::length(again.Positions()[i] - before.Positions()[i]), 1e-3f) << i;
        }
        EXPECT_GE(cases.size(), format <= INPUT_FILE_TYPE_PDB ? 30u : 15u);
    }
}

// Inputs the fuzzers found faults with, kept under tests/data/fuzz/<format>/:
// whatever a reader accepts must save and read back with the same atoms.
TEST(FuzzFindings, AcceptedFilesSaveAndReadBack)
{
    ScratchDir scratch("tesk-findings");
    const std::string saved = scratch.path("saved");
    for (const auto& [sub, format] : {std::pair<const char*, int>{"xyz", INPUT_FILE_TYPE_XYZ},
                                      {"vasp", INPUT_FILE_TYPE_VSP},
                                      {"pdb", INPUT_FILE_TYPE_PDB}}) {
        const std::string folder = std::string(TESK_TEST_DATA) + "/fuzz/" + sub;
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            SCOPED_TRACE(e.path().string());
            CModel model, again;
            if (!model.ReadFile(folder, e.path().string(), format))
                continue;
            ASSERT_TRUE(model.Save(saved));
            ASSERT_TRUE(again.ReadFile(scratch.root, saved, format));
            ASSERT_EQ(again.Elements(), model.Elements());
            for (unsigned i = 0; i < model.GetTotalAtoms(); ++i)  // to the writer's precision
                for (int c = 0; c < 3; ++c) {
                    const float a = model.Positions()[i][c] + model.Centre()[c];
                    EXPECT_NEAR(again.Positions()[i][c] + again.Centre()[c], a, 2e-3f + 1e-6f * std::fabs(a));
                }
        }
    }
}

}  // namespace
