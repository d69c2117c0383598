// The light model shared by atoms and bonds: one white light at (4, 4, 4) in
// world space, Phong-type terms with inverse-square fall-off. `p` is the
// shading point and `n` the normal, both in world space, as for a unit shape
// at the origin: every atom of one element looks alike wherever it is.
#ifndef TESK_SHADERS_LIGHT_H
#define TESK_SHADERS_LIGHT_H

inline const char* const light_glsl = R"(
uniform vec3 Eye;  // the camera, world space

vec3 Lit(vec3 colour, vec3 p, vec3 n)
{
    vec3 LightPosition_worldspace = vec3(4.0, 4.0, 4.0);
    vec3 LightColor = vec3(0.6, 0.6, 0.6);
    float LightPower = 50.0;
    vec3 MaterialAmbientColor = vec3(0.2, 0.2, 0.2) * colour;
    vec3 MaterialSpecularColor = vec3(0.3, 0.3, 0.3);

    // angles do not change with the camera's turn: all in world space
    vec3 toLight = LightPosition_worldspace - p;
    float distance2 = dot(toLight, toLight);
    vec3 N = normalize(n);
    vec3 l = normalize(toLight);
    float cosTheta = clamp(dot(N, l), 0.0, 1.0);
    vec3 E = normalize(Eye - p);
    vec3 R = reflect(-l, N);
    float cosAlpha = clamp(dot(E, R), 0.0, 1.0);
    return MaterialAmbientColor
        + (colour * cosTheta + MaterialSpecularColor * pow(cosAlpha, 5.0)) * LightColor * LightPower / distance2;
}
)";

#endif
