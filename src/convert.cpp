// Saving the model in a format of the user's choice. In the format it was
// read in, the structure goes through that format's own writer and keeps all
// it keeps; in another format it is written from the atoms, their elements
// and the cell, through a writer object filled for the purpose.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "cmodel.h"
#include "elements.h"
#include "textio.h"

namespace {

constexpr double PI = 3.14159265358979323846;

// Lengths and angles (degrees) of a cell whose columns are its vectors.
void CellParameters(const glm::dmat3& cell, double p[6])
{
    const glm::dvec3 a = cell[0], b = cell[1], c = cell[2];
    p[0] = glm::length(a);
    p[1] = glm::length(b);
    p[2] = glm::length(c);
    auto angle = [](const glm::dvec3& u, const glm::dvec3& v) {
        const double cosine = glm::dot(u, v) / (glm::length(u) * glm::length(v));
        return std::acos(std::fmax(-1.0, std::fmin(1.0, cosine))) * 180.0 / PI;
    };
    p[3] = angle(b, c);
    p[4] = angle(a, c);
    p[5] = angle(a, b);
}

// The cell of those parameters in the standard setting a PDB reader builds:
// a along x, b in the xy plane.
glm::dmat3 StandardCell(const double p[6])
{
    const double ca = std::cos(p[3] * PI / 180.0), cb = std::cos(p[4] * PI / 180.0);
    const double cg = std::cos(p[5] * PI / 180.0), sg = std::sin(p[5] * PI / 180.0);
    const double cx = p[2] * cb, cy = p[2] * (ca - cb * cg) / sg;
    const double cz = std::sqrt(std::fmax(0.0, p[2] * p[2] - cx * cx - cy * cy));
    glm::dmat3 m(0.0);
    m[0] = glm::dvec3(p[0], 0.0, 0.0);
    m[1] = glm::dvec3(p[1] * cg, p[1] * sg, 0.0);
    m[2] = glm::dvec3(cx, cy, cz);
    return m;
}

// PDB's coordinates have 8 columns with at least one decimal.
bool FitsPdbColumns(const std::vector<glm::dvec3>& r)
{
    for (const glm::dvec3& x : r)
        for (int k = 0; k < 3; ++k)
            if (!(x[k] < 999999.95 && x[k] > -99999.95))
                return false;
    return true;
}

const char* const PDB_TOO_WIDE = "a coordinate is too wide for PDB's 8 columns; save as mmCIF";

bool WriteXyz(const std::vector<glm::dvec3>& r, const std::vector<unsigned>& idx, bool periodic,
              const glm::dmat3& cell, const std::string& path)
{
    // a writer that read no file writes a cell in the extended-XYZ Lattice form
    CXyz writer;
    writer.v_carte_xyz = r;
    writer.total_atoms = static_cast<unsigned>(r.size());
    writer.is_periodic = periodic;
    writer.cell_xyz = cell;
    return writer.SaveFile(path, path, idx);
}

bool WriteVasp(const std::vector<glm::dvec3>& r, const std::vector<unsigned>& idx, const glm::dmat3& cell,
               const std::string& path)
{
    CVasp writer;
    std::string formula;
    for (std::size_t i = 0; i < idx.size() && formula.size() < 200; ++i)
        if (i == 0 || idx[i] != idx[i - 1])
            formula += (formula.empty() ? "" : " ") + symbol[idx[i]];
    std::snprintf(writer.header_info[0], CVasp::HEADER_SLOT_SIZE, "%s", formula.c_str());
    std::snprintf(writer.header_info[1], CVasp::HEADER_SLOT_SIZE, "   1.00000000000000");
    for (int c = 0; c < 3; ++c)
        std::snprintf(writer.header_info[2 + c], CVasp::HEADER_SLOT_SIZE, " %21.16f %21.16f %21.16f", cell[c].x,
                      cell[c].y, cell[c].z);
    writer.parameter = 1.0;
    writer.cell_xyz = cell;
    writer.is_periodic = true;
    writer.is_extended = true;
    writer.v_carte_xyz = r;
    writer.v_atom_type.assign(r.size(), 0);
    writer.total_atoms = static_cast<uint32_t>(r.size());
    return writer.SaveFile(path, path, idx);
}

bool WritePdb(const std::vector<glm::dvec3>& r, const std::vector<unsigned>& idx, bool periodic,
              const glm::dmat3& cell, const std::string& path)
{
    CPdb writer;
    writer.v_carte_xyz.reserve(r.size());
    glm::dmat3 turn(1.0);
    if (periodic) {
        double p[6];
        CellParameters(cell, p);
        // CRYST1 gives lengths and angles only: a reader puts the cell in the
        // standard setting, so the atoms turn with it
        writer.cell_xyz = StandardCell(p);
        turn = writer.cell_xyz * glm::inverse(cell);
        writer.is_periodic = true;
    }
    for (const glm::dvec3& x : r)
        writer.v_carte_xyz.push_back(glm::vec3(turn * x));
    writer.total_atoms = static_cast<uint32_t>(r.size());
    return writer.SaveFile(path, path, idx);
}

}  // namespace

