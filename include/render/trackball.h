// Virtual-trackball rotation: window points map onto a sphere, and a drag
// between two such points becomes a rotation of the model.
#ifndef TESK_RENDER_TRACKBALL_H
#define TESK_RENDER_TRACKBALL_H

#include <glm/glm.hpp>

class CMouse {
public:
    CMouse();

    void SetViewSize(int w, int h);
    void PointToVector(float x, float y, glm::vec3& v) const;
    void SetLastVector(float x, float y);
    void SetMouseMotion(float x, float y);
    void SetRotationMatrix();
    void SetLastRotation();
    // Replaces the turn; a drag turns on from it.
    void SetRotation(const glm::mat4& turn);

    float width = 0.0f;
    float height = 0.0f;
    float angle = 0.0f;
    glm::vec3 axis{1.0f, 1.0f, 1.0f};
    glm::vec3 current_position{0.0f};
    glm::vec3 last_position{1.0f, 0.0f, 0.0f};
    glm::mat4 rot_matrix{1.0f};
    glm::mat4 last_rotation{1.0f};
    glm::mat4 Model{1.0f};
    glm::mat4 View{1.0f};
};

#endif
