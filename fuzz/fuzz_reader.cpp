// libFuzzer target: feeds arbitrary bytes to one reader through
// CModel::ReadFile, the way the viewer loads a file, and checks the two
// promises every reader makes: a refused file leaves the model as it was,
// and an accepted one can be saved and read back.
//
// Built once per format with FUZZ_FORMAT = 0 (XYZ), 1 (VASP), 2 (PDB),
// 10 (CIF), 11 (mmCIF), 12 (LAMMPS data), 13 (LAMMPS dump, which has no
// writer: only the first promise holds for it);
// FUZZ_WITH_POTCAR splits the input at the first "\n@@\n" into a POSCAR and
// the POTCAR beside it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "model/model.h"
#include "fuzz_support.h"

#ifndef FUZZ_FORMAT
#error "FUZZ_FORMAT must name the input format code"
#endif

namespace {

using fuzz::ScratchFolder;
using fuzz::WriteFile;

// A small structure of the same format, loaded before every fuzz input.
const char* Baseline(int format)
{
    switch (format) {
    case INPUT_FILE_TYPE_VSP:
        return "baseline\n1.0\n5 0 0\n0 5 0\n0 0 5\nSi O\n1 2\nDirect\n0 0 0\n0.3 0 0\n0 0.3 0\n";
    case INPUT_FILE_TYPE_PDB:
        return "ATOM      1  C   LIG     1       0.000   0.000   0.000  1.00  0.00\n"
               "ATOM      2  O   LIG     1       1.200   0.000   0.000  1.00  0.00\n";
    case int(io::Format::Cif):
        return "data_b\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha 90\n"
               "_cell_angle_beta 90\n_cell_angle_gamma 90\nloop_\n_atom_site_label\n_atom_site_fract_x\n"
               "_atom_site_fract_y\n_atom_site_fract_z\nNa1 0 0 0\nCl1 0.5 0.5 0.5\n";
    case int(io::Format::Mmcif):
        return "data_b\nloop_\n_atom_site.id\n_atom_site.type_symbol\n_atom_site.label_alt_id\n"
               "_atom_site.label_comp_id\n_atom_site.label_asym_id\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
               "_atom_site.Cartn_z\n_atom_site.occupancy\n_atom_site.B_iso_or_equiv\n_atom_site.auth_seq_id\n"
               "1 C . LIG A 0 0 0 1 0 1\n2 O . LIG A 1.2 0 0 1 0 1\n";
    case int(io::Format::LammpsData):
        return "b\n\n2 atoms\n1 atom types\n0 5 xlo xhi\n0 5 ylo yhi\n0 5 zlo zhi\n\nMasses\n\n1 63.546\n\n"
               "Atoms # atomic\n\n1 1 0 0 0\n2 1 2.5 2.5 0\n";
    case int(io::Format::LammpsDump):
        return "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS pp pp pp\n0 5\n0 5\n0 5\n"
               "ITEM: ATOMS id element x y z\n1 Cu 0 0 0\n2 Cu 2.5 2.5 0\n";
    default:
        return "3\nwater\nO 0 0 0.1173\nH 0 0.7572 -0.4692\nH 0 -0.7572 -0.4692\n";
    }
}

struct Snapshot {
    std::vector<glm::vec3> xyz;
    std::vector<unsigned> idx;
    unsigned bonds;
    int format;
    bool periodic;
    glm::dmat3 cell;

    explicit Snapshot(const CModel& m)
        : xyz(m.Positions()),
          idx(m.Elements()),
          bonds(m.BondCount()),
          format(int(m.FileFormat())),
          periodic(m.IsPeriodic()),
          cell(m.Cell())
    {
    }
    bool operator==(const Snapshot& o) const
    {
        return xyz == o.xyz && idx == o.idx && bonds == o.bonds && format == o.format && periodic == o.periodic &&
               cell == o.cell;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string folder = ScratchFolder();
    const std::string input = folder + (FUZZ_FORMAT == INPUT_FILE_TYPE_VSP ? "/POSCAR" : "/input");
    const std::string potcar = folder + "/POTCAR";
    const std::string baseline = folder + "/baseline";
    const std::string saved = folder + "/saved";

    size_t structure_size = size;
#ifdef FUZZ_WITH_POTCAR
    const uint8_t* split = static_cast<const uint8_t*>(memmem(data, size, "\n@@\n", 4));
    if (split)
        structure_size = size_t(split - data);
    if (split)
        WriteFile(potcar, split + 4, size - structure_size - 4);
    else
        unlink(potcar.c_str());
#endif
    WriteFile(input, data, structure_size);
    // the baseline is read once; every input starts from a copy of it
    static const CModel loaded = [&] {
        const char* base = Baseline(FUZZ_FORMAT);
        WriteFile(baseline, reinterpret_cast<const uint8_t*>(base), std::strlen(base));
        CModel m;
        if (!m.ReadFile(folder, baseline, FUZZ_FORMAT))
            std::abort();
        return m;
    }();
    CModel model = loaded;
    const Snapshot before(model);

    const io::FormatEntry* entry = io::FindFormat(FUZZ_FORMAT);
    const bool writable = entry == nullptr || entry->read == nullptr || entry->write != nullptr;
    if (!model.ReadFile(folder, input, FUZZ_FORMAT)) {
        if (!(Snapshot(model) == before))
            std::abort();  // a refused file changed the model
        if (!writable)
            return 0;
        // and the format object still holds the baseline: saving writes it
        if (!model.Save(saved))
            std::abort();
        CModel again;
        if (!again.ReadFile(folder, saved, FUZZ_FORMAT) || again.GetTotalAtoms() != before.xyz.size())
            std::abort();
        return 0;
    }

    const unsigned atoms = model.GetTotalAtoms();
    if (!writable) {
        // every frame the index found can be asked for without harm
        const std::size_t frames = model.GetFrameCount();
        for (std::size_t k = frames; k-- > 0;)
            model.SetFrame(k);
        return 0;
    }
    if (!model.Save(saved)) {
        // PDB coordinates have eight columns: a save with one, in any frame,
        // that does not fit even with one decimal is refused, and only then;
        // so is a cell that CRYST1 cannot carry back
        if (FUZZ_FORMAT != INPUT_FILE_TYPE_PDB)
            std::abort();
        std::string text, why;
        if (model.Notes().find("CRYST1") != std::string::npos &&
            !model.FileCopy()->AppendText(text, model.Elements(), io::FrameSlot{0, true, false}, why) &&
            why.find("CRYST1") != std::string::npos)
            return 0;
        if (model.Notes().find("8 columns") == std::string::npos)
            std::abort();
        bool wide = false;
        for (std::size_t k = 0; k < model.GetFrameCount() && !wide; ++k) {
            model.SetFrame(k);
            for (const glm::dvec3& p : model.FileCopy()->Positions())
                for (int c = 0; c < 3; ++c)
                    wide = wide || !(float(p[c]) > -99999.9f && float(p[c]) < 999999.9f);
        }
        if (!wide)
            std::abort();
        return 0;
    }
    CModel again;
    if (!again.ReadFile(folder, saved, FUZZ_FORMAT))
        std::abort();  // what we wrote, we must read
    if (again.GetTotalAtoms() != atoms)
        std::abort();
    for (unsigned i = 0; i < atoms; ++i)
        if (again.Elements()[i] != model.Elements()[i] && FUZZ_FORMAT != INPUT_FILE_TYPE_VSP)
            std::abort();
    return 0;
}
