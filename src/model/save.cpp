// Saving the model in a format of the user's choice. In the format it was
// read in, the structure goes through its file copy and keeps all the file
// said; in another format it is written from the atoms, their elements and
// the cell, through a writer object filled for the purpose. Every frame of
// a trajectory is built into one text, saved at once.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "model/model.h"
#include "io/pdb.h"
#include "io/vasp.h"
#include "io/xyz.h"
#include "core/elements.h"
#include "io/textio.h"

namespace {

// Room a molecule gets on every side when a format needs a cell (VASP).
constexpr double VACUUM = 10.0;

// One frame as the writers see it: the shown one in the model, or one read
// for the save.
struct FrameView {
    const io::FileCopy& copy;
    const std::vector<unsigned>& elements;
    bool periodic;
    const glm::dmat3& cell;
};

// The file's own coordinates of a frame, as its copy keeps them for writing.
bool FileCoordinates(const FrameView& f, std::vector<glm::dvec3>& r)
{
    r = f.copy.Positions();
    return r.size() == f.elements.size();
}

// A cell for a molecule: its extent with VACUUM on every side, the atoms
// moved to its middle.
glm::dmat3 BoxAround(std::vector<glm::dvec3>& r)
{
    glm::dvec3 lo = r[0], hi = r[0];
    for (const glm::dvec3& x : r) {
        lo = glm::min(lo, x);
        hi = glm::max(hi, x);
    }
    const glm::dvec3 size = hi - lo + glm::dvec3(2.0 * VACUUM);
    const glm::dvec3 shift = (lo + hi) * 0.5 - size * 0.5;
    for (glm::dvec3& x : r)
        x -= shift;
    return glm::dmat3(size.x, 0.0, 0.0, 0.0, size.y, 0.0, 0.0, 0.0, size.z);
}

// The species of a structure in order of first appearance, with their atom
// counts.
void Species(const std::vector<unsigned>& idx, std::vector<unsigned>& species, std::vector<std::size_t>& counts)
{
    species.clear();
    counts.clear();
    for (unsigned e : idx) {
        std::size_t k = 0;
        while (k < species.size() && species[k] != e)
            ++k;
        if (k == species.size()) {
            species.push_back(e);
            counts.push_back(0);
        }
        ++counts[k];
    }
}

// The header lines of a VASP file: title, scale, cell, species and counts.
void AppendVaspHeader(std::string& out, const std::vector<unsigned>& idx, const glm::dmat3& cell)
{
    std::vector<unsigned> species;
    std::vector<std::size_t> counts;
    Species(idx, species, counts);
    std::string formula, symbols, numbers;
    for (std::size_t k = 0; k < species.size(); ++k) {
        symbols += (k ? " " : "") + element_symbol[species[k]];
        numbers += (k ? " " : "") + std::to_string(counts[k]);
        if (formula.size() < 200)
            formula += (k ? " " : "") + element_symbol[species[k]];
    }
    out += formula + "\n1.0\n";
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r)
            textio::AppendShortest(out, cell[c][r], 22, r > 0);
        out += '\n';
    }
    out += symbols + '\n' + numbers + '\n';
}

bool AppendXyz(std::string& out, const std::vector<glm::dvec3>& r, const FrameView& f)
{
    // a writer that read no file writes a cell in the extended-XYZ Lattice form
    CXyz writer;
    writer.v_carte_xyz = r;
    writer.total_atoms = static_cast<unsigned>(r.size());
    writer.is_periodic = f.periodic;
    writer.cell_xyz = f.cell;
    return writer.AppendText(out, f.elements);
}

bool AppendVasp(std::string& out, std::vector<glm::dvec3>& r, const FrameView& f)
{
    CVasp writer;
    writer.cell_xyz = f.periodic ? f.cell : BoxAround(r);
    writer.parameter = 1.0;
    writer.is_periodic = true;
    writer.is_extended = true;
    writer.v_carte_xyz = r;
    writer.v_atom_type.assign(r.size(), 0);
    writer.total_atoms = static_cast<uint32_t>(r.size());
    return writer.AppendText(out, f.elements);
}

// A PDB writer filled from the frame: CRYST1 gives lengths and angles only,
// so a reader puts the cell in the standard setting and the atoms turn with it.
bool FillPdb(CPdb& writer, const std::vector<glm::dvec3>& r, const FrameView& f, std::string& why)
{
    glm::dmat3 turn(1.0);
    if (f.periodic) {
        double p[6];
        CellParameters(f.cell, p);
        if (!CellFromParameters(p, writer.cell_xyz) || !CLattice(f.cell, glm::dvec3(0.0)).is_usable) {
            why = "its cell cannot be written as CRYST1 (flat or endless)";
            return false;
        }
        turn = writer.cell_xyz * glm::inverse(f.cell);
        writer.is_periodic = true;
    }
    writer.v_carte_xyz.reserve(r.size());
    for (const glm::dvec3& x : r)
        writer.v_carte_xyz.push_back(glm::vec3(turn * x));
    writer.total_atoms = static_cast<uint32_t>(r.size());
    return true;
}

// One XDATCAR configuration: the header when the cell is new, then the
// fractional coordinates.
void AppendXdatcarFrame(std::string& out, const std::vector<glm::dvec3>& r, const FrameView& f, std::size_t number,
                        bool header)
{
    if (header)
        AppendVaspHeader(out, f.elements, f.cell);
    out += "Direct configuration= " + std::to_string(number) + '\n';
    std::vector<unsigned> species;
    std::vector<std::size_t> counts;
    Species(f.elements, species, counts);
    const glm::dmat3 inverse = glm::inverse(f.cell);
    // atoms grouped by species, in stored order within a species
    for (unsigned e : species)
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (f.elements[i] != e)
                continue;
            const glm::dvec3 q = inverse * r[i];
            for (int c = 0; c < 3; ++c)
                textio::AppendShortest(out, q[c], 22, c > 0);
            out += '\n';
        }
}

