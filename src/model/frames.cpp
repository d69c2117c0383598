// The frames of a trajectory shown one at a time: each is read from the file
// when asked for, gets the edits made so far, its own cell and its bonds.
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "model/model.h"

void CModel::StartFrames(CTrajectory&& frames, const std::string& folder)
{
    trajectory = std::move(frames);
    frame_folder = folder;
    frame_message.clear();
    shown_frame = 0;
    frame_atom_count = v_positions.size();
    v_edits.clear();
}

std::size_t CModel::GetFrameCount()
{
    if (!is_loaded)
        return 0;
    if (file_copy->HeldFrameCount() > 0)
        return file_copy->HeldFrameCount();
    // a format without a frame index holds one structure
    return std::max<std::size_t>(trajectory.GetFrameCount(), 1);
}

std::size_t CModel::GetIndexedFrames() const
{
    if (!is_loaded)
        return 0;
    if (file_copy->HeldFrameCount() > 0)
        return file_copy->HeldFrameCount();
    return trajectory.GetIndexedFrames();
}

bool CModel::IsFrameIndexWhole() const
{
    return (file_copy && file_copy->HeldFrameCount() > 0) || trajectory.IsIndexed();
}

bool CModel::SetFrame(std::size_t k)
{
    const std::size_t shown = shown_frame;
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
    if (!is_loaded || !file_copy)
        return false;
    const std::string number = std::to_string(k + 1);
    try {
        io::HeldCopy copy = file_copy->NewEmpty();
        io::ReadResult read;
        const bool held = file_copy->HeldFrameCount() > 0;
        if (held) {
            if (!copy->ReadHeldFrame(k, read)) {
                why = "There is no frame " + number;
                return false;
            }
        } else {
            std::string text, refusal;
            if (!trajectory.ReadFrameText(k, text, &refusal)) {
                why =
                    refusal.empty() ? "There is no frame " + number : "Frame " + number + " cannot be read: " + refusal;
                return false;
            }
            io::ReadOptions options = read_options;
            options.folder = frame_folder;
            if (!copy->Read(text, options, trajectory.path, read)) {
                why = "Frame " + number + " cannot be read";
                if (!read.refusal.reason.empty())
                    why += ": " + read.refusal.reason;
                return false;
            }
        }
        if (read.positions.size() != frame_atom_count) {
            why = "Frame " + number + " holds " + std::to_string(read.positions.size()) + " atoms, the first frame " +
                  std::to_string(frame_atom_count) + ": not shown";
            return false;
        }
        io::Refusal refusal;
        if (!IsShowable(read, refusal)) {
            why = "Frame " + number + " " + refusal.reason;
            return false;
        }
        std::vector<glm::vec3>& positions = read.positions;
        std::vector<unsigned>& elements = read.elements;
        frame.periodic = read.is_periodic;
        frame.cell = read.cell;
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
                const CLattice lattice(frame.cell, cell_origin + glm::dvec3(frame_center_xyz), periodic_axes);
                if (!frame.periodic || !lattice.is_usable)
                    continue;
                const std::vector<glm::ivec3> shifts = WrapShifts(lattice, positions);
                for (unsigned i = 0; i < shifts.size(); ++i) {
                    if (shifts[i] == glm::ivec3(0))
                        continue;
                    positions[i] += lattice.Translation(shifts[i]);
                    copy->MoveAtom(i, shifts[i], frame.cell);
                }
                continue;
            }
            if (e.u_atom >= positions.size())
                continue;
            if (e.is_delete) {
                copy->TakeAtom(e.u_atom);
                positions.erase(positions.begin() + e.u_atom);
                elements.erase(elements.begin() + e.u_atom);
            } else {
                elements[e.u_atom] = e.u_element;
            }
        }
        // frames held in one table carry no elements: those shown stay
        if (held && elements.size() == v_elements.size())
            elements = v_elements;
        copy->AdoptDetails(*file_copy);
        glm::dvec3 by;
        if (is_centered)
            copy->Centre(by);
        frame.copy = std::move(copy);
        frame.positions.swap(positions);
        frame.elements.swap(elements);
        return true;
    } catch (const std::exception&) {
        why = "Out of memory for frame " + number;
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
        file_copy = std::move(frame.copy);
        v_positions.swap(frame.positions);
        v_elements.swap(frame.elements);
        is_periodic = frame.periodic;
        m_cell_box = frame.cell;
        shown_frame = k;
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
