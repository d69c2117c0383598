// Which atoms and bonds a view can show. A dense structure hides most of its
// atoms behind the front ones, and a software renderer pays for every hidden
// sphere it shades, since impostors that write their own depth defeat its
// early depth test. So before each new view the CPU walks the atoms front to
// back over a depth buffer at the window's resolution: an atom or bond whose
// every pixel centre lies behind an atom already kept is left out. The test is
// conservative (what may show is kept), so the image stays the same.
#ifndef TESK_CVISIBILITY_H
#define TESK_CVISIBILITY_H

#include <vector>

#include <glm/glm.hpp>

class CVisibility {
public:
    // `atoms`: records (position, element index), the first `drawn` drawn as
    // spheres of the element's radius times `scale`; `bonds`: pairs of record
    // numbers drawn as tubes of radius `bond_radius`, or null. `P` is the
    // orthographic projection, `MV` the model-view matrix, `frame` the window
    // in pixels. Recomputes only when something changed since the last call
    // (`version` counts uploads of the records); true when it did.
    bool Update(const std::vector<glm::vec4>& atoms, unsigned drawn, const std::vector<glm::uvec2>* bonds,
                float scale, float bond_radius, const glm::mat4& P, const glm::mat4& MV, glm::ivec2 frame,
                unsigned version);
    bool is_culling = true;         // false: everything counts as shown
    std::vector<unsigned> v_atoms;  // atom records that may show, nearest first
    std::vector<unsigned> v_bonds;  // bond records that may show

private:
    // What a tile needs of a sphere: its disc in pixels, its centre's distance
    // from the camera and its radius in view units, and its record number.
    struct CSphere {
        float cx, cy, rx, ry, dist, radius;
        unsigned k;
    };
    // A tube: its axis ends in pixels, its nearest distance, its record number.
    struct CTube {
        glm::vec2 a, e;
        float front;
        unsigned k;
    };

    bool is_valid = false, is_culled = false;
    glm::mat4 m_p{0.0f}, m_mv{0.0f};
    glm::ivec2 m_frame{0};
    float r_scale = 0.0f, r_bond_radius = 0.0f;
    unsigned u_drawn = 0, u_version = 0;
    const std::vector<glm::uvec2>* m_bonds = nullptr;

    // kept between calls only to spare the allocations
    std::vector<glm::vec4> v_view;    // per record: view-space x, y, distance, radius
    std::vector<CSphere> v_sorted;    // the drawn records, nearest first
    std::vector<size_t> v_count;      // per depth bucket, then where it ends
    std::vector<size_t> v_tile_spheres, v_tile_tubes;  // per tile: where its bin ends
    std::vector<CSphere> v_spheres;   // the bins of the tiles, one after the other
    std::vector<CTube> v_tubes;
    std::vector<unsigned char> v_atom_seen, v_bond_seen;
};

#endif
