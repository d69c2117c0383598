// Virtual trackball: window points are lifted onto a sphere stretched over the
// window, and the chord between the drag's start and current point is the
// rotation angle about their cross product.
#include "render/trackball.h"

#include <algorithm>
#include <cmath>

#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>

CMouse::CMouse()
{
    // The camera sits at (0, 0, 3) looking at the origin with y up.
    View = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, -3.0f));
}

void CMouse::SetViewSize(int w, int h)
{
    width = static_cast<float>(w);
    height = static_cast<float>(h);
}

void CMouse::PointToVector(float x, float y, glm::vec3& v) const
{
    // Before the first frame has told the size there is no window to map;
    // the centre keeps NaNs out of the accumulated rotation.
    if (!(width > 0.0f) || !(height > 0.0f)) {
        v = glm::vec3(0.0f, 0.0f, 1.0f);
        return;
    }
    const double w = width;
    const double h = height;
    const float vx = static_cast<float>((2.0 * x - w) / w);
    const float vy = static_cast<float>((h - 2.0 * y) / h);
    const float d = std::sqrt(vx * vx + vy * vy);
    // 1 at the centre, 0 on the unit circle and beyond.
    const float vz = std::cos(glm::half_pi<float>() * std::min(d, 1.0f));
    v = glm::normalize(glm::vec3(vx, vy, vz));
}

void CMouse::SetLastVector(float x, float y)
{
    PointToVector(x, y, last_position);
}

void CMouse::SetMouseMotion(float x, float y)
{
    PointToVector(x, y, current_position);
    angle = glm::length(current_position - last_position);
    axis = glm::cross(last_position, current_position);
    SetRotationMatrix();
}

void CMouse::SetRotationMatrix()
{
    // A zero axis (back on the start point, or parallel points) has no
    // direction to turn about: no rotation rather than a division by zero.
    if (glm::length(axis) > 0.0f && std::isfinite(angle))
        rot_matrix = glm::rotate(glm::mat4(1.0f), angle, axis);
    else
        rot_matrix = glm::mat4(1.0f);
    Model = rot_matrix * last_rotation;
}

void CMouse::SetLastRotation()
{
    last_rotation = rot_matrix * last_rotation;
}

void CMouse::SetRotation(const glm::mat4& turn)
{
    rot_matrix = glm::mat4(1.0f);
    last_rotation = turn;
    Model = turn;
}
