// The frames of a trajectory shown one at a time: each is read from the file
// when asked for, gets the edits made so far, its own cell and its bonds.
#include <algorithm>
#include <cmath>
#include <exception>
#include <string>
#include <type_traits>
#include <vector>

#include "cmodel.h"
#include "elements.h"

namespace {

bool Usable(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements)
{
    if (positions.empty() || positions.size() != elements.size())
        return false;
    for (unsigned e : elements)
        if (e >= species_count)
            return false;
    for (const glm::vec3& p : positions)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            return false;
    return true;
}

}  // namespace

bool CModel::ReadText(CXyz& r, const std::string&, const std::string& f, const std::string& text,
                      std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx)
{
    return r.ReadText(text, f, xyz, idx);
}

bool CModel::ReadText(CVasp& r, const std::string& d, const std::string&, const std::string& text,
                      std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx)
{
    return r.ReadText(d, text, xyz, idx);
}

bool CModel::ReadText(CPdb& r, const std::string&, const std::string&, const std::string& text,
                      std::vector<glm::vec3>& xyz, std::vector<unsigned>& idx)
{
    return r.ReadText(text, xyz, idx);
}

void CModel::StartFrames(CTrajectory&& frames, const std::string& folder)
{
    trajectory = std::move(frames);
    frame_folder = folder;
    frame_message.clear();
    u_frame = 0;
    u_frame_atoms = v_positions.size();
    v_edits.clear();
}

std::size_t CModel::GetFrameCount()
{
    if (!is_loaded)
        return 0;
    if (!v_memory_frames.empty())
        return v_memory_frames.size();
    // a format without a frame index holds one structure
    return std::max<std::size_t>(trajectory.GetFrameCount(), 1);
}

std::size_t CModel::GetIndexedFrames() const
{
    if (!is_loaded)
        return 0;
    if (!v_memory_frames.empty())
        return v_memory_frames.size();
    return trajectory.GetIndexedFrames();
}

bool CModel::IsFrameIndexWhole() const
{
    return !v_memory_frames.empty() || trajectory.IsIndexed();
}

bool CModel::SetFrame(std::size_t k)
{
    const std::size_t shown = u_frame;
    if (!LoadFrame(k, true))
        return false;
    // Undo records hold the positions of the frame they were made in; the
    // edits themselves stay and apply to every frame.
    if (k != shown)
        history.Clear();
    return true;
}

bool CModel::ReadFrame(std::size_t k, CFrame& frame, std::string& why)
{
    if (!is_loaded)
        return false;
    if (IsTableFormat()) {
        try {
            if (!ReadStructureFrame(k, frame.structure, why))
                return false;
            frame.positions.assign(frame.structure.positions.begin(), frame.structure.positions.end());
            frame.elements = frame.structure.elements;
            frame.periodic = frame.structure.is_periodic || is_periodic;
            frame.cell = frame.structure.is_periodic ? frame.structure.cell : m_cell_box;
            return true;
        } catch (const std::exception&) {
            why = "Out of memory for frame " + std::to_string(k + 1);
            return false;
        }
    }
    std::string text, refusal;
    if (!trajectory.ReadFrameText(k, text, &refusal)) {
        why = refusal.empty() ? "There is no frame " + std::to_string(k + 1)
                              : "Frame " + std::to_string(k + 1) + " cannot be read: " + refusal;
        return false;
    }
    std::vector<glm::vec3>& positions = frame.positions;
    std::vector<unsigned>& elements = frame.elements;
    auto read = [&](auto& reader) {
        if (!ReadText(reader, frame_folder, trajectory.path, text, positions, elements) || !Usable(positions, elements)) {
            why = "Frame " + std::to_string(k + 1) + " cannot be read";
            return false;
        }
        if (positions.size() != u_frame_atoms) {
            why = "Frame " + std::to_string(k + 1) + " holds " + std::to_string(positions.size()) +
                  " atoms, the first frame " + std::to_string(u_frame_atoms) + ": not shown";
            return false;
        }
        frame.periodic = reader.is_periodic;
        frame.cell = reader.cell_xyz;
        // a frame without a cell of its own keeps the one shown
        if (!frame.periodic) {
            frame.periodic = is_periodic;
            frame.cell = m_cell_box;
        }
        // the edits of the shown frame, in the order they were made
        for (const CFrameEdit& e : v_edits) {
            if (e.is_wrap) {
                // in the file's coordinates: the drawn origin of the cell
                // moved with the drawn atoms
                const CLattice lattice(frame.cell, v_cell_origin + glm::dvec3(frame_center_xyz), v_periodic_axes);
                if (!frame.periodic || !lattice.is_usable)
                    continue;
                const std::vector<glm::ivec3> shifts = WrapShifts(lattice, positions);
                for (unsigned i = 0; i < shifts.size(); ++i) {
                    if (shifts[i] == glm::ivec3(0))
                        continue;
                    positions[i] += lattice.Translation(shifts[i]);
                    MoveFileAtom(file_format, frame.xyz, frame.vasp, frame.pdb, i, shifts[i], frame.cell);
                }
                continue;
            }
            if (e.u_atom >= positions.size())
                continue;
            if (e.is_delete) {
                reader.DeleteAtom(e.u_atom);
                positions.erase(positions.begin() + e.u_atom);
                elements.erase(elements.begin() + e.u_atom);
            } else {
                elements[e.u_atom] = e.u_element;
            }
        }
        if constexpr (std::is_same_v<std::remove_reference_t<decltype(reader)>, CXyz>)
            if (is_centered)
                reader.CenterCoordinates();
        return true;
    };
    try {
        return file_format == INPUT_FILE_TYPE_XYZ   ? read(frame.xyz)
               : file_format == INPUT_FILE_TYPE_VSP ? read(frame.vasp)
                                                    : read(frame.pdb);
    } catch (const std::exception&) {
        why = "Out of memory for frame " + std::to_string(k + 1);
        return false;
    }
}

bool CModel::LoadFrame(std::size_t k, bool bonds)
{
    if (!is_loaded)
        return false;
    try {
        CFrame frame;
        if (!ReadFrame(k, frame, frame_message))
            return false;
        if (IsTableFormat())
            file_structure = std::move(frame.structure);
        else if (file_format == INPUT_FILE_TYPE_XYZ)
            xyz = std::move(frame.xyz);
        else if (file_format == INPUT_FILE_TYPE_VSP)
            vasp = std::move(frame.vasp);
        else
            pdb = std::move(frame.pdb);
        v_positions.swap(frame.positions);
        v_elements.swap(frame.elements);
        is_periodic = frame.periodic;
        m_cell_box = frame.cell;
        u_frame = k;
        frame_message.clear();
        if (bonds) {
            // a grid of this frame's own positions, as wide as its elements need
            is_linked_list = false;
            EvalCutRadius();
            EvalAtomicBonds();
        }
    } catch (const std::exception&) {
        frame_message = "Out of memory for the frame";
        return false;
    }
    // shown around the first frame's centre, so that motion stays visible
    for (glm::vec3& p : v_positions)
        p -= frame_center_xyz;
    return true;
}
