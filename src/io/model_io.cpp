// The model's side of the formats read and written through the format
// table: a whole structure read into the model, a frame read again with the
// edits made since, and the shown structure handed to a writer.
#include <cmath>
#include <exception>
#include <new>

#include "cmodel.h"
#include "elements.h"
#include "io/text_source.h"

namespace {

bool IsShowable(const io::Structure& s, io::Refusal& refusal)
{
    if (s.positions.empty() || s.positions.size() != s.elements.size()) {
        refusal = {0, "holds no atoms"};
        return false;
    }
    if (s.positions.size() > std::size_t(2000000000)) {
        refusal = {0, "holds more atoms than can be shown"};
        return false;
    }
    for (const glm::dvec3& p : s.positions)
        if (!std::isfinite(float(p.x)) || !std::isfinite(float(p.y)) || !std::isfinite(float(p.z))) {
            refusal = {0, "holds a coordinate that is not a finite number"};
            return false;
        }
    return true;
}

}  // namespace

bool CModel::IsTableFormat() const
{
    const io::FormatEntry* entry = io::FindFormat(file_format);
    return entry != nullptr && entry->read != nullptr;
}

bool CModel::ReadStructure(const std::string& d, const std::string& f, const io::FormatEntry& entry)
{
    try {
        CTrajectory frames;
        std::string text;
        io::Structure s;
        io::Refusal refusal;
        if (!io::CheckInput(f, read_refusal))
            return false;
        if (entry.has_frames) {
            if (!frames.Open(f, int(entry.format)) || !frames.ReadFrameText(0, text)) {
                read_refusal = {0, "cannot be read"};
                return false;
            }
        } else if (!io::ReadInput(f, text, refusal)) {
            read_refusal = refusal;
            return false;
        }
        io::ReadOptions options = read_options;
        options.folder = d;
        if (!entry.read(text, options, s, refusal) || !IsShowable(s, refusal)) {
            read_refusal = refusal;
            return false;
        }
        std::string().swap(text);
        std::vector<glm::vec3> positions(s.positions.size());
        glm::dvec3 lo = s.positions[0], hi = s.positions[0];
        for (std::size_t i = 0; i < positions.size(); ++i) {
            positions[i] = glm::vec3(s.positions[i]);
            lo = glm::min(lo, s.positions[i]);
            hi = glm::max(hi, s.positions[i]);
        }
        std::vector<std::vector<glm::dvec3>> memory;
        if (!s.extra_frames.empty()) {
            memory.reserve(s.extra_frames.size() + 1);
            memory.push_back(s.positions);
            for (auto& frame : s.extra_frames)
                memory.push_back(std::move(frame));
            s.extra_frames.clear();
        }
        // the bond records the new structure needs, before the old one goes
        std::vector<float> reserve;
        reserve.reserve(positions.size() * 15);
        std::vector<unsigned> elements = s.elements;

        file_format = int(entry.format);
        is_periodic = s.is_periodic;
        if (s.is_periodic)
            m_cell_box = s.cell;
        min_xyz = glm::vec3(lo);
        max_xyz = glm::vec3(hi);
        v_positions.swap(positions);
        v_elements.swap(elements);
        notes.clear();
        AddNote(s.note);
        file_structure = std::move(s);
        v_memory_frames.swap(memory);
        StartFrames(std::move(frames), d);
    } catch (const std::bad_alloc&) {
        read_refusal = {0, "too large for the memory"};
        return false;
    } catch (const std::exception&) {
        read_refusal = {0, "cannot be read"};
        return false;
    }
    history.Clear();
    SetModel();
    frame_center_xyz = center_xyz;
    return true;
}

