// Under a perspective projection, where an impostor's triangle or quad goes:
// the outline of a sphere seen from the eye is a cone, and its cut by the
// plane that touches the sphere's front, square to the line of sight, is a
// disc that covers the sphere and lies in front of all of it. Spliced into
// the atoms' and the bonds' vertex stages before their main().
#ifndef TESK_RENDER_SHADERS_COVER_H
#define TESK_RENDER_SHADERS_COVER_H

inline const char* const cover_glsl = R"(
// The view-space point at `corner` (in units of the disc's radius) of the
// disc covering the sphere at `centre` of `radius`.
vec3 CoveringDisc(vec3 centre, float radius, vec2 corner)
{
    float dist = length(centre);
    vec3 axis = centre / max(dist, 1e-12);
    vec3 side = normalize(cross(axis, abs(axis.y) < 0.9 ? vec3(0.0, 1.0, 0.0) : vec3(1.0, 0.0, 0.0)));
    vec3 up = cross(side, axis);
    float front = max(dist - radius, 1e-6);
    float r = front * radius * inversesqrt(max(dist * dist - radius * radius, 1e-12));
    return axis * front + (corner.x * side + corner.y * up) * r;
}

)";

#endif
