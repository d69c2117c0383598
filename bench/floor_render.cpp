// How near Tesk draws to what the machine can do at best, side by side in
// one run on the same pictures: silicon supercells (bench/silicon_generate.py),
// bonds shown, 1280 x 720, front view, under Mesa llvmpipe on Xvfb.
//
// The floor knows beforehand which atoms and bonds show, from one render of
// everything with their numbers as colours, and draws only those, each with
// the plainest ray-cast impostor that writes its depth: a quad per sphere or
// tube, lit by the normal alone. No renderer can draw the picture with less.
// Beside it, Tesk's own frames: the same view again (still), turning a little
// every frame as the trackball drags it (at half resolution, the visibility
// pass found again each time), that pass alone, with symbol labels, with a pick.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "bench_window.h"
#include "render/bonds_layer.h"
#include "render/display.h"
#include "render/shader.h"
#include "core/elements.h"

namespace {

const char* const kSphereVs = R"(#version 330 core
layout (location = 0) in vec4 Sphere;   // centre, radius
layout (location = 1) in vec4 Colour;   // colour; or the number drawn as colour
uniform mat4 P;
uniform mat4 MV;
const vec2 corners[4] = vec2[4](vec2(-1, -1), vec2(1, -1), vec2(-1, 1), vec2(1, 1));
out vec2 Offset;
flat out vec4 Shade;
flat out vec2 Depth;
void main()
{
    vec3 c = (MV * vec4(Sphere.xyz, 1.0)).xyz;
    Offset = corners[gl_VertexID];
    Shade = Colour;
    Depth = vec2(0.5 * (P[2][2] * c.z + P[3][2]) + 0.5, 0.5 * P[2][2] * Sphere.w);
    gl_Position = P * vec4(c.xy + Offset * Sphere.w, c.z + Sphere.w, 1.0);
}
)";

const char* const kSphereFs = R"(#version 330 core
in vec2 Offset;
flat in vec4 Shade;
flat in vec2 Depth;
uniform bool Ids;
out vec4 outColor;
void main()
{
    float d2 = dot(Offset, Offset);
    if (d2 > 1.0)
        discard;
    float nz = sqrt(1.0 - d2);
    gl_FragDepth = Depth.x + Depth.y * nz;
    outColor = Ids ? Shade : vec4(Shade.rgb * (0.2 + 0.8 * nz), 1.0);
}
)";

const char* const kTubeVs = R"(#version 330 core
layout (location = 0) in vec3 From;     // the ends of the part shown
layout (location = 1) in vec3 To;
layout (location = 2) in vec4 Colour;
uniform mat4 P;
uniform mat4 MV;
uniform float R;
const vec2 corners[4] = vec2[4](vec2(0, -1), vec2(1, -1), vec2(0, 1), vec2(1, 1));
out vec2 Pixel;
flat out vec3 A;
flat out vec3 B;
flat out vec4 Shade;
void main()
{
    A = (MV * vec4(From, 1.0)).xyz;
    B = (MV * vec4(To, 1.0)).xyz;
    Shade = Colour;
    vec2 d = B.xy - A.xy;
    vec2 along = length(d) > 1e-6 ? normalize(d) : vec2(1.0, 0.0);
    vec2 corner = corners[gl_VertexID];
    Pixel = mix(A.xy, B.xy, corner.x) + corner.y * R * vec2(-along.y, along.x);
    gl_Position = P * vec4(Pixel, max(A.z, B.z) + R, 1.0);
}
)";

const char* const kTubeFs = R"(#version 330 core
in vec2 Pixel;
flat in vec3 A;
flat in vec3 B;
flat in vec4 Shade;
uniform mat4 P;
uniform float R;
uniform bool Ids;
out vec4 outColor;
void main()
{
    // the nearer point (Pixel, A.z + h) at distance R from the axis
    vec3 axis = B - A;
    float len2 = dot(axis, axis);
    vec2 w = Pixel - A.xy;
    float k = dot(w, axis.xy);
    float qa = 1.0 - axis.z * axis.z / len2;
    float qb = -2.0 * k * axis.z / len2;
    float qc = dot(w, w) - k * k / len2 - R * R;
    float disc = qb * qb - 4.0 * qa * qc;
    if (len2 < 1e-12 || qa < 1e-6 || disc < 0.0)
        discard;
    float h = (-qb + sqrt(disc)) / (2.0 * qa);
    float t = (k + h * axis.z) / len2;
    if (t < 0.0 || t > 1.0)
        discard;
    float z = A.z + h;
    gl_FragDepth = 0.5 * (P[2][2] * z + P[3][2]) + 0.5;
    vec3 n = (vec3(Pixel, z) - (A + t * axis)) / R;
    outColor = Ids ? Shade : vec4(Shade.rgb * (0.2 + 0.8 * max(n.z, 0.0)), 1.0);
}
)";

