#include "model/volume_convert.h"

#include <cctype>
#include <cmath>
#include <exception>
#include <memory>

#include "io/text_source.h"
#include "model/model.h"
#include "io/textio.h"

namespace io {

namespace {

bool Surfaces(const Volume& v, std::size_t grid, float level, int step, std::vector<core::IsoMesh>& out)
{
    out.clear();
    if (grid >= v.grids.size())
        return true;
    try {
        core::IsoGrid g;
        g.values = v.grids[grid].values.data();
        g.size = v.size;
        g.voxel = v.voxel;
        g.origin = v.origin;
        g.is_periodic = v.is_periodic;
        const bool both = core::IsSigned(core::ValueRange(g.values, v.Points()));
        std::vector<float> storage;
        if (step > 1)
            g = core::CoarseGrid(g, step, storage);
        out.resize(both ? 2 : 1);
        const float magnitude = both ? std::fabs(level) : level;
        if (!core::BuildIsosurface(g, magnitude, true, out[0]))
            return false;
        return !both || core::BuildIsosurface(g, -magnitude, false, out[1]);
    } catch (const std::exception&) {
        out.clear();
        return false;
    }
}

}  // namespace

VolumeKind VolumeKindOf(Format format)
{
    return format == Format::VaspVolume ? VolumeKind::Vasp
           : format == Format::Cube     ? VolumeKind::Cube
                                        : VolumeKind::None;
}

bool BuildSurfaces(const Volume& v, std::size_t grid, float level, std::vector<core::IsoMesh>& out)
{
    return Surfaces(v, grid, level, 1, out);
}

bool BuildCoarseSurfaces(const Volume& v, std::size_t grid, float level, int step, std::vector<core::IsoMesh>& out)
{
    return Surfaces(v, grid, level, step, out);
}

std::string ObjText(const std::vector<core::IsoMesh>& meshes)
{
    std::string text = "# isosurface written by Tesk, in A\n";
    std::size_t vertices = 0, triangles = 0;
    for (const core::IsoMesh& m : meshes) {
        vertices += m.positions.size();
        triangles += m.Triangles();
    }
    text.reserve(vertices * 80 + triangles * 40 + 64);
    std::size_t base = 1;  // OBJ counts from one, across objects
    for (std::size_t k = 0; k < meshes.size(); ++k) {
        const core::IsoMesh& m = meshes[k];
        text += k == 0 ? "o surface\n" : "o surface_negative\n";
        for (const glm::vec3& p : m.positions) {
            text += "v";
            for (int a = 0; a < 3; ++a)
                textio::AppendShortest(text, p[a], 0, true);
            text += "\n";
        }
        for (const glm::vec3& n : m.normals) {
            text += "vn";
            for (int a = 0; a < 3; ++a)
                textio::AppendShortest(text, n[a], 0, true);
            text += "\n";
        }
        for (std::size_t t = 0; t + 2 < m.indices.size(); t += 3) {
            text += "f";
            for (int c = 0; c < 3; ++c) {
                const std::string i = std::to_string(base + m.indices[t + std::size_t(c)]);
                text += " " + i + "//" + i;
            }
            text += "\n";
        }
        base += m.positions.size();
    }
    return text;
}

bool LoadVolumeStructure(CModel& model, const Volume& v, const std::string& path)
{
    try {
        ReadResult read;
        HeldCopy copy;
        if (v.kind == VolumeKind::Vasp) {
            // through the VASP copy, so that a save keeps the POSCAR's header
            copy = NewFileCopy(Format::Vasp);
            ReadOptions options;
            options.folder = io::FolderOf(path);
            if (!copy->Read(v.structure_text, options, path, read))
                return false;
            read.is_periodic = true;
            read.cell = v.cell;
        } else {
            if (v.positions.empty())
                return false;
            copy = NewXyzCopy(v.positions);
            read.low = read.high = v.positions[0];
            for (const glm::dvec3& p : v.positions) {
                read.positions.push_back(glm::vec3(p));
                read.low = glm::min(read.low, p);
                read.high = glm::max(read.high, p);
            }
            // the view takes in the whole grid, which reaches well past a molecule's atoms
            for (int corner = 0; corner < 8; ++corner) {
                const glm::dvec3 at(corner & 1 ? v.size.x - 1 : 0, corner & 2 ? v.size.y - 1 : 0,
                                    corner & 4 ? v.size.z - 1 : 0);
                read.low = glm::min(read.low, v.origin + v.voxel * at);
                read.high = glm::max(read.high, v.origin + v.voxel * at);
            }
            read.elements = v.elements;
        }
        Refusal refusal;
        return IsShowable(read, refusal) &&
               model.Adopt(std::move(copy), std::move(read), CTrajectory(), io::FolderOf(path));
    } catch (const std::exception&) {
        return false;
    }
}

namespace {

bool EndsWithObj(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".obj";
}

}  // namespace

bool ConvertVolumeFile(const std::string& in, Format in_fmt, const std::string& out, int out_fmt, bool has_level,
                       double level, std::string& message)
{
    message.clear();
    try {
        Volume v;
        Refusal why;
        const VolumeKind kind = VolumeKindOf(in_fmt);
        if (kind == VolumeKind::None) {
            message = textio::IsRegularFile(in) ? in + ": not a volumetric file"
                                                : "Could not read " + in + ": it is missing or not a regular file";
            return false;
        }
        if (!ReadVolumeFile(in, kind, v, why)) {
            message = RefusalText(in, why);
            return false;
        }
        if (EndsWithObj(out)) {
            const float at = has_level ? float(level) : core::DefaultLevel(v.grids[0].values.data(), v.Points());
            std::vector<core::IsoMesh> meshes;
            if (!BuildSurfaces(v, 0, at, meshes)) {
                message = "Not enough memory for the surface of " + in;
                return false;
            }
            if (!textio::WriteFileAtomically(out, ObjText(meshes))) {
                message = "Could not save " + out;
                return false;
            }
            return true;
        }
        const int write_fmt = out_fmt == INPUT_FILE_TYPE_AUTO ? int(io::DetectByName(out)) : out_fmt;
        if (write_fmt == INPUT_FILE_TYPE_UNKNOWN) {
            message = "Could not tell the format to write " + out + " in; name it with --to";
            return false;
        }
        auto model = std::make_unique<CModel>();
        if (!LoadVolumeStructure(*model, v, in)) {
            message = in + ": no atoms to write";
            return false;
        }
        if (!model->SaveFileAs(out, write_fmt)) {
            message = "Could not save " + out;
            return false;
        }
        return true;
    } catch (const std::exception&) {
        message = "Not enough memory to convert " + in;
        return false;
    }
}

}  // namespace io
