// The frames of a trajectory shown one at a time: each is read from the file
// when asked for, gets the edits made so far, its own cell and its bonds.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <type_traits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cmodel.h"
#include "elements.h"
#include "textio.h"

namespace {

bool Usable(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements)
{
    if (positions.empty() || positions.size() != elements.size())
        return false;
    for (unsigned e : elements)
        if (e >= periodic_table_atoms)
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

std::size_t CModel::GetFrameCount()
{
    if (!is_bond_eval)
        return 0;
    return trajectory.GetFrameCount();
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

bool CModel::LoadFrame(std::size_t k, bool bonds)
{
    if (!is_bond_eval)
        return false;
    char message[256];
    try {
        if (IsTableFormat()) {
            io::Structure frame;
            if (!ReadStructureFrame(k, frame, frame_message))
                return false;
            std::vector<glm::vec3> positions(frame.positions.begin(), frame.positions.end());
            v_float_raw_xyz.swap(positions);
            v_atom_index = frame.elements;
            if (frame.is_periodic) {
                is_periodic = true;
                m_cell_box = frame.cell;
            }
            file_structure = std::move(frame);
            u_frame = k;
            frame_message.clear();
            if (bonds)
                EvalAtomicBonds();
        } else if (!LoadObjectFrame(k, bonds, message, sizeof message)) {
            return false;
        }
    } catch (const std::exception&) {
        frame_message = "Out of memory for the frame";
        return false;
    }
    // shown around the first frame's centre, so that motion stays visible
    for (glm::vec3& p : v_float_raw_xyz)
        p -= frame_center_xyz;
    if (bonds)
        for (std::size_t b = 0; b < std::min<std::size_t>(i_number_of_bonds, m_bond_xyz.size()); ++b)
            m_bond_xyz[b] -= frame_center_xyz;
    return true;
}

bool CModel::LoadObjectFrame(std::size_t k, bool bonds, char* message, std::size_t message_size)
{
    {
        std::string text;
        if (!trajectory.ReadFrameText(k, text)) {
            std::snprintf(message, message_size, "There is no frame %zu", k + 1);
            frame_message = message;
            std::printf("%s\n", message);
            std::fflush(stdout);
            return false;
        }
        std::vector<glm::vec3> positions;
        std::vector<unsigned> elements;
        bool periodic = false;
        glm::dmat3 cell(1.0);
        auto read = [&](auto& current) {
            std::remove_reference_t<decltype(current)> reader;
            if (!ReadText(reader, frame_folder, trajectory.path, text, positions, elements) ||
                !Usable(positions, elements)) {
                std::snprintf(message, message_size, "Frame %zu cannot be read", k + 1);
                return false;
            }
            if (positions.size() != u_frame_atoms) {
                std::snprintf(message, message_size, "Frame %zu holds %zu atoms, the first frame %zu: not shown",
                              k + 1, positions.size(), u_frame_atoms);
                return false;
            }
            // the edits of the shown frame, in the order they were made
            for (const CFrameEdit& e : v_edits) {
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
            if constexpr (std::is_same_v<std::remove_reference_t<decltype(current)>, CXyz>)
                if (is_centered)
                    reader.CenterCoordinates();
            periodic = reader.is_periodic;
            cell = reader.cell_xyz;
            current = std::move(reader);
            return true;
        };
        const bool ok = file_format == INPUT_FILE_TYPE_XYZ   ? read(xyz)
                        : file_format == INPUT_FILE_TYPE_VSP ? read(vasp)
                                                             : read(pdb);
        if (!ok) {
            frame_message = message;
            std::printf("%s\n", message);
            std::fflush(stdout);
            return false;
        }
        v_float_raw_xyz.swap(positions);
        v_atom_index.swap(elements);
        if (periodic) {
            is_periodic = true;
            m_cell_box = cell;
        }
        u_frame = k;
        frame_message.clear();
        if (bonds)
            EvalAtomicBonds();
    }
    return true;
}

bool CModel::SaveAllFrames(const std::string& path)
{
    const std::size_t shown = u_frame;
    const std::size_t count = GetFrameCount();
    // every frame goes through the one-structure writer into a scratch file
    // and is appended to the new file, which replaces `path` at the end
    std::string out_name = path + ".tesk-XXXXXX";
    std::string frame_name = path + ".tesk-XXXXXX";
    const int out = ::mkstemp(out_name.data());
    if (out < 0)
        return false;
    const int scratch = ::mkstemp(frame_name.data());
    if (scratch < 0) {
        ::close(out);
        ::unlink(out_name.c_str());
        return false;
    }
    ::close(scratch);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(out, 0666 & ~mask);

    bool ok = true;
    std::size_t written = 0;
    is_saving_frames = true;
    try {
        std::string text;
        for (std::size_t k = 0; ok && k < count; ++k) {
            if (!LoadFrame(k, false))
                continue;  // frames that cannot be shown are left out
            if (!SaveFileAs(frame_name, INPUT_FILE_TYPE_XYZ) || !textio::ReadWholeFile(frame_name, text)) {
                ok = false;
                break;
            }
            std::size_t done = 0;
            while (done < text.size()) {
                const ssize_t n = ::write(out, text.data() + done, text.size() - done);
                if (n <= 0) {
                    ok = false;
                    break;
                }
                done += std::size_t(n);
            }
            ++written;
        }
    } catch (const std::exception&) {
        ok = false;
    }
    is_saving_frames = false;
    LoadFrame(shown, true);
    ::unlink(frame_name.c_str());
    if (::close(out) != 0 || written == 0)
        ok = false;
    if (ok && std::rename(out_name.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok)
        ::unlink(out_name.c_str());
    return ok;
}