bool IsXdatcarName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    for (char& c : base)
        c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return base.compare(0, 7, "XDATCAR") == 0;
}

}  // namespace

bool CModel::Save(const std::string& path)
{
    return SaveFileAs(path, int(FileFormat()));
}

bool CModel::SaveFileAs(const std::string& path, int fmt)
{
    notes.clear();
    std::string text, why;
    try {
        if (!BuildSaveText(path, fmt, text))
            return false;
    } catch (const std::exception&) {
        AddNote("out of memory for the text to save");
        return false;
    }
    if (!textio::WriteFileAtomically(path, text, &why)) {
        AddNote(why);
        return false;
    }
    return true;
}

bool CModel::StructureForSave(io::Structure& out) const
{
    if (!is_loaded || v_elements.empty())
        return false;
    io::Structure s;
    s.elements = v_elements;
    s.is_periodic = is_periodic;
    s.cell = m_cell_box;
    if (!file_copy)
        return false;
    s.positions = file_copy->Positions();
    file_copy->AddDetails(s);
    if (s.positions.size() != s.elements.size())
        return false;
    if (!s.labels.empty() && s.labels.size() != s.elements.size())
        s.labels.clear();
    if (!s.occupancies.empty() && s.occupancies.size() != s.elements.size())
        s.occupancies.clear();
    out = std::move(s);
    return true;
}

bool CModel::BuildSaveText(const std::string& path, int fmt, std::string& out)
{
    // nothing read yet, or every atom deleted: no file that could be read back
    if (!is_loaded || v_elements.empty() || !file_copy) {
        AddNote("there is no structure to save");
        return false;
    }
    // the formats the table writes from a structure: the frame shown
    const io::FormatEntry* target = io::FindFormat(fmt);
    if (target != nullptr && target->write != nullptr) {
        io::Structure s;
        std::string text, why;
        if (!StructureForSave(s) || !target->write(s, text, why)) {
            AddNote(why.empty() ? "the structure cannot be written in this format" : why);
            return false;
        }
        out += text;
        if (GetFrameCount() > 1)
            AddNote("frame " + std::to_string(shown_frame + 1) + " of " + std::to_string(GetFrameCount()) +
                    " was written: " + target->label + " holds one structure here");
        return true;
    }
    const io::Format own = file_copy->GetFormat(), to = io::Format(fmt);
    if (to != io::Format::Xyz && to != io::Format::Vasp && to != io::Format::Pdb)
        return false;
    for (unsigned e : v_elements)
        if (e >= species_count)
            return false;
    const std::size_t count = GetFrameCount();
    const bool xdatcar = to == io::Format::Vasp && count > 1 && IsXdatcarName(path);
    const bool every = count > 1 && (to != io::Format::Vasp || xdatcar);
    if (count > 1 && !every)
        AddNote("frame " + std::to_string(shown_frame + 1) + " of " + std::to_string(count) +
                " was written: a POSCAR holds one structure (a file named XDATCAR holds them all)");

    std::string why;
    bool moved = false;  // a molecule was put in a box
    glm::dmat3 last_cell(0.0);
    std::size_t written = 0, left_out = 0, first_left_out = 0;
    std::vector<glm::dvec3> r;
    auto append = [&](const FrameView& f, std::size_t k) {
        const io::FrameSlot slot{k, written == 0, every};
        if (to == own && !xdatcar)
            return f.copy.AppendText(out, f.elements, slot, why);
        if (!FileCoordinates(f, r))
            return false;
        if (to == io::Format::Pdb) {
            CPdb writer;
            return FillPdb(writer, r, f, why) && AppendPdbFrame(writer, out, f.elements, slot, why);
        }
        if (to == io::Format::Xyz)
            return AppendXyz(out, r, f);
        moved = moved || !f.periodic;
        if (!xdatcar)
            return AppendVasp(out, r, f);
        if (!f.periodic || !CLattice(f.cell, glm::dvec3(0.0)).is_usable) {
            why = "an XDATCAR needs a cell in every frame";
            return false;
        }
        AppendXdatcarFrame(out, r, f, k + 1, written == 0 || f.cell != last_cell);
        last_cell = f.cell;
        return true;
    };
    const FrameView shown{*file_copy, v_elements, is_periodic, m_cell_box};
    for (std::size_t k = every ? 0 : shown_frame; k < (every ? count : shown_frame + 1); ++k) {
        bool ok;
        if (k == shown_frame) {
            ok = append(shown, k);
        } else {
            CFrame frame;
            std::string reason;
            if (!ReadFrame(k, frame, reason)) {
                // frames that cannot be shown are left out, and said so
                if (left_out++ == 0)
                    first_left_out = k;
                continue;
            }
            ok = append(FrameView{*frame.copy, frame.elements, frame.periodic, frame.cell}, k);
        }
        if (!ok) {
            AddNote(why.empty() ? "frame " + std::to_string(k + 1) + " cannot be written in this format" : why);
            return false;
        }
        ++written;
    }
    if (to == io::Format::Pdb)
        out += "END\n";
    if (left_out > 0)
        AddNote(std::to_string(left_out) + (left_out == 1 ? " frame" : " frames") + " (the first: frame " +
                std::to_string(first_left_out + 1) + ") could not be read or hold another number of atoms: left out");
    if (moved)
        AddNote("the molecule was given a cell with " + std::to_string(int(VACUUM)) + " A of vacuum on every side");
    return true;
}
