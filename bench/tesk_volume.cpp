// Loads a volumetric file as the viewer does and builds its first surface at
// the default level, then a second one at another level; prints the times,
// for comparisons with other tools on the same file.
//
//   tesk_volume FILE [LEVEL]
//
// Prints "points P load S surface S level L triangles T new_level S" on one
// line; exit status 1 when the file is refused.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/volume_convert.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::printf("usage: tesk_volume FILE [LEVEL]\n");
        return 2;
    }
    using clock = std::chrono::steady_clock;
    auto seconds = [](clock::time_point a, clock::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    };
    const auto t0 = clock::now();
    io::Volume v;
    io::Refusal why;
    if (!io::ReadVolumeFile(argv[1], io::VolumeKindOf(io::Detect(argv[1])), v, why)) {
        std::printf("refused: line %zu: %s\n", why.line, why.reason.c_str());
        return 1;
    }
    const auto t1 = clock::now();
    const float level =
        argc > 2 ? std::strtof(argv[2], nullptr) : core::DefaultLevel(v.grids[0].values.data(), v.Points());
    std::vector<core::IsoMesh> meshes;
    io::BuildSurfaces(v, 0, level, meshes);
    const auto t2 = clock::now();
    std::size_t triangles = 0;
    for (const core::IsoMesh& m : meshes)
        triangles += m.Triangles();
    io::BuildSurfaces(v, 0, level * 0.5f, meshes);
    const auto t3 = clock::now();
    std::printf("points %zu load %.3f surface %.3f level %g triangles %zu new_level %.3f\n", v.Points(),
                seconds(t0, t1), seconds(t1, t2), double(level), triangles, seconds(t2, t3));
    return 0;
}