// A number below 2^24 as an RGB colour, one byte a channel (a window may have no alpha).
glm::vec4 AsColour(unsigned n)
{
    return glm::vec4(n & 255u, (n >> 8) & 255u, (n >> 16) & 255u, 255u) / 255.0f;
}

// The floor: the spheres and tubes a picture shows, each drawn once.
class Floor {
public:
    // Everything Tesk draws in its current view is drawn with numbers for
    // colours; what shows is kept for Draw.
    void Build(const CDisplay& d)
    {
        if (!is_made)
            Make();
        P = d.Projection;
        MV = d.ViewMatrix() * d.SceneModel();
        const std::vector<glm::vec4>& records = d.atoms.v_records;
        const unsigned drawn = d.atoms.u_atoms;
        std::vector<glm::vec4> spheres, sphere_colours, tubes, tube_colours;
        for (unsigned k = 0; k < drawn; ++k) {
            const glm::vec4& r = records[k];
            const glm::vec4 e = atom_rgbs[std::clamp(int(r.w), 0, int(species_count) - 1)];
            spheres.push_back(glm::vec4(glm::vec3(r), e.w * d.atom_scale));
            sphere_colours.push_back(glm::vec4(glm::vec3(e), 1.0f));
        }
        // the part of a tube outside both spheres, as Tesk draws it
        for (const glm::uvec2& b : d.bonds.v_pairs) {
            const glm::vec3 a(records[b.x]), e(records[b.y]);
            const float len = glm::length(e - a);
            auto inside = [&](unsigned k) {
                const float r = k < drawn ? spheres[k].w : 0.0f;
                return len > 0.0f ? std::sqrt(std::max(r * r - BOND_RADIUS * BOND_RADIUS, 0.0f)) / len : 1.0f;
            };
            const float t0 = inside(b.x), t1 = 1.0f - inside(b.y);
            if (t0 >= t1)
                continue;
            tubes.push_back(glm::vec4(glm::mix(a, e, t0), 0.0f));
            tubes.push_back(glm::vec4(glm::mix(a, e, t1), 0.0f));
            tube_colours.push_back(glm::vec4(0.9f, 0.9f, 0.9f, 1.0f));
        }
        // every sphere and tube with its number, then the numbers that show
        std::vector<glm::vec4> ids(spheres.size());
        for (size_t k = 0; k < ids.size(); ++k)
            ids[k] = AsColour(static_cast<unsigned>(k + 1));
        std::vector<glm::vec4> tube_ids(tube_colours.size());
        for (size_t k = 0; k < tube_ids.size(); ++k)
            tube_ids[k] = AsColour(static_cast<unsigned>(spheres.size() + k + 1));
        Fill(spheres, ids, tubes, tube_ids);
        glDisable(GL_BLEND);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Draw(true);
        std::vector<unsigned> pixels(static_cast<size_t>(kWidth) * kHeight);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        std::vector<unsigned char> shows(spheres.size() + tube_ids.size() + 1, 0);
        for (const unsigned p : pixels)
            if ((p & 0xffffffu) > 0 && (p & 0xffffffu) < shows.size())
                shows[p & 0xffffffu] = 1;
        std::vector<glm::vec4> s, sc, t, tc;
        for (size_t k = 0; k < spheres.size(); ++k)
            if (shows[k + 1])
                s.push_back(spheres[k]), sc.push_back(sphere_colours[k]);
        for (size_t k = 0; k < tube_colours.size(); ++k)
            if (shows[spheres.size() + k + 1])
                t.push_back(tubes[2 * k]), t.push_back(tubes[2 * k + 1]), tc.push_back(tube_colours[k]);
        Fill(s, sc, t, tc);
    }

