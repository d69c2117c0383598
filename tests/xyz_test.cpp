// The XYZ reader on real files: the count line, the cell of the comment line
// and atom lines. Refused files and saving are checked through the model.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "io/xyz.h"
#include "core/elements.h"
#include "test_support.h"

namespace {

const std::string kData = std::string(TESK_TEST_DATA) + "/xyz/";

class Xyz : public ::testing::Test {
protected:
    bool Read(const std::string& path) { return reader.ReadFile(dir, path, xyz, idx); }

    ScratchDir scratch{"tesk-xyz"};
    std::string dir = scratch.root;
    CXyz reader;
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
};

// Files that read: count line, cell of the comment line, atom lines.
TEST_F(Xyz, FilesThatRead)
{
    std::string longcell = "Cell=\"";  // a long cell text overflows nothing
    for (int k = 0; k < 9; ++k)
        longcell += (k % 4 == 0 ? "1." + std::string(300, '0') : "0.000000000000000") + " ";
    const std::string three_c = "\ncomment\nC 0 0 0\nC 1 0 0\nC 2 0 0\n";
    const glm::dmat3 none(0.0), cell567(5, 0, 0, 0, 6, 0, 0, 0, 7);
    const struct {
        std::string file, text;  // a data file, or the text of a scratch file
        std::vector<unsigned> idx;
        glm::vec3 last;
        glm::dmat3 cell;    // zero: not periodic
        bool says = false;  // one plain line on standard output
    } cases[] = {
        // "%i" counts: "010" is octal eight, the lines after the eighth atom are not read
        {"octal-count.xyz", "", std::vector<unsigned>(8, 5), {10.5f, 0, 0}, none},
        {"", "0x3" + three_c, {5, 5, 5}, {2, 0, 0}, none},
        {"", "3 atoms" + three_c, {5, 5, 5}, {2, 0, 0}, none},
        // the cell: "Cell" first, then an extended-XYZ Lattice, only nine numbers make one
        {"cell.xyz", "", {10, 16}, {2.5f, 3, 3.5f}, cell567},
        {"", "1\ncell=\"5 0 0 0 6 0 0 0 7\"\nH 0 0 0\n", {0}, {0, 0, 0}, none},          // the word is "Cell"
        {"", "1\nCell: 3 0 0 0 3 0 0 0 3\nH 0 0 0\n", {0}, {0, 0, 0}, glm::dmat3(3.0)},  // no quotes
        {"", "1\n" + longcell + "\" " + std::string(5000, 'y') + "\nH 0 0 0\n", {0}, {0, 0, 0}, glm::dmat3(1.0)},
        {"short-cell.xyz", "", {0, 0}, {0, 0, 0.74f}, none, true},
        {"lattice.xyz", "", {13, 13}, {1.2f, 1.2f, 1.2f}, glm::dmat3(4, 0, 0, 0.5, 5, 0, 0, 0, 6)},
        {"lattice-and-cell.xyz", "", {13, 13}, {1.2f, 1.2f, 1.2f}, cell567},
        {"", "1\npbc=\"F F F\" lattice = \"2 0 0 0 2 0 0 0 2\"\nH 0 0 0\n", {0}, {0, 0, 0}, glm::dmat3(2.0)},
        {"", "1\nLattice=\"2 0 0 0 2 0\" Properties=species:S:1:pos:R:3\nH 0 0 0\n", {0}, {0, 0, 0}, none, true},
        // eight numbers make no cell; of ten, the first nine count
        {"", "1\nCell=\"2 0 0 0 2 0 0 0\"\nH 0 0 0\n", {0}, {0, 0, 0}, none, true},
        {"", "1\nCell=\"2 0 0 0 2 0 0 0 2 7\"\nH 0 0 0\n", {0}, {0, 0, 0}, glm::dmat3(2.0)},
        {"", "1\nSuperLattice=\"2 0 0 0 2 0 0 0 2\"\nH 0 0 0\n", {0}, {0, 0, 0}, none},
        {"", "1\nCellulose 1 0 0 0 1 0 0 0 1\nH 0 0 0\n", {0}, {0, 0, 0}, none},  // a word, not the key
        {"",
         "\xEF\xBB\xBF"
         "1\n\nH 0 0 1\n",
         {0},
         {0, 0, 1},
         none},  // a byte-order mark
        // atom lines: a symbol and three numbers, the rest passed over
        {"extra-columns.xyz", "", {7, 0, 0}, {0, -0.7572f, -0.4692f}, none},
        {"crlf.xyz", "", {7, 0, 0}, {0, -0.7572f, -0.4692f}, none},
        {"long-symbols.xyz", "", {7, 0, 16, 25}, {4, 0, 0}, none},  // the first two characters count
        {"", "1\n\n" + std::string(100000, 'N') + " 1 2 3\n", {6}, {1, 2, 3}, none},
        {"", "1\n\nH +1.5e1 -.5 0x1p2\n", {0}, {15, -0.5f, 4}, none},  // number forms "%lf" takes
        {"", "1\n\nH 1e-400 2 3\n", {0}, {0, 2, 3}, none},             // underflow reads as zero
        {"", "1\n\nH 3.4028234663852886e38 0 0\n", {0}, {3.4028234663852886e38f, 0, 0}, none},  // the largest float
        {"", "2\n\nH 0 0 0\nH 0 0 1", {0, 0}, {0, 0, 1}, none},                   // a count the file just holds
        {"fortran-exponents.xyz", "", {7, 0, 0}, {0, -0.7572f, -0.4692f}, none},  // 7.572D-01, 4.692d-01
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.empty() ? c.text.substr(0, 60) : c.file);
        ASSERT_TRUE(Read(c.file.empty() ? scratch.write("c.xyz", c.text) : kData + c.file) && idx == c.idx);
        EXPECT_EQ(xyz.back(), c.last);
        EXPECT_TRUE(reader.is_periodic == (c.cell != none) && (!reader.is_periodic || reader.cell_xyz == c.cell));
        EXPECT_EQ(c.says, reader.note.find("nine numbers") != std::string::npos) << reader.note;
    }
}

