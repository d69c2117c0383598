// Bonds as ray-cast cylinder impostors between two atom centres: one quad per
// bond instance around the projected axis; the fragment stage finds where the
// view ray meets the tube of radius R, keeps hits between the two ends and
// writes their true depth. The atom positions come from the atoms' buffer.
// The tube inside an atom's sphere never shows (the sphere is opaque and
// convex), so only the part between the two spheres is drawn: in
// ball-and-stick, a small part of the bond.
// Like the atoms, instances are batches of 64 quads, and a list names the
// bonds to draw. Under a perspective projection the quad is the disc that
// covers the outline of the shown part's bounding sphere, and each fragment
// follows its own ray from the eye. As for the atoms, PERSPECTIVE is defined
// when the program is built.
#ifndef TESK_RENDER_SHADERS_BOND_H
#define TESK_RENDER_SHADERS_BOND_H

inline const char* const bond_vs = R"(#version 330 core
const int BATCH = 64;  // bonds per instance
// -1 or 1: along the axis, across it
const vec2 corners[4] = vec2[4](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(1.0, 1.0));

uniform mat4 P;
uniform mat4 MV;
uniform float R;
uniform samplerBuffer Atoms;
uniform usamplerBuffer Bonds;  // the two atom numbers
uniform usamplerBuffer List;   // the bond numbers to draw
uniform int Count;             // bonds in the list
uniform vec4 Elements[126];    // colour, radius
uniform float S;               // atom scale
uniform int Drawn;             // records past this end half-bonds and have no sphere

out vec2 Pixel;      // view-space xy of the fragment
out vec3 Ray;        // perspective: the view-space point the eye's ray goes through
flat out vec3 A;     // view-space ends
flat out vec3 B;
flat out vec2 Shown; // the part of the axis outside both spheres, from A (0) to B (1)

// Of an axis of length `len`, the part inside the sphere of record k.
float Inside(int k, float w, float len)
{
    float r = k < Drawn ? Elements[clamp(int(w), 0, 125)].w * S : 0.0;
    return sqrt(max(r * r - R * R, 0.0)) / max(len, 1e-12);
}

void main()
{
    int k = gl_InstanceID * BATCH + gl_VertexID / 4;
    if (k >= Count) {
        gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
        return;
    }
    vec2 corner = corners[gl_VertexID % 4];
    ivec2 ends = ivec2(texelFetch(Bonds, int(texelFetch(List, k).r)).xy);
    vec4 a = texelFetch(Atoms, ends.x);
    vec4 b = texelFetch(Atoms, ends.y);
    A = (MV * vec4(a.xyz, 1.0)).xyz;
    B = (MV * vec4(b.xyz, 1.0)).xyz;
    float len = length(B - A);
    Shown = vec2(Inside(ends.x, a.w, len), 1.0 - Inside(ends.y, b.w, len));
    if (Shown.x >= Shown.y) {
        // the spheres hide all of it
        gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
        return;
    }
    if (PERSPECTIVE) {
        vec3 from = mix(A, B, Shown.x), to = mix(A, B, Shown.y);
        Ray = CoveringDisc(0.5 * (from + to), 0.5 * length(to - from) + R, corner);
        Pixel = Ray.xy;
        gl_Position = P * vec4(Ray, 1.0);
        return;
    }
    vec2 d = B.xy - A.xy;
    float l = length(d);
    vec2 along = l > 1e-6 ? d / l : vec2(1.0, 0.0);
    vec2 across = vec2(-along.y, along.x);
    vec2 base = mix(A.xy, B.xy, corner.x < 0.0 ? Shown.x : Shown.y);
    Pixel = base + (corner.x * along + corner.y * across) * R;
    gl_Position = P * vec4(Pixel, max(A.z, B.z) + R, 1.0);
}
)";

inline const char* const bond_frag_main = R"(#version 330 core
#extension GL_ARB_conservative_depth : enable
#ifdef GL_ARB_conservative_depth
// the quad lies in front of the whole tube
layout (depth_greater) out float gl_FragDepth;
#endif
in vec2 Pixel;
in vec3 Ray;
flat in vec3 A;
flat in vec3 B;
flat in vec2 Shown;

uniform mat4 P;
uniform float R;
uniform vec3 C;

out vec4 outColor;

void main()
{
    vec3 axis = B - A;
    float len2 = dot(axis, axis);
    if (PERSPECTIVE) {
        // the ray from the eye meets the tube where its part square to the
        // axis is R from the axis
        vec3 d = normalize(Ray);
        vec3 u = axis * inversesqrt(max(len2, 1e-24));
        vec3 dp = d - dot(d, u) * u;
        vec3 wp = -A - dot(-A, u) * u;
        float pa = dot(dp, dp), pb = 2.0 * dot(dp, wp), pc = dot(wp, wp) - R * R;
        float pdisc = pb * pb - 4.0 * pa * pc;
        if (len2 < 1e-12 || pa < 1e-9 || pdisc < 0.0)
            discard;
        vec3 seen = d * ((-pb - sqrt(pdisc)) / (2.0 * pa));
        float along = dot(seen - A, axis) / len2;
        if (along < Shown.x || along > Shown.y)
            discard;
        vec4 clip = P * vec4(seen, 1.0);
        gl_FragDepth = 0.5 * clip.z / clip.w + 0.5;
        vec3 q = (seen - (A + along * axis)) / R;  // a tube, alike all along, as below
        outColor = vec4(Cued(Lit(C, q, q), gl_FragDepth), 1.0);
        return;
    }
    // points (Pixel, A.z + h) at distance R from the line A + t (B - A)
    vec2 w = Pixel - A.xy;
    float k = dot(w, axis.xy);
    float qa = 1.0 - axis.z * axis.z / len2;
    float qb = -2.0 * k * axis.z / len2;
    float qc = dot(w, w) - k * k / len2 - R * R;
    float disc = qb * qb - 4.0 * qa * qc;
    // seen end-on the atoms cover the tube
    if (len2 < 1e-12 || qa < 1e-6 || disc < 0.0)
        discard;
    float h = (-qb + sqrt(disc)) / (2.0 * qa);  // the nearer side
    float t = (k + h * axis.z) / len2;
    if (t < Shown.x || t > Shown.y)
        discard;
    vec3 hit = vec3(Pixel, A.z + h);
    // orthographic: depth is linear in view-space z
    gl_FragDepth = 0.5 * (P[2][2] * hit.z + P[3][2]) + 0.5;

    // shaded as a unit tube along its axis at the origin: alike all along,
    // so where it enters a sphere it is no brighter than in its middle
    vec3 p = (hit - (A + t * axis)) / R;
    outColor = vec4(Cued(Lit(C, p, p), gl_FragDepth), 1.0);
}
)";

#endif