    // `ids`: the numbers as colours, else lit.
    void Draw(bool ids) const
    {
        glUseProgram(sphere_program);
        glUniformMatrix4fv(glGetUniformLocation(sphere_program, "P"), 1, GL_FALSE, glm::value_ptr(P));
        glUniformMatrix4fv(glGetUniformLocation(sphere_program, "MV"), 1, GL_FALSE, glm::value_ptr(MV));
        glUniform1i(glGetUniformLocation(sphere_program, "Ids"), ids);
        glBindVertexArray(vao[0]);
        glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, static_cast<GLsizei>(u_spheres));
        glUseProgram(tube_program);
        glUniformMatrix4fv(glGetUniformLocation(tube_program, "P"), 1, GL_FALSE, glm::value_ptr(P));
        glUniformMatrix4fv(glGetUniformLocation(tube_program, "MV"), 1, GL_FALSE, glm::value_ptr(MV));
        glUniform1f(glGetUniformLocation(tube_program, "R"), BOND_RADIUS);
        glUniform1i(glGetUniformLocation(tube_program, "Ids"), ids);
        glBindVertexArray(vao[1]);
        glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, static_cast<GLsizei>(u_tubes));
        glBindVertexArray(0);
    }

    size_t u_spheres = 0, u_tubes = 0;

private:
    void Make()
    {
        sphere.SetShader(kSphereVs, kSphereFs);
        tube.SetShader(kTubeVs, kTubeFs);
        sphere_program = sphere.Program;
        tube_program = tube.Program;
        glGenVertexArrays(2, vao);
        glGenBuffers(4, vbo);
        is_made = true;
    }

    void Fill(const std::vector<glm::vec4>& spheres, const std::vector<glm::vec4>& sphere_colours,
              const std::vector<glm::vec4>& tube_ends, const std::vector<glm::vec4>& tube_colours)
    {
        u_spheres = spheres.size();
        u_tubes = tube_colours.size();
        glBindVertexArray(vao[0]);
        Attribute(vbo[0], spheres, {{0, 4, 0}});
        Attribute(vbo[1], sphere_colours, {{1, 4, 0}});
        glBindVertexArray(vao[1]);
        Attribute(vbo[2], tube_ends, {{0, 3, 0}, {1, 3, sizeof(glm::vec4)}});
        Attribute(vbo[3], tube_colours, {{2, 4, 0}});
        glBindVertexArray(0);
    }

    struct Slot {
        GLuint location;
        GLint size;
        size_t offset;
    };
    static void Attribute(GLuint buffer, const std::vector<glm::vec4>& v, std::initializer_list<Slot> slots)
    {
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(glm::vec4)), v.data(), GL_STATIC_DRAW);
        const GLsizei stride = static_cast<GLsizei>(sizeof(glm::vec4) * slots.size());
        for (const Slot& s : slots) {
            glEnableVertexAttribArray(s.location);
            glVertexAttribPointer(s.location, s.size, GL_FLOAT, GL_FALSE, stride,
                                  reinterpret_cast<const void*>(s.offset));
            glVertexAttribDivisor(s.location, 1);
        }
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }

    bool is_made = false;
    CShader sphere, tube;
    GLuint sphere_program = 0, tube_program = 0;
    GLuint vao[2] = {0, 0}, vbo[4] = {0, 0, 0, 0};
    glm::mat4 P{1.0f}, MV{1.0f};
};

struct Context {
    BenchWindow base;
    std::unique_ptr<CDisplay>& display = base.display;
    Floor floor;
    long loaded = 0;
    int frames = 0;

    bool Load(long atoms)
    {
        if (!display)
            return false;
        if (loaded == atoms)
            return true;
        const char* env = std::getenv("TESK_BENCH_DATA");
        const std::string folder = env ? env : "bench/data";
        if (!display->ReadFile(folder, folder + "/silicon-" + std::to_string(atoms) + ".xyz", INPUT_FILE_TYPE_XYZ))
            return false;
        display->is_show_bond = true;
        display->SetAtomScale(true);
        display->is_show_label = false;
        display->ShowSymbols(false);
        display->track.Model = glm::mat4(1.0f);
        TeskFrame();
        floor.Build(*display);
        loaded = atoms;
        return true;
    }

