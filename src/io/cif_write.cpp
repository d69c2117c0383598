// CIF and mmCIF writers: plain text, no parser needed.
#include <cmath>
#include <cstdio>

#include "core/crystal.h"
#include "core/elements.h"
#include "io/cif.h"

namespace io {

namespace {

void AppendF(std::string& out, const char* format, double a, double b, double c)
{
    char line[160];
    std::snprintf(line, sizeof line, format, a, b, c);
    out += line;
}

// A label fit for a CIF value: no blanks, never empty.
std::string LabelOf(const Structure& in, std::size_t i)
{
    std::string label = i < in.labels.size() ? in.labels[i] : std::string();
    for (char& c : label)
        if (c == ' ' || c == '\t' || c == '\'' || c == '"' || c == '#')
            c = '_';
    if (label.empty() || label[0] == '_' || label[0] == '$' || label[0] == ';')
        label = element_symbol[in.elements[i]] + std::to_string(i + 1);
    return label;
}

bool Checked(const Structure& in, std::string& why)
{
    if (in.positions.empty() || in.positions.size() != in.elements.size()) {
        why = "no atoms to write";
        return false;
    }
    return true;
}

}  // namespace

bool WriteCif(const Structure& in, std::string& out, std::string& why)
{
    if (!Checked(in, why))
        return false;
    if (!in.is_periodic) {
        why = "CIF needs a cell; the structure has none";
        return false;
    }
    const glm::dmat3 to_fract = glm::inverse(in.cell);
    double p[6];
    CellParameters(in.cell, p);
    // the cell's parameters put a along x and b in the xy plane: a cell in
    // another orientation turns, and the fractional positions stay
    out = "data_tesk\n";
    AppendF(out, "_cell_length_a %.6f\n_cell_length_b %.6f\n_cell_length_c %.6f\n", p[0], p[1], p[2]);
    AppendF(out, "_cell_angle_alpha %.6f\n_cell_angle_beta %.6f\n_cell_angle_gamma %.6f\n", p[3], p[4], p[5]);
    out +=
        "_space_group_name_H-M_alt 'P 1'\n_space_group_IT_number 1\n"
        "loop_\n_space_group_symop_operation_xyz\n'x, y, z'\n"
        "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
        "_atom_site_fract_z\n_atom_site_occupancy\n";
    for (std::size_t i = 0; i < in.positions.size(); ++i) {
        const glm::dvec3 f = to_fract * in.positions[i];
        out += LabelOf(in, i) + " " + element_symbol[in.elements[i]];
        AppendF(out, " %.8f %.8f %.8f", f.x, f.y, f.z);
        AppendF(out, " %.4g\n", i < in.occupancies.size() ? in.occupancies[i] : 1.0, 0.0, 0.0);
    }
    return true;
}

bool WriteMmcif(const Structure& in, std::string& out, std::string& why)
{
    if (!Checked(in, why))
        return false;
    out = "data_tesk\n_entry.id tesk\n";
    if (in.is_periodic) {
        double p[6];
        CellParameters(in.cell, p);
        AppendF(out, "_cell.length_a %.6f\n_cell.length_b %.6f\n_cell.length_c %.6f\n", p[0], p[1], p[2]);
        AppendF(out, "_cell.angle_alpha %.6f\n_cell.angle_beta %.6f\n_cell.angle_gamma %.6f\n", p[3], p[4], p[5]);
        out += "_symmetry.space_group_name_H-M 'P 1'\n";
    }
    // the columns PDBx readers require, though Tesk knows no residues
    out +=
        "loop_\n_atom_site.group_PDB\n_atom_site.id\n_atom_site.type_symbol\n_atom_site.label_atom_id\n"
        "_atom_site.label_alt_id\n_atom_site.label_comp_id\n_atom_site.label_asym_id\n"
        "_atom_site.label_seq_id\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n_atom_site.Cartn_z\n"
        "_atom_site.occupancy\n_atom_site.B_iso_or_equiv\n_atom_site.auth_seq_id\n"
        "_atom_site.pdbx_PDB_model_num\n";
    out.reserve(out.size() + in.positions.size() * 80);
    for (std::size_t i = 0; i < in.positions.size(); ++i) {
        const glm::dvec3& r = in.positions[i];
        out += "HETATM " + std::to_string(i + 1) + " " + element_symbol[in.elements[i]] + " " + LabelOf(in, i) +
               " . UNL A . ";
        AppendF(out, "%.4f %.4f %.4f", r.x, r.y, r.z);
        AppendF(out, " %.3g 0 1 1\n", i < in.occupancies.size() ? in.occupancies[i] : 1.0, 0.0, 0.0);
    }
    return true;
}

}  // namespace io
