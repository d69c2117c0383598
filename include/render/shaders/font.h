// Labels: one quad per label, drawn as instances of 64 labels each (a
// software renderer pays per triangle and per instance, not per glyph). A
// label's record holds its atom's position, the depth S of its plane in front
// of the atom, and its text, four characters a word. The plane faces the
// viewer; the vertex stage lays the glyphs out from the font's table to find
// the quad over all their bitmaps, and the fragment stage finds the glyphs
// that cover its point and lays them over each other in order, as blending
// one glyph quad after the other would. The atlas holds each glyph's coverage
// and that of a rim around it: the letters in the text colour, the rim dark,
// so a label reads on any colour.
#ifndef TESK_RENDER_SHADERS_FONT_H
#define TESK_RENDER_SHADERS_FONT_H

// shared by both stages: the font's table and a label's characters
inline const char* const font_glyphs_glsl = R"(
const int LETTERS = 12;          // characters a label holds at most
// per character code: its bitmap's left, bottom, right and top from the pen
// on the baseline, in glyph pixels (right < left: nothing drawn); where it
// lies in the atlas (u0, v0 at the bitmap's top, u1, v1); how far it moves the pen
uniform vec4 GlyphBox[128];
uniform vec4 GlyphAtlas[128];
uniform float Advance[128];

int Letter(uvec3 letters, int k)
{
    return int((letters[k / 4] >> uint(8 * (k % 4))) & 127u);
}
)";

inline const char* const font_vs = R"(#version 330 core
const int BATCH = 64;  // labels per instance
// one triangle around the unit square: half the vertices and triangles of a quad
const vec2 corners[3] = vec2[3](vec2(0, 0), vec2(2, 0), vec2(0, 2));

uniform usamplerBuffer Labels;  // two texels a label: position and depth as float bits; the text
uniform int Count;              // labels in the buffer
uniform mat4 P;
uniform mat4 MV;
uniform float F;                // model units per glyph pixel
uniform float Origin;           // the pen's start and the baseline in the label plane, model units
uniform vec2 Frame;             // the viewport in pixels

out vec2 Pen;                   // the point in the label plane, glyph pixels from the pen's start
flat out uvec3 Text;

void main()
{
    int n = gl_InstanceID * BATCH + gl_VertexID / 3;
    // past the last label, or a label without a pixel: a degenerate triangle, never rasterised
    gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
    Pen = vec2(0.0);
    Text = uvec3(0u);
    if (n >= Count)
        return;
    uvec4 at = texelFetch(Labels, 2 * n);
    Text = texelFetch(Labels, 2 * n + 1).xyz;
    vec4 lo = vec4(1e30), hi = vec4(-1e30);
    float pen = 0.0;
    for (int k = 0; k < LETTERS; ++k) {
        int c = Letter(Text, k);
        if (c == 0)
            break;
        vec4 box = GlyphBox[c];
        if (box.z > box.x) {
            lo.xy = min(lo.xy, box.xy + vec2(pen, 0.0));
            hi.xy = max(hi.xy, box.zw + vec2(pen, 0.0));
        }
        pen += Advance[c];
    }
    if (lo.x > hi.x)
        return;
    vec4 view = MV * vec4(uintBitsToFloat(at.xyz), 1.0);
    float depth = uintBitsToFloat(at.w);
    // the window pixels of the quad's corners: a quad that holds no pixel
    // centre (a little slack for the vertices' snapping) draws nothing
    vec4 a = P * (view + vec4(Origin + F * lo.xy, depth, 0.0));
    vec4 b = P * (view + vec4(Origin + F * hi.xy, depth, 0.0));
    if (a.w > 0.0 && b.w > 0.0) {
        vec2 pa = (a.xy / a.w * 0.5 + 0.5) * Frame, pb = (b.xy / b.w * 0.5 + 0.5) * Frame;
        vec2 first = ceil(min(pa, pb) - 0.5 - 1.0 / 64.0), last = floor(max(pa, pb) - 0.5 + 1.0 / 64.0);
        if (any(greaterThan(first, last)))
            return;
    }
    Pen = mix(lo.xy, hi.xy, corners[gl_VertexID % 3]);
    gl_Position = P * (view + vec4(Origin + F * Pen, depth, 0.0));
}
)";

inline const char* const font_frag = R"(#version 330 core
in vec2 Pen;
flat in uvec3 Text;

uniform sampler2D text;
uniform vec3 textColor;

out vec4 color;

const vec3 rimColor = vec3(0.0);

void main()
{
    // each glyph over those before it: colour weighted by coverage, and coverage
    vec3 sum = vec3(0.0);
    float cover = 0.0;
    float pen = 0.0;
    for (int k = 0; k < LETTERS; ++k) {
        int c = Letter(Text, k);
        if (c == 0)
            break;
        vec4 box = GlyphBox[c];
        vec2 p = Pen - vec2(pen, 0.0);
        pen += Advance[c];
        if (box.z > box.x && all(greaterThanEqual(p, box.xy)) && all(lessThanEqual(p, box.zw))) {
            vec4 uv = GlyphAtlas[c];
            vec2 s = (p - box.xy) / (box.zw - box.xy);
            vec2 letter_rim = textureLod(text, vec2(mix(uv.x, uv.z, s.x), mix(uv.w, uv.y, s.y)), 0.0).rg;
            float alpha = max(letter_rim.r, letter_rim.g);
            sum = mix(rimColor, textColor, letter_rim.r) * alpha + sum * (1.0 - alpha);
            cover = alpha + cover * (1.0 - alpha);
        }
    }
    // nothing to blend in
    if (cover <= 0.0)
        discard;
    color = vec4(sum / cover, cover);
}
)";

// A still view's labels, drawn once into a texture of the viewport's size
// (colour weighted by coverage, and coverage), laid over each frame of that
// view by quads over the blocks of pixels where labels lie.
inline const char* const label_cache_vs = R"(#version 330 core
const vec2 corners[6] = vec2[6](vec2(0, 0), vec2(1, 0), vec2(0, 1), vec2(0, 1), vec2(1, 0), vec2(1, 1));
uniform samplerBuffer Rects;  // per quad: lower left and upper right corner, normalised device coordinates

void main()
{
    vec4 rect = texelFetch(Rects, gl_VertexID / 6);
    gl_Position = vec4(mix(rect.xy, rect.zw, corners[gl_VertexID % 6]), 0.0, 1.0);
}
)";

inline const char* const label_cache_frag = R"(#version 330 core
uniform sampler2D Cache;
uniform ivec2 Corner;  // the viewport's first pixel
out vec4 color;

void main()
{
    color = texelFetch(Cache, ivec2(gl_FragCoord.xy) - Corner, 0);
    if (color.a == 0.0)
        discard;
}
)";

#endif