// An unknown symbol reads as the dummy atom, and the note names its line,
// once per file; "X" and "X1" name the dummy on purpose.
TEST_F(Xyz, UnknownSymbolsAreNamedOnce)
{
    const struct {
        std::string text, note;
    } cases[] = {
        {"3\n\nH 0 0 0\nXx 1 0 0\nQ 2 0 0\n", "line 4: unknown element 'Xx', read as the dummy atom X"},
        {"2\n\nX 0 0 0\nX1 1 0 0\n", ""},
        {"1\n\n" + std::string(17, 'Q') + " 0 0 0\n",
         "line 3: unknown element '" + std::string(16, 'Q') + "', read as the dummy atom X"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Read(scratch.write("u.xyz", c.text)));
        EXPECT_EQ(idx.back(), 109u);
        EXPECT_EQ(reader.note, c.note);
    }
}

// Each refusal at its limit: the file just inside it reads (above), the one
// just past it is refused at its line, for its reason.
TEST_F(Xyz, RefusalsAtTheirLimits)
{
    const std::string zs(57, 'z');
    const struct {
        std::string text, reason;
        std::size_t line;
    } cases[] = {
        {"2147483647\n\nH 0 0 0\n", "the count 2147483647 is more atoms than the file can hold", 1},
        {"2147483648\n\nH 0 0 0\n", "\"2147483648\" is not a count of atoms", 1},
        {"0\n\nH 0 0 0\n", "\"0\" is not a count of atoms", 1},
        {"2\n\nH 0 0 0\nH 0 0", "the count 2 is more atoms than the file can hold", 1},
        {"2\n\nH 0 0 0\n \t\nH 0 0 0\n", "a blank line stands where atom 2 of 2 should", 4},
        {"1\n\nH 3.4028236e38 0 0\n", "\"3.4028236e38 0 0\" holds a number out of range", 3},
        // the line quoted in a message: 60 characters whole, more cut to 57
        {"1\n\nH 1 " + zs + "z \n", "\"1 " + zs + "z\" is not three numbers", 3},
        {"1\n\nH 1 2 " + zs + "\n", "\"1 2 " + zs.substr(4) + "...\" is not three numbers", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        ExpectRefusal(Read(scratch.write("r.xyz", c.text)), reader.refusal, c.line, c.reason);
    }
    // the writer wants an element for every atom; one past the table is the dummy
    std::string out;
    reader.v_carte_xyz = {glm::dvec3(0.0)};
    reader.comment.clear();
    EXPECT_FALSE(reader.AppendText(out, {}));
    ASSERT_TRUE(reader.AppendText(out, {species_count}));
    EXPECT_EQ(out, "1\n\nX                 0               0               0\n");
}

}  // namespace
