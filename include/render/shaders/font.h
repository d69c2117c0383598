// Labels: every glyph quad of every label in one buffer. A vertex carries its
// atom's position and its place in the label plane, which lies at depth S in
// front of the atom and faces the viewer. The atlas holds each glyph's
// coverage and that of a rim around it: the letters in the text colour, the
// rim dark, so a label reads on any colour.
#ifndef TESK_RENDER_SHADERS_FONT_H
#define TESK_RENDER_SHADERS_FONT_H

inline const char* const font_vs = R"(#version 330 core
layout (location = 0) in vec3 anchor;  // the atom, model space
layout (location = 1) in vec3 plane;   // x, y in the label plane, its depth S
layout (location = 2) in vec2 uv;

uniform mat4 P;
uniform mat4 MV;

out vec2 TexCoords;

void main()
{
    gl_Position = P * (MV * vec4(anchor, 1.0) + vec4(plane, 0.0));
    TexCoords = uv;
}
)";

inline const char* const font_frag = R"(#version 330 core
in vec2 TexCoords;

uniform sampler2D text;
uniform vec3 textColor;

out vec4 color;

const vec3 rimColor = vec3(0.0);

void main()
{
    vec2 letter_rim = texture(text, TexCoords).rg;
    color = vec4(mix(rimColor, textColor, letter_rim.r), max(letter_rim.r, letter_rim.g));
}
)";

#endif
