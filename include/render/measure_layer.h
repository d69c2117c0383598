// Thin lines joining the selected atoms in the order they were picked, so the
// user sees which distance, angle or dihedral the Action window reports.
#ifndef TESK_RENDER_MEASURE_LAYER_H
#define TESK_RENDER_MEASURE_LAYER_H

#include <vector>

#include <glm/glm.hpp>

#include "render/shader.h"

class CMeasure {
public:
    // Program and buffer; needs a current context. Draw builds them on first use.
    void Build();
    void Delete();
    // Joins the positions of `atoms` (numbers into `positions`; ones that do
    // not exist are skipped) with a line strip drawn over the scene.
    void Draw(const glm::mat4& mvp, const std::vector<glm::vec3>& positions, const std::vector<unsigned>& atoms);

    CShader LineShader;
    unsigned int VAOL = 0, VBOL = 0;
    glm::vec3 v_color{1.0f, 0.75f, 0.45f};  // the highlight hue of selected atoms
};

#endif