    // turn: radians about the vertical from the front view
    void TeskFrame(float turn = 0.0f)
    {
        display->track.Model = glm::rotate(glm::mat4(1.0f), turn, glm::vec3(0.0f, 1.0f, 0.0f));
        StartFrame(kWidth, kHeight);
        display->DrawScene(kWidth, kHeight);
        glUseProgram(0);
        glFinish();
    }

    void FloorFrame()
    {
        StartFrame(kWidth, kHeight);
        glDisable(GL_BLEND);
        floor.Draw(false);
        glUseProgram(0);
        glFinish();
    }
};

Context* Loaded(benchmark::State& state)
{
    static Context context;
    if (context.Load(state.range(0)))
        return &context;
    state.SkipWithError("no GL context or no input (bench/silicon_generate.py bench/data N)");
    return nullptr;
}

void BM_Floor(benchmark::State& state)
{
    Context* gl = Loaded(state);
    if (!gl)
        return;
    for (auto _ : state)
        gl->FloorFrame();
    state.counters["atoms shown"] = static_cast<double>(gl->floor.u_spheres);
    state.counters["bonds shown"] = static_cast<double>(gl->floor.u_tubes);
}

void BM_TeskStill(benchmark::State& state)
{
    Context* gl = Loaded(state);
    if (!gl)
        return;
    for (auto _ : state)
        gl->TeskFrame();
    const CVisibility& shown = gl->display->visible;
    state.counters["atoms drawn"] = static_cast<double>(shown.v_atoms.size() + shown.v_boxed.size() / 3);
    state.counters["bonds drawn"] = static_cast<double>(shown.v_bonds.size());
}

void BM_TeskTurning(benchmark::State& state)
{
    Context* gl = Loaded(state);
    if (!gl)
        return;
    gl->display->is_moving = true;
    for (auto _ : state)
        gl->TeskFrame(++gl->frames % 2 ? 1e-3f : -1e-3f);
    gl->display->is_moving = false;
    gl->TeskFrame();
}

// The CPU side of a turning frame alone: the visibility pass at the half
// resolution a moving view is drawn at, without the GPU drawing what it finds.
void BM_TeskPass(benchmark::State& state)
{
    Context* gl = Loaded(state);
    if (!gl)
        return;
    CDisplay& d = *gl->display;
    d.is_moving = true;
    gl->TeskFrame();
    for (auto _ : state) {
        d.track.Model = glm::rotate(glm::mat4(1.0f), ++gl->frames % 2 ? 1e-3f : -1e-3f, glm::vec3(0, 1, 0));
        const glm::mat4 mv = d.ViewMatrix() * d.SceneModel();
        d.visible.FindAtoms(d.atoms.v_records, d.atoms.u_atoms, d.atom_scale, d.Projection, mv, d.frame_size,
                            d.atoms.u_version);
        d.visible.FindBonds(d.bonds.v_pairs, BOND_RADIUS, d.bonds.u_version);
    }
    d.is_moving = false;
    gl->TeskFrame();
}

void BM_TeskLabels(benchmark::State& state)
{
    Context* gl = Loaded(state);
    if (!gl)
        return;
    gl->display->ShowSymbols(true);
    gl->display->is_show_label = true;
    for (auto _ : state)
        gl->TeskFrame();
    gl->display->is_show_label = false;
    gl->display->ShowSymbols(false);
}

void BM_TeskPick(benchmark::State& state)
{
    Context* gl = Loaded(state);
    if (!gl)
        return;
    for (auto _ : state) {
        gl->display->SetPicking(kWidth / 2, kHeight / 2);
        gl->TeskFrame();
    }
}

}  // namespace

// one size after the other, every kind of frame of a size side by side
#define TESK_FLOOR_SIZE(n)                                                                                    \
    BENCHMARK(BM_Floor)->Arg(n)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();       \
    BENCHMARK(BM_TeskStill)->Arg(n)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();   \
    BENCHMARK(BM_TeskTurning)->Arg(n)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime(); \
    BENCHMARK(BM_TeskPass)->Arg(n)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();    \
    BENCHMARK(BM_TeskLabels)->Arg(n)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();  \
    BENCHMARK(BM_TeskPick)->Arg(n)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
TESK_FLOOR_SIZE(10000)
TESK_FLOOR_SIZE(100000)
TESK_FLOOR_SIZE(1000000)
BENCHMARK_MAIN();
