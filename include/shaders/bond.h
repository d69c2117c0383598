// Lit cylinders: like the atom program, but S scales each axis on its own so
// the unit tube becomes a rod of given radius and length.
#ifndef TESK_SHADERS_BOND_H
#define TESK_SHADERS_BOND_H

#include "shaders/atom.h"

inline const char* const bond_vs = R"(#version 330 core
layout (location = 0) in vec3 position;

uniform mat4 MVP;
uniform mat4 M;
uniform mat4 V;
uniform vec3 S;
uniform vec3 C;

out vec3 ourColor;
out vec3 Position_worldspace;
out vec3 EyeDirection_cameraspace;
out vec3 LightDirection_cameraspace;
out vec3 Normal_cameraspace;

void main()
{
    vec3 LightPosition_worldspace = vec3(4.0, 4.0, 4.0);
    gl_Position = MVP * vec4(S * position, 1.0);
    Position_worldspace = (M * vec4(position, 1.0)).xyz;
    vec3 vertexPosition_cameraspace = (V * M * vec4(position, 1.0)).xyz;
    EyeDirection_cameraspace = vec3(0.0, 0.0, 0.0) - vertexPosition_cameraspace;
    vec3 LightPosition_cameraspace = (V * vec4(LightPosition_worldspace, 1.0)).xyz;
    LightDirection_cameraspace = LightPosition_cameraspace + EyeDirection_cameraspace;
    Normal_cameraspace = (V * M * vec4(position, 0.0)).xyz;
    ourColor = C;
}
)";

// The same shading as the atoms.
inline const char* const bond_frag = atom_frag;

#endif
