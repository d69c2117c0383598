// Atoms as ray-cast sphere impostors: one view-aligned quad per atom instance,
// the fragment stage intersects the (orthographic) view ray with the sphere,
// discards misses and writes the hit's true depth (the projection is orthographic). The normal and the picking
// program share the vertex stage and the hit test; picking writes the atom
// number as colour (r low byte, g middle, b high) instead of lighting.
#ifndef TESK_SHADERS_ATOM_H
#define TESK_SHADERS_ATOM_H

inline const char* const atom_vs = R"(#version 330 core
layout (location = 0) in vec2 corner;  // quad corner, -1 or 1 on each axis
layout (location = 1) in vec4 atom;    // position, element index

uniform mat4 P;
uniform mat4 MV;
uniform float S;                // atom scale
uniform vec4 Elements[110];     // colour, radius
uniform int Selected[4];        // highlighted atoms, -1 unused
uniform bool Pick;

out vec2 Offset;                // from the centre, in radii
flat out vec3 Center;           // view space
flat out float Radius;
flat out vec3 ourColor;
flat out vec2 Depth;            // window depth of the centre, and its change per radius

void main()
{
    vec4 element = Elements[clamp(int(atom.w), 0, 109)];
    Radius = element.w * S;
    Center = (MV * vec4(atom.xyz, 1.0)).xyz;
    Offset = corner;
    if (Pick) {
        int k = gl_InstanceID;
        ourColor = vec3(k & 255, (k >> 8) & 255, (k >> 16) & 255) / 255.0;
    } else if (gl_InstanceID == Selected[0] || gl_InstanceID == Selected[1] ||
               gl_InstanceID == Selected[2] || gl_InstanceID == Selected[3]) {
        ourColor = vec3(1.5, 0.75, 0.45);
    } else {
        ourColor = element.rgb;
    }
    // orthographic: depth is linear in view-space z
    Depth = vec2(0.5 * (P[2][2] * Center.z + P[3][2]) + 0.5, 0.5 * P[2][2] * Radius);
    gl_Position = P * vec4(Center.xy + corner * Radius, Center.z + Radius, 1.0);
}
)";

// Shared head of both fragment stages: the hit point's normal in view space,
// with the depth of the hit written.
inline const char* const atom_hit_glsl = R"(#version 330 core
in vec2 Offset;
flat in vec3 Center;
flat in float Radius;
flat in vec3 ourColor;
flat in vec2 Depth;

uniform mat4 V;

out vec4 outColor;

vec3 Hit()
{
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
    // the unit-sphere point that faces this way, in world space
    vec3 n = transpose(mat3(V)) * Hit();
    outColor = vec4(Lit(ourColor, n, n), 1.0);
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
