// libFuzzer target: arbitrary bytes to the format table's sniffers and to the
// volumetric readers, read as a VASP file and as a cube file, whole and for
// their structure alone; a grid that is read gets its surfaces, whose
// triangles must name vertices that exist.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "model/volume_convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    io::DetectByContent(text);
    io::Structure structure;
    io::Refusal refused;
    io::ReadVaspVolumeStructure(text, io::ReadOptions(), structure, refused);
    io::ReadCubeStructure(text, io::ReadOptions(), structure, refused);
    for (io::VolumeKind kind : {io::VolumeKind::Vasp, io::VolumeKind::Cube}) {
        io::Volume v;
        io::Refusal why;
        if (!io::ReadVolumeText(text, kind, "CHGCAR", v, why) || v.Points() > (1u << 16))
            continue;
        for (std::size_t k = 0; k < v.grids.size(); ++k) {
            if (v.grids[k].values.size() != v.Points())
                std::abort();
            std::vector<core::IsoMesh> meshes;
            io::BuildSurfaces(v, k, core::DefaultLevel(v.grids[k].values.data(), v.Points()), meshes);
            for (const core::IsoMesh& m : meshes)
                for (uint32_t i : m.indices)
                    if (i >= m.positions.size() || m.normals.size() != m.positions.size())
                        std::abort();
        }
    }
    return 0;
}
