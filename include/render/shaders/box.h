// Lines in one flat colour: the cell box and the measurement lines. Lit like
// the atoms, lines far from the light would come out nearly black, and a thin
// line should read the same whichever way it points.
#ifndef TESK_RENDER_SHADERS_BOX_H
#define TESK_RENDER_SHADERS_BOX_H

inline const char* const box_vs = R"(#version 330 core
layout (location = 0) in vec3 position;

uniform mat4 MVP;

void main()
{
    gl_Position = MVP * vec4(position, 1.0);
}
)";

inline const char* const box_frag = R"(#version 330 core
uniform vec3 C;

out vec4 outColor;

void main()
{
    outColor = vec4(C, 1.0);
}
)";

#endif
