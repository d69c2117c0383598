// The XYZ reader and writer on real files: the count line, the cell of the
// comment line, atom lines, refused files and the written layout.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cmodel.h"
#include "cxyz.h"

namespace {

const std::string kData = std::string(TESK_TEST_DATA) + "/xyz/";

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Xyz : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/tesk-xyz-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0); }

    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    bool Read(const std::string& path) { return reader.ReadFile(dir, path, xyz, idx); }

    std::string dir;
    CXyz reader;
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
};

TEST_F(Xyz, WaterGivesOxygenAndTwoHydrogensWithoutCell) {
    ASSERT_TRUE(Read(kData + "water.xyz"));
    EXPECT_EQ(idx, (std::vector<unsigned>{7, 0, 0}));
    ASSERT_EQ(xyz.size(), 3u);
    EXPECT_FLOAT_EQ(xyz[1].y, 0.7572f);
    EXPECT_FLOAT_EQ(xyz[2].z, -0.4692f);
    EXPECT_FALSE(reader.is_periodic);
    EXPECT_EQ(reader.GetTotalAtoms(), 3u);
    EXPECT_EQ(reader.header_lines, 1u);
    EXPECT_DOUBLE_EQ(reader.GetMinCoordinate().y, -0.7572);
    EXPECT_DOUBLE_EQ(reader.GetMaxCoordinate().z, 0.1173);
    EXPECT_DOUBLE_EQ(reader.v_carte_xyz[0].z, 0.1173);
}

TEST_F(Xyz, CountLineIsReadLikePercentI) {
    // a leading 0 is octal: "010" is eight, and lines past the eighth atom are not read
    ASSERT_TRUE(Read(kData + "octal-count.xyz"));
    EXPECT_EQ(xyz.size(), 8u);
    EXPECT_EQ(idx.back(), 5u);
    const std::string atoms = "C 0 0 0\nC 1 0 0\nC 2 0 0\n";
    for (const char* count : {"0x3", "  3", "3 atoms", "\t+3", "03"}) {
        ASSERT_TRUE(Read(Write("count.xyz", std::string(count) + "\ncomment\n" + atoms))) << count;
        EXPECT_EQ(xyz.size(), 3u) << count;
    }
    // "08" is a zero followed by a stray digit in octal
    EXPECT_FALSE(Read(Write("count.xyz", "08\ncomment\n" + atoms)));
    EXPECT_TRUE(reader.GetFormat(dir, Write("count.xyz", "0x10\nc\n")));
    EXPECT_EQ(reader.total_atoms, 16u);
}

TEST_F(Xyz, CellOfTheCommentLineFillsTheColumns) {
    ASSERT_TRUE(Read(kData + "cell.xyz"));
    EXPECT_TRUE(reader.is_periodic);
    EXPECT_EQ(reader.cell_xyz[0], glm::dvec3(5, 0, 0));
    EXPECT_EQ(reader.cell_xyz[1], glm::dvec3(0, 6, 0));
    EXPECT_EQ(reader.cell_xyz[2], glm::dvec3(0, 0, 7));
    EXPECT_EQ(idx, (std::vector<unsigned>{10, 16}));

    // without the word "Cell" there is no cell, whatever the line holds
    ASSERT_TRUE(Read(Write("a.xyz", "1\ncell=\"5 0 0 0 6 0 0 0 7\"\nH 0 0 0\n")));
    EXPECT_FALSE(reader.is_periodic);
    // no quotes: the whole line, words passed over
    ASSERT_TRUE(Read(Write("b.xyz", "1\nCell: 3 0 0 0 3 0 0 0 3\nH 0 0 0\n")));
    EXPECT_TRUE(reader.is_periodic);
    EXPECT_EQ(reader.cell_xyz[2], glm::dvec3(0, 0, 3));
    // a long cell text does not overflow anything
    std::string longcell = "Cell=\"";
    for (int k = 0; k < 9; ++k) longcell += (k % 4 == 0 ? "1." + std::string(300, '0') : "0.000000000000000") + " ";
    ASSERT_TRUE(Read(Write("c.xyz", "1\n" + longcell + "\" " + std::string(5000, 'y') + "\nH 0 0 0\n")));
    EXPECT_TRUE(reader.is_periodic);
    EXPECT_EQ(reader.cell_xyz, glm::dmat3(1.0));
}

TEST_F(Xyz, ShortCellIsReadWithoutCellAndOneLineOnStandardOutput) {
    testing::internal::CaptureStdout();
    const bool ok = Read(kData + "short-cell.xyz");
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ok);
    EXPECT_FALSE(reader.is_periodic);
    EXPECT_EQ(xyz.size(), 2u);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
}

