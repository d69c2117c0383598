// Bonds as ray-cast cylinder impostors between two atom centres: one quad per
// bond instance around the projected axis; the fragment stage finds where the
// view ray meets the tube of radius R, keeps hits between the two ends and
// writes their true depth. The atom positions come from the atoms' buffer.
// Like the atoms, instances are batches of 64 quads.
#ifndef TESK_SHADERS_BOND_H
#define TESK_SHADERS_BOND_H

inline const char* const bond_vs = R"(#version 330 core
const int BATCH = 64;  // bonds per instance
// -1 or 1: along the axis, across it
const vec2 corners[4] = vec2[4](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(1.0, 1.0));

uniform mat4 P;
uniform mat4 MV;
uniform float R;
uniform samplerBuffer Atoms;
uniform usamplerBuffer Bonds;  // the two atom numbers
uniform int Count;

out vec2 Pixel;      // view-space xy of the fragment
flat out vec3 A;     // view-space ends
flat out vec3 B;

void main()
{
    int k = gl_InstanceID * BATCH + gl_VertexID / 4;
    if (k >= Count) {
        gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
        return;
    }
    vec2 corner = corners[gl_VertexID % 4];
    uvec2 ends = texelFetch(Bonds, k).xy;
    A = (MV * vec4(texelFetch(Atoms, int(ends.x)).xyz, 1.0)).xyz;
    B = (MV * vec4(texelFetch(Atoms, int(ends.y)).xyz, 1.0)).xyz;
    vec2 d = B.xy - A.xy;
    float l = length(d);
    vec2 along = l > 1e-6 ? d / l : vec2(1.0, 0.0);
    vec2 across = vec2(-along.y, along.x);
    vec2 base = corner.x < 0.0 ? A.xy : B.xy;
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
flat in vec3 A;
flat in vec3 B;

uniform mat4 P;
uniform mat4 V;
uniform float R;
uniform vec3 C;

out vec4 outColor;

void main()
{
    // points (Pixel, A.z + h) at distance R from the line A + t (B - A)
    vec3 axis = B - A;
    float len2 = dot(axis, axis);
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
    if (t < 0.0 || t > 1.0)
        discard;
    vec3 hit = vec3(Pixel, A.z + h);
    vec4 clip = P * vec4(hit, 1.0);
    gl_FragDepth = 0.5 * clip.z / clip.w + 0.5;

    // shaded as a unit tube from -1 to 1 along its axis at the origin
    mat3 to_world = transpose(mat3(V));
    vec3 radial = to_world * ((hit - (A + t * axis)) / R);
    vec3 p = radial + (2.0 * t - 1.0) * (to_world * normalize(axis));
    outColor = vec4(Lit(C, p, p), 1.0);
}
)";

#endif
