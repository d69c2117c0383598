// Atoms as ray-cast sphere impostors: one view-aligned triangle per atom,
// drawn as instances of 64 atoms each (a software renderer pays per
// instance). A list names the atoms to draw: those a view may show, or for
// picking those near the clicked pixel. The fragment stage intersects the
// view ray with the sphere, discards misses and writes the hit's true depth.
// Under an orthographic projection the rays are parallel and the triangle lies
// around the centre; under a perspective one (P[2][3] is not 0) it lies on the
// disc that just covers the sphere's outline seen from the eye, and each
// fragment follows its own ray from the eye. The normal and the picking program share
// the vertex stage and the hit test; picking writes the atom number as colour
// (r low byte, g middle, b high) instead of lighting. Each program is built
// for one kind of projection (PERSPECTIVE true or false): llvmpipe runs both
// sides of a branch on a uniform, so the one not taken would cost as much.
#ifndef TESK_RENDER_SHADERS_ATOM_H
#define TESK_RENDER_SHADERS_ATOM_H

inline const char* const atom_vs = R"(#version 330 core
const int BATCH = 64;  // atoms per instance
// one triangle around the unit disc: fewer corners and triangles than a quad
// for a little more area, cheaper for a software renderer
const vec2 corners[3] = vec2[3](vec2(0.0, 2.0), vec2(-1.7320508, -1.0), vec2(1.7320508, -1.0));

uniform samplerBuffer Atoms;    // position, element index
uniform int Count;              // atoms in the list
uniform mat4 P;
uniform mat4 MV;
uniform float S;                // atom scale
uniform vec4 Elements[126];     // colour, radius
uniform int Selected[4];        // highlighted atoms, -1 unused
uniform bool Copies;            // the records are copies of atoms (a repeated cell)
uniform usamplerBuffer Origins; // then: the atom each record is a copy of
uniform bool Pick;
uniform usamplerBuffer List;    // the atom numbers to draw
// Boxed: the list holds three numbers an atom, its number and the first and
// last pixel of the box where it may show (x in the low 16 bits); the atom is
// drawn as two triangles over that box in the window of Frame pixels.
uniform bool Boxed;
uniform vec2 Frame;
const vec2 box_corners[6] = vec2[6](vec2(0, 0), vec2(1, 0), vec2(0, 1), vec2(0, 1), vec2(1, 0), vec2(1, 1));

out vec2 Offset;                // from the centre, in radii
flat out vec3 ourColor;
flat out vec2 Depth;            // window depth of the centre, and its change per radius
out vec3 Ray;                   // perspective: the view-space point the eye's ray goes through
flat out vec4 Sphere;           // perspective: view-space centre and radius

void main()
{
    int n = gl_InstanceID * BATCH + gl_VertexID / (Boxed ? 6 : 3);
    if (n >= Count) {
        // past the last atom: a degenerate triangle, never rasterised
        gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
        return;
    }
    vec2 corner = corners[gl_VertexID % 3];
    int k = int(texelFetch(List, Boxed ? 3 * n : n).r);
    vec4 atom = texelFetch(Atoms, k);
    vec4 element = Elements[clamp(int(atom.w), 0, 125)];
    float Radius = element.w * S;
    vec3 Center = (MV * vec4(atom.xyz, 1.0)).xyz;  // view space
    Offset = corner;
    if (Pick) {
        ourColor = vec3(k & 255, (k >> 8) & 255, (k >> 16) & 255) / 255.0;
    } else if (any(equal(ivec4(Copies ? int(texelFetch(Origins, k).r) : k),
                         ivec4(Selected[0], Selected[1], Selected[2], Selected[3])))) {
        // a selected atom, or any copy of one
        ourColor = vec3(1.5, 0.75, 0.45);
    } else {
        ourColor = element.rgb;
    }
    if (PERSPECTIVE) {
        Ray = CoveringDisc(Center, Radius, corner);
        Sphere = vec4(Center, Radius);
        Depth = vec2(0.0);
        gl_Position = P * vec4(Ray, 1.0);
        return;
    }
    // orthographic: depth is linear in view-space z
    Depth = vec2(0.5 * (P[2][2] * Center.z + P[3][2]) + 0.5, 0.5 * P[2][2] * Radius);
    if (Boxed) {
        // the box's corner from window pixels back to view space
        uint first = texelFetch(List, 3 * n + 1).r, last = texelFetch(List, 3 * n + 2).r;
        vec2 lo = vec2(first & 65535u, first >> 16), hi = vec2(last & 65535u, last >> 16) + 1.0;
        vec2 ndc = mix(lo, hi, box_corners[gl_VertexID % 6]) / Frame * 2.0 - 1.0;
        vec2 at = (ndc - vec2(P[3][0], P[3][1])) / vec2(P[0][0], P[1][1]);
        Offset = (at - Center.xy) / Radius;
        gl_Position = P * vec4(at, Center.z + Radius, 1.0);
        return;
    }
    gl_Position = P * vec4(Center.xy + corner * Radius, Center.z + Radius, 1.0);
}
)";

// Shared head of both fragment stages: the hit point's normal in view space,
// with the depth of the hit written. The light model follows it.
inline const char* const atom_hit_glsl = R"(#version 330 core
#extension GL_ARB_conservative_depth : enable
#ifdef GL_ARB_conservative_depth
// the triangle lies at the sphere's front: a hit is never nearer, so the depth
// test may reject hidden fragments before shading them
layout (depth_greater) out float gl_FragDepth;
#endif
in vec2 Offset;
flat in vec3 ourColor;
flat in vec2 Depth;
in vec3 Ray;
flat in vec4 Sphere;

uniform mat4 P;

out vec4 outColor;

vec3 Hit()
{
    if (PERSPECTIVE) {
        // the ray from the eye, through this point of the covering disc
        vec3 d = normalize(Ray);
        float b = dot(d, Sphere.xyz);
        float disc = b * b - dot(Sphere.xyz, Sphere.xyz) + Sphere.w * Sphere.w;
        if (disc < 0.0 || Sphere.w <= 0.0)
            discard;
        vec3 hit = d * (b - sqrt(disc));
        vec4 clip = P * vec4(hit, 1.0);
        gl_FragDepth = 0.5 * clip.z / clip.w + 0.5;
        return (hit - Sphere.xyz) / Sphere.w;
    }
    float d2 = dot(Offset, Offset);
    if (d2 > 1.0)
        discard;
    vec3 n = vec3(Offset, sqrt(1.0 - d2));
    gl_FragDepth = Depth.x + Depth.y * n.z;
    return n;
}
)";

inline const char* const atom_frag_main = R"(
void main()
{
    vec3 n = Hit();
    outColor = vec4(Cued(Lit(ourColor, n, n), gl_FragDepth), 1.0);
}
)";

inline const char* const atom_pick_frag_main = R"(
void main()
{
    Hit();
    outColor = vec4(ourColor, 1.0);
}
)";

#endif
