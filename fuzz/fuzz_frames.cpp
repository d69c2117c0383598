// libFuzzer target over what happens after a read: frame stepping, Wrap,
// element changes, deletes, undo and redo, Repeat's copies and saves in
// every format, in an order the input picks.
//
// Input: byte 0 picks the format the file is read in (0 XYZ, 1 VASP, 2 PDB),
// bytes 1 to 16 are sixteen operations, the rest is the file. After every
// operation the bond records must name existing atoms; every save that
// succeeds must read back with the same number of atoms.
#include <cstdint>
#include <string>
#include <vector>

#include "core/crystal.h"
#include "model/model.h"
#include "fuzz_support.h"

namespace {

constexpr size_t OPERATIONS = 16;

void CheckBonds(const CModel& m)
{
    const unsigned n = m.GetTotalAtoms();
    if (m.BondCount() > m.BondPairs().size() || m.BondCount() > m.BondImages().size())
        std::abort();
    for (unsigned b = 0; b < m.BondCount(); ++b)
        if (m.BondPairs()[b].x >= n || m.BondPairs()[b].y >= n)
            std::abort();
}

// A save in `format` that succeeds reads back with as many atoms per frame.
void SaveAndReadBack(CModel& m, int format)
{
    static const char* const names[3] = {"/saved.xyz", "/saved.vasp", "/saved.pdb"};
    const std::string path = fuzz::ScratchFolder() + names[format];
    if (!m.SaveFileAs(path, format)) {
        // refused only with a reason: a coordinate or cell PDB cannot hold,
        // a frame that cannot be written
        if (m.Notes().empty())
            std::abort();
        return;
    }
    CModel back;
    if (!back.ReadFile(fuzz::ScratchFolder(), path, format) || back.GetTotalAtoms() != m.GetTotalAtoms())
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 + OPERATIONS)
        return 0;
    const int format = data[0] % 3;
    const std::string input = fuzz::ScratchFolder() + (format == INPUT_FILE_TYPE_VSP ? "/XDATCAR" : "/input");
    fuzz::WriteFile(input, data + 1 + OPERATIONS, size - 1 - OPERATIONS);
    CModel m;
    if (!m.ReadFile(fuzz::ScratchFolder(), input, format))
        return 0;
    CheckBonds(m);
    for (size_t k = 0; k < OPERATIONS; ++k) {
        const unsigned op = data[1 + k] % 8, arg = data[1 + k] / 8;
        const unsigned n = m.GetTotalAtoms();
        switch (op) {
        case 0:
            m.SetFrame(arg % (m.GetFrameCount() + 1));
            break;
        case 1:
            m.Wrap();
            break;
        case 2:
            m.Undo();
            break;
        case 3:
            m.Redo();
            break;
        case 4:
            if (n > 0)
                m.ChangeAtom(arg % n, (arg * 7) % 110);
            break;
        case 5:
            if (n > 1)
                m.DeleteAtom(arg % n);
            break;
        case 6: {
            if (!m.IsPeriodic())
                break;
            CCopies copies;
            CCrystalScene scene;
            const glm::ivec3 repeat(1 + arg % 3, 1 + (arg / 3) % 3, 1);
            copies.Build(m.GetLattice(), m.Positions(), repeat, arg % 2 == 0);
            BuildCrystalScene(m.GetLattice(), m.Positions(), m.BondPairs(), m.BondImages(), m.BondCount(), copies,
                              scene);
            break;
        }
        default:
            SaveAndReadBack(m, int(arg % 3));
            break;
        }
        CheckBonds(m);
    }
    return 0;
}
