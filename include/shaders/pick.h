// Colour-ID rendering: every covered pixel carries exactly the colour C, with
// no lighting, so the pixel under the pointer names the atom drawn there.
#ifndef TESK_SHADERS_PICK_H
#define TESK_SHADERS_PICK_H

inline const char* const pick_vs = R"(#version 330 core
layout (location = 0) in vec3 position;

uniform mat4 MVP;
uniform mat4 M;
uniform mat4 V;
uniform float S;
uniform vec3 C;

out vec3 ourColor;

void main()
{
    gl_Position = MVP * vec4(S * position, 1.0);
    ourColor = C;
}
)";

inline const char* const pick_frag = R"(#version 330 core
in vec3 ourColor;

out vec4 outColor;

void main()
{
    outColor = vec4(ourColor, 1.0);
}
)";

#endif
