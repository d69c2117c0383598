// View directions and projections for figures.
#include "render/view.h"

#include <cmath>
#include <cstdlib>
#include <algorithm>

#include <glm/gtc/matrix_transform.hpp>

bool ParseViewDirection(const std::string& text, CViewDirection& view, std::string& why)
{
    static const char* const names[3] = {"a", "b", "c"};
    for (int k = 0; k < 3; ++k)
        for (int star = 0; star < 2; ++star)
            if (text == std::string(names[k]) + (star ? "*" : "")) {
                view.uvw = glm::dvec3(0.0);
                view.uvw[k] = 1.0;
                view.reciprocal = star != 0;
                return true;
            }
    // three numbers separated by commas (spaces allowed around them)
    glm::dvec3 uvw(0.0);
    const char* p = text.c_str();
    for (int k = 0; k < 3; ++k) {
        char* end = nullptr;
        uvw[k] = std::strtod(p, &end);
        if (end == p || !std::isfinite(uvw[k])) {
            why = "a view is a, b, c, a*, b*, c* or u,v,w, not '" + text + "'";
            return false;
        }
        while (*end == ' ')
            ++end;
        if (k < 2 && *end++ != ',') {
            why = "a view is a, b, c, a*, b*, c* or u,v,w, not '" + text + "'";
            return false;
        }
        p = end;
    }
    if (*p != '\0') {
        why = "a view is a, b, c, a*, b*, c* or u,v,w, not '" + text + "'";
        return false;
    }
    if (uvw == glm::dvec3(0.0)) {
        why = "the view direction 0,0,0 points nowhere";
        return false;
    }
    view.uvw = uvw;
    view.reciprocal = false;
    return true;
}

glm::mat4 ViewTurn(const glm::dmat3& cell, const CViewDirection& view)
{
    glm::dmat3 m = cell;
    const double volume = glm::determinant(m);
    if (!std::isfinite(volume) || std::fabs(volume) < 1e-12)
        m = glm::dmat3(1.0);
    // the reciprocal vectors are the rows of the inverse, up to 2 pi
    const glm::dmat3 basis = view.reciprocal ? glm::transpose(glm::inverse(m)) : m;
    const glm::dvec3 toward = glm::normalize(basis * view.uvw);
    // c up when it can be; looking along c, a to the right (and so b up)
    const glm::dvec3 c = glm::normalize(m[2]);
    glm::dvec3 right, up;
    if (std::fabs(glm::dot(c, toward)) < 0.99) {
        right = glm::normalize(glm::cross(c, toward));
        up = glm::cross(toward, right);
    } else {
        const glm::dvec3 a = glm::normalize(m[0]);
        right = glm::normalize(a - glm::dot(a, toward) * toward);
        up = glm::cross(toward, right);
    }
    // rows right, up, toward: those go to x, y and z (towards the viewer)
    glm::mat4 turn(1.0f);
    for (int col = 0; col < 3; ++col) {
        turn[col][0] = static_cast<float>(right[col]);
        turn[col][1] = static_cast<float>(up[col]);
        turn[col][2] = static_cast<float>(toward[col]);
    }
    return turn;
}

glm::mat4 MakePerspective(int w, int h, float tw)
{
    const float fw = w > 0 ? static_cast<float>(w) : 1.0f;
    const float fh = h > 0 ? static_cast<float>(h) : 1.0f;
    if (!(tw > 0.0f) || !std::isfinite(tw))
        tw = 1.0f;
    const float hx = fw > fh ? tw : tw * fw / fh;
    const float hy = fw > fh ? tw * fh / fw : tw;
    const float distance = PERSPECTIVE_DISTANCE * tw;
    // the scene reaches about tw in front of its centre; zoomed in further
    // the nearest atoms are cut
    const float near = 0.25f * distance, far = distance + 10.0f * tw;
    const float k = near / distance;
    return glm::frustum(-hx * k, hx * k, -hy * k, hy * k, near, far);
}

glm::mat4 TileMatrix(glm::ivec2 image, glm::ivec2 tile_origin, glm::ivec2 tile_size)
{
    // clip x of the image, -w..w, to clip x of the tile
    glm::mat4 t(1.0f);
    for (int k = 0; k < 2; ++k) {
        const float scale = float(image[k]) / float(std::max(tile_size[k], 1));
        t[k][k] = scale;
        t[3][k] = (float(image[k]) - 2.0f * float(tile_origin[k])) / float(std::max(tile_size[k], 1)) - 1.0f;
    }
    return t;
}