bool CModel::SaveFileAs(const std::string& path, int fmt)
{
    save_message.clear();
    if (fmt == INPUT_FILE_TYPE_XYZ && !is_saving_frames && is_bond_eval && GetFrameCount() > 1)
        return SaveAllFrames(path);
    const io::FormatEntry* target = io::FindFormat(fmt);
    if (target != nullptr && target->write != nullptr) {
        try {
            io::Structure s;
            std::string text;
            if (!StructureForSave(s))
                return false;
            if (!target->write(s, text, save_message))
                return false;
            if (textio::WriteFileAtomically(path, text))
                return true;
            save_message = "cannot be written";
        } catch (const std::exception&) {
            save_message = "too large for the memory";
        }
        return false;
    }
    if (fmt == file_format) {
        const bool saved = SaveFile(path, path, fmt);
        io::Structure shown;
        if (!saved && fmt == INPUT_FILE_TYPE_PDB && StructureForSave(shown) && !FitsPdbColumns(shown.positions))
            save_message = PDB_TOO_WIDE;
        return saved;
    }
    if (!is_bond_eval || v_atom_index.empty())
        return false;
    for (unsigned e : v_atom_index)
        if (e >= periodic_table_atoms)
            return false;
    try {
        // the file's own coordinates, as its reader keeps them for writing
        io::Structure shown;
        if (!StructureForSave(shown))
            return false;
        std::vector<glm::dvec3> r = std::move(shown.positions);
        if (r.size() != v_atom_index.size())
            return false;

        switch (fmt) {
        case INPUT_FILE_TYPE_XYZ:
            return WriteXyz(r, v_atom_index, is_periodic, m_cell_box, path);
        case INPUT_FILE_TYPE_VSP:
            // A molecule gets its bounding box as the cell, the atoms moved
            // to its middle.
            if (!is_periodic) {
                glm::dvec3 lo = r[0], hi = r[0];
                for (const glm::dvec3& x : r) {
                    lo = glm::min(lo, x);
                    hi = glm::max(hi, x);
                }
                const glm::dvec3 shift = (lo + hi) * 0.5 - glm::dvec3(v_box_size) * 0.5;
                for (glm::dvec3& x : r)
                    x -= shift;
            }
            return WriteVasp(r, v_atom_index, m_cell_box, path);
        case INPUT_FILE_TYPE_PDB:
            if (WritePdb(r, v_atom_index, is_periodic, m_cell_box, path))
                return true;
            if (!FitsPdbColumns(r))
                save_message = PDB_TOO_WIDE;
            return false;
        default:
            return false;
        }
    } catch (const std::exception&) {
        return false;
    }
}
