// Label glyphs: one textured quad per character in the plane z = S of the
// label's frame; the glyph's coverage becomes the alpha of the text colour.
#ifndef TESK_SHADERS_FONT_H
#define TESK_SHADERS_FONT_H

inline const char* const font_vs = R"(#version 330 core
layout (location = 0) in vec4 vertex;

uniform mat4 MVP;
uniform float S;

out vec2 TexCoords;

void main()
{
    gl_Position = MVP * vec4(vertex.x, vertex.y, S, 1.0);
    TexCoords = vec2(vertex.z, vertex.w);
}
)";

inline const char* const font_frag = R"(#version 330 core
in vec2 TexCoords;

uniform sampler2D text;
uniform vec3 textColor;

out vec4 color;

void main()
{
    vec4 sampled = vec4(1.0, 1.0, 1.0, texture(text, TexCoords).r);
    color = vec4(textColor, 1.0) * sampled;
}
)";

#endif
