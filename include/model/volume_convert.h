// Volumetric files seen from the rest of the program: their surfaces at a
// level, written as Wavefront OBJ; their structure handed to the model; and
// the command line's conversion of them. The one place that ties the
// volumetric readers to loading and converting.
#ifndef TESK_MODEL_VOLUME_CONVERT_H
#define TESK_MODEL_VOLUME_CONVERT_H

#include <string>
#include <vector>

#include "core/isosurface.h"
#include "io/format_registry.h"
#include "io/volume.h"

class CModel;

namespace io {

// The volumetric reader for a format of the table; None for the others.
VolumeKind VolumeKindOf(Format format);

// The surfaces of grid `grid` at `level`: the one around values above it,
// and for signed data (core::IsSigned) also the one around values below
// -level. False when memory runs out.
bool BuildSurfaces(const Volume& v, std::size_t grid, float level, std::vector<core::IsoMesh>& out);
// The same on every `step`-th point of the grid (core::CoarseGrid).
bool BuildCoarseSurfaces(const Volume& v, std::size_t grid, float level, int step, std::vector<core::IsoMesh>& out);

// The meshes as OBJ text: one object each, vertices in A in the file's own
// frame (that of its atoms written as XYZ), normals, faces.
std::string ObjText(const std::vector<core::IsoMesh>& meshes);

// Shows the volume's structure in the model, as a read of the file at
// `path` would; false (the model unchanged) when it has no usable atoms.
bool LoadVolumeStructure(CModel& model, const Volume& v, const std::string& path);

// --convert of a volumetric file read as `in_fmt` (refused when that is not
// a volumetric format): its surfaces as OBJ (at `level`, or at the default
// level when `has_level` is false) when `out` ends in .obj, else its
// structure in the format `out_fmt` (or told from the name of `out`).
bool ConvertVolumeFile(const std::string& in, Format in_fmt, const std::string& out, int out_fmt, bool has_level,
                       double level, std::string& message);

}  // namespace io

#endif
