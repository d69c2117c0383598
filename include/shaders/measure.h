// Measurement lines: flat colour C, no lighting, so a thin line reads the
// same whichever way it points.
#ifndef TESK_SHADERS_MEASURE_H
#define TESK_SHADERS_MEASURE_H

inline const char* const measure_vs = R"(#version 330 core
layout (location = 0) in vec3 position;

uniform mat4 MVP;

void main()
{
    gl_Position = MVP * vec4(position, 1.0);
}
)";

inline const char* const measure_frag = R"(#version 330 core
uniform vec3 C;

out vec4 outColor;

void main()
{
    outColor = vec4(C, 1.0);
}
)";

#endif
