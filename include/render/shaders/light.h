// The light model shared by atoms and bonds: one white light at (4, 4, 4) in
// world space, Phong-type terms with inverse-square fall-off. `p` is the
// shading point and `n` the normal as for a unit shape at the origin, so
// every atom of one element looks alike wherever it is. Only angles and
// distances enter, so everything may be given in view space.
#ifndef TESK_RENDER_SHADERS_LIGHT_H
#define TESK_RENDER_SHADERS_LIGHT_H

inline const char* const light_glsl = R"(
uniform vec3 LightV;  // the light, view space
uniform vec3 EyeV;    // the camera, view space
uniform vec4 Cue;     // depth cueing: the colour the far side fades to, and how much (0: none)
uniform vec2 CueDepth;  // the window depths where the fading starts and ends

vec3 Cued(vec3 colour, float depth)
{
    float far = clamp((depth - CueDepth.x) / max(CueDepth.y - CueDepth.x, 1e-9), 0.0, 1.0);
    return mix(colour, Cue.rgb, Cue.a * far);
}

vec3 Lit(vec3 colour, vec3 p, vec3 n)
{
    vec3 LightColor = vec3(0.6, 0.6, 0.6);
    float LightPower = 50.0;
    vec3 MaterialAmbientColor = vec3(0.2, 0.2, 0.2) * colour;
    vec3 MaterialSpecularColor = vec3(0.3, 0.3, 0.3);

    vec3 toLight = LightV - p;
    float distance2 = dot(toLight, toLight);
    vec3 N = normalize(n);
    vec3 l = normalize(toLight);
    float cosTheta = clamp(dot(N, l), 0.0, 1.0);
    vec3 E = normalize(EyeV - p);
    vec3 R = reflect(-l, N);
    float cosAlpha = clamp(dot(E, R), 0.0, 1.0);
    float cos2 = cosAlpha * cosAlpha;  // the fifth power, cheaper than pow()
    return MaterialAmbientColor
        + (colour * cosTheta + MaterialSpecularColor * (cos2 * cos2 * cosAlpha)) * LightColor * LightPower / distance2;
}
)";

#endif