TEST_F(Xyz, ExtendedXyzLatticeGivesTheCellWhenThereIsNoCell) {
    ASSERT_TRUE(Read(kData + "lattice.xyz"));
    EXPECT_TRUE(reader.is_periodic);
    EXPECT_EQ(reader.cell_xyz[0], glm::dvec3(4, 0, 0));
    EXPECT_EQ(reader.cell_xyz[1], glm::dvec3(0.5, 5, 0));
    EXPECT_EQ(reader.cell_xyz[2], glm::dvec3(0, 0, 6));
    EXPECT_EQ(idx, (std::vector<unsigned>{13, 13}));

    // "Cell" beside it takes precedence
    ASSERT_TRUE(Read(kData + "lattice-and-cell.xyz"));
    EXPECT_TRUE(reader.is_periodic);
    EXPECT_EQ(reader.cell_xyz[1], glm::dvec3(0, 6, 0));

    // key case and blanks around "=" as other tools write them; a broken one gives no cell
    ASSERT_TRUE(Read(Write("l.xyz", "1\npbc=\"F F F\" lattice = \"2 0 0 0 2 0 0 0 2\"\nH 0 0 0\n")));
    EXPECT_TRUE(reader.is_periodic);
    EXPECT_EQ(reader.cell_xyz[0], glm::dvec3(2, 0, 0));
    testing::internal::CaptureStdout();
    ASSERT_TRUE(Read(Write("m.xyz", "1\nLattice=\"2 0 0 0 2 0\" Properties=species:S:1:pos:R:3\nH 0 0 0\n")));
    std::fflush(stdout);
    EXPECT_FALSE(testing::internal::GetCapturedStdout().empty());
    EXPECT_FALSE(reader.is_periodic);
    ASSERT_TRUE(Read(Write("n.xyz", "1\nSuperLattice=\"2 0 0 0 2 0 0 0 2\"\nH 0 0 0\n")));
    EXPECT_FALSE(reader.is_periodic);
}

TEST_F(Xyz, AtomLinesReadSymbolAndThreeNumbersOnly) {
    ASSERT_TRUE(Read(kData + "extra-columns.xyz"));
    EXPECT_EQ(idx, (std::vector<unsigned>{7, 0, 0}));
    EXPECT_FLOAT_EQ(xyz[1].z, -0.4692f);
    EXPECT_FLOAT_EQ(xyz[2].y, -0.7572f);

    ASSERT_TRUE(Read(kData + "crlf.xyz"));
    EXPECT_EQ(idx, (std::vector<unsigned>{7, 0, 0}));
    EXPECT_FLOAT_EQ(xyz[2].z, -0.4692f);

    // only the first two characters of a long symbol count
    ASSERT_TRUE(Read(kData + "long-symbols.xyz"));
    EXPECT_EQ(idx, (std::vector<unsigned>{7, 0, 16, 25}));
    ASSERT_TRUE(Read(Write("s.xyz", "1\n\n" + std::string(100000, 'N') + " 1 2 3\n")));
    EXPECT_EQ(idx, (std::vector<unsigned>{6}));

    // number forms "%lf" takes
    ASSERT_TRUE(Read(Write("n.xyz", "1\n\nH +1.5e1 -.5 0x1p2\n")));
    EXPECT_EQ(xyz[0], glm::vec3(15.0f, -0.5f, 4.0f));
    ASSERT_TRUE(Read(Write("u.xyz", "1\n\nH 1e-400 2 3\n")));  // underflow reads as zero
    EXPECT_EQ(xyz[0].x, 0.0f);
}