bool CModel::ReadStructureFrame(std::size_t k, io::Structure& out, std::string& why)
{
    io::Structure s;
    if (!v_memory_frames.empty()) {
        if (k >= v_memory_frames.size()) {
            why = "There is no frame " + std::to_string(k + 1);
            return false;
        }
        // the first frame's atoms as read: the edits are replayed below
        s.positions = v_memory_frames[k];
        s.is_periodic = file_structure.is_periodic;
        s.cell = file_structure.cell;
        s.elements.assign(s.positions.size(), DUMMY_ATOM_INDEX);
    } else {
        std::string text;
        if (!trajectory.ReadFrameText(k, text)) {
            why = "There is no frame " + std::to_string(k + 1);
            return false;
        }
        const io::FormatEntry* entry = io::FindFormat(file_format);
        io::Refusal refusal;
        if (entry == nullptr || entry->read == nullptr || !entry->read(text, read_options, s, refusal)) {
            why = "Frame " + std::to_string(k + 1) + " cannot be read: " + refusal.reason;
            return false;
        }
    }
    if (s.positions.size() != u_frame_atoms) {
        why = "Frame " + std::to_string(k + 1) + " holds " + std::to_string(s.positions.size()) +
              " atoms, the first frame " + std::to_string(u_frame_atoms) + ": not shown";
        return false;
    }
    io::Refusal refusal;
    if (!IsShowable(s, refusal)) {
        why = "Frame " + std::to_string(k + 1) + " " + refusal.reason;
        return false;
    }
    // labels, occupancies and file bonds stay those of the shown atoms
    s.labels = file_structure.labels;
    s.occupancies = file_structure.occupancies;
    s.bonds = file_structure.bonds;
    std::vector<unsigned> first_elements;
    for (const CFrameEdit& e : v_edits) {
        // a Wrap is not replayed on the frames of these formats
        if (e.is_wrap || e.u_atom >= s.positions.size())
            continue;
        if (e.is_delete)
            s.positions.erase(s.positions.begin() + e.u_atom);
        else
            s.elements[e.u_atom] = e.u_element;
        if (e.is_delete)
            s.elements.erase(s.elements.begin() + e.u_atom);
    }
    // elements the user did not change stay as shown (memory frames carry none)
    if (!v_memory_frames.empty() && s.elements.size() == v_elements.size())
        s.elements = v_elements;
    out = std::move(s);
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
    if (IsTableFormat()) {
        s.positions = file_structure.positions;
        s.labels = file_structure.labels;
        s.occupancies = file_structure.occupancies;
        s.bonds = file_structure.bonds;
    } else if (file_format == int(io::Format::Xyz)) {
        s.positions = xyz.v_carte_xyz;
    } else if (file_format == int(io::Format::Vasp)) {
        s.positions = vasp.v_carte_xyz;
        if (!vasp.is_direct)
            for (glm::dvec3& x : s.positions)
                x *= vasp.parameter;
    } else if (file_format == int(io::Format::Pdb)) {
        s.positions.assign(pdb.v_carte_xyz.begin(), pdb.v_carte_xyz.end());
    }
    if (s.positions.size() != s.elements.size())
        return false;
    if (!s.labels.empty() && s.labels.size() != s.elements.size())
        s.labels.clear();
    if (!s.occupancies.empty() && s.occupancies.size() != s.elements.size())
        s.occupancies.clear();
    out = std::move(s);
    return true;
}

void CModel::UseFileBonds()
{
    const glm::dmat3 to_fract = is_periodic ? glm::inverse(m_cell_box) : glm::dmat3(1.0);
    const unsigned n = GetTotalAtoms();
    for (const glm::uvec2& b : file_structure.bonds) {
        if (b.x >= n || b.y >= n)
            continue;
        glm::ivec3 image(0);
        if (is_periodic) {
            // the nearest image of the partner: a bond across the box
            const glm::dvec3 f = to_fract * (glm::dvec3(v_positions[b.y]) - glm::dvec3(v_positions[b.x]));
            image = glm::ivec3(-int(std::lround(f.x)), -int(std::lround(f.y)), -int(std::lround(f.z)));
            is_periodic_bonds = true;
        }
        AppendBond(b.x, b.y, image);
    }
}