TEST_F(Xyz, WhatCannotBeAStructureIsRefusedAndChangesNothing) {
    ASSERT_TRUE(Read(kData + "cell.xyz"));
    const std::vector<glm::vec3> xyz0 = xyz;
    const std::vector<unsigned> idx0 = idx;
    const std::vector<glm::dvec3> carte0 = reader.v_carte_xyz;
    const std::string water = "O 0 0 0.1173\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n";
    const std::pair<const char*, std::string> bad[] = {
        {"zero count", "0\nc\n" + water},
        {"negative count", "-3\nc\n" + water},
        {"text count", "three\nc\n" + water},
        {"empty first line", "\nc\n" + water},
        {"empty file", ""},
        {"count only", "3\n"},
        {"count past int", "4294967299\nc\n" + water},
        {"fewer atom lines", "4\nc\n" + water},
        {"huge count", "2000000000\nc\n" + water},
        {"two numbers", "3\nc\nO 0 0\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n"},
        {"number on the next line", "2\nc\nO 0 0\n0.1173\nH 0 0 1\n"},
        {"no symbol", "2\nc\n0 0 0.1173\n1 0.7572 -0.4692\n"},
        {"empty atom line", "3\nc\nO 0 0 0.1173\n\nH 0 -0.7572 -0.4692\n"},
        {"not a number", "3\nc\nO 0 zero 0.1173\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n"},
        {"double sign", "3\nc\nO 0 --1 0.1173\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n"},
        {"nan", "3\nc\nO 0 0 nan\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n"},
        {"inf", "3\nc\nO 0 0 0.1\nH -inf 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n"},
        {"overflow", "3\nc\nO 0 0 1e999\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n"},
        {"beyond float", "3\nc\nO 0 0 1e39\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n"},
    };
    for (const auto& [what, text] : bad) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Read(Write("bad.xyz", text))) << what;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0) << what;
        EXPECT_EQ(xyz, xyz0) << what;
        EXPECT_EQ(idx, idx0) << what;
        EXPECT_EQ(reader.v_carte_xyz, carte0) << what;
        EXPECT_TRUE(reader.is_periodic) << what;
        EXPECT_EQ(reader.cell_xyz[1], glm::dvec3(0, 6, 0)) << what;
        EXPECT_EQ(reader.GetTotalAtoms(), 2u) << what;
    }
    EXPECT_FALSE(Read(dir + "/missing.xyz"));
    EXPECT_FALSE(Read(dir));
    EXPECT_FALSE(reader.GetFormat(dir, Write("g.xyz", "0\nCell=\"1 0 0 0 1 0 0 0 1\"\n")));
    EXPECT_EQ(reader.GetTotalAtoms(), 2u);
}

TEST_F(Xyz, WriterLayoutAndRoundTrip) {
    ASSERT_TRUE(Read(Write("h.xyz", "2\nCell=\"5 0 0 0 5 0 0 0 5\"\nH 0 0 0.74\nCl -1.25 3.5 1e-13\n")));
    const std::string out = dir + "/out.xyz";
    ASSERT_TRUE(reader.SaveFile(dir, out, {0, 16}));
    EXPECT_EQ(Slurp(out), "2\n\n"
                          "H        0.000000000000      0.000000000000      0.740000000000\n"
                          "Cl      -1.250000000000      3.500000000000      0.000000000000\n");

    // read back: same elements and coordinates to 12 decimals; no cell is written
    ASSERT_TRUE(Read(kData + "extra-columns.xyz"));
    const std::vector<glm::dvec3> before = reader.v_carte_xyz;
    ASSERT_TRUE(reader.SaveFile(dir, out, idx));
    CXyz again;
    std::vector<glm::vec3> xyz2;
    std::vector<unsigned> idx2;
    ASSERT_TRUE(again.ReadFile(dir, out, xyz2, idx2));
    EXPECT_EQ(idx2, idx);
    for (std::size_t k = 0; k < before.size(); ++k)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(again.v_carte_xyz[k][c], before[k][c], 1e-12);
    EXPECT_FALSE(again.is_periodic);

    // an element list that does not match the atoms is not written
    EXPECT_FALSE(reader.SaveFile(dir, out, {7, 0}));
    EXPECT_EQ(Slurp(out).substr(0, 3), "3\n\n");
}

TEST_F(Xyz, FailedSaveLeavesTheFileAlone) {
    ASSERT_TRUE(Read(kData + "water.xyz"));
    EXPECT_FALSE(reader.SaveFile(dir, dir + "/no/such/folder/w.xyz", idx));

    // a write that runs out of room (here a file size limit) must not cut the old file
    const std::string target = Write("keep.xyz", "old content\n");
    std::vector<glm::dvec3> many(2000, glm::dvec3(1.0));
    reader.v_carte_xyz = many;
    const std::vector<unsigned> idx2(many.size(), 0);
    struct rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = reader.SaveFile(dir, target, idx2);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(Slurp(target), "old content\n");
}

TEST_F(Xyz, DeleteAndCentreWorkOnTheStoredCopy) {
    ASSERT_TRUE(Read(kData + "water.xyz"));
    reader.DeleteAtom(0);
    reader.DeleteAtom(7);  // past the end: nothing
    ASSERT_EQ(reader.v_carte_xyz.size(), 2u);
    EXPECT_DOUBLE_EQ(reader.v_carte_xyz[0].y, 0.7572);
    EXPECT_EQ(reader.GetTotalAtoms(), 3u);  // the count as read
    reader.CenterCoordinates();              // centre of the box as read: (0, 0, -0.17595)
    EXPECT_NEAR(reader.v_carte_xyz[0].z, -0.4692 + 0.17595, 1e-12);
}

}  // namespace
