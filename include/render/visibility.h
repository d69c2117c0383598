// Which atoms and bonds a view can show. A dense structure hides most of its
// atoms behind the front ones, and a software renderer pays for every hidden
// sphere it shades, since impostors that write their own depth defeat its
// early depth test. So before each new view the CPU walks the atoms front to
// back over a depth buffer at the window's resolution: an atom or bond whose
// every pixel centre lies behind an atom or bond already kept is left out. The
// test is conservative (what may show is kept), so the image stays the same.
#ifndef TESK_RENDER_VISIBILITY_H
#define TESK_RENDER_VISIBILITY_H

#include <functional>
#include <vector>

#include <glm/glm.hpp>

#include "render/pixel_tests.h"
#include "render/two_threads.h"

class CVisibility {
public:
    // Called with each part of v_atoms (or v_bonds), [begin, end), as soon as
    // it is final: the parts come in order, the first from 0, so the GPU may
    // draw one while the next is looked for. An empty list comes as one empty
    // part.
    using CPartFound = std::function<void(size_t begin, size_t end)>;

    // The atoms: `atoms` are records (position, element index), the first
    // `drawn` drawn as spheres of the element's radius times `scale`, the rest
    // only ends of bonds. `P` is the orthographic projection, `MV` the
    // model-view matrix, `frame` the window in pixels. Recomputes only when
    // something changed since the last call (`version` counts uploads of the
    // records); true when it did, and then `part` was called.
    bool FindAtoms(const std::vector<glm::vec4>& atoms, unsigned drawn, float scale, const glm::mat4& P,
                   const glm::mat4& MV, glm::ivec2 frame, unsigned version, const CPartFound& part = {});
    // The bonds: pairs of record numbers drawn as tubes of radius
    // `bond_radius` between the spheres of the last FindAtoms, which they are
    // tested against. True when v_bonds was found again, and then `part` was
    // called.
    bool FindBonds(const std::vector<glm::uvec2>& bonds, float bond_radius, unsigned version,
                   const CPartFound& part = {});
    // The next FindAtoms looks again, whatever changed.
    void Forget() { is_valid = false; }

    bool is_culling = true;  // false: everything counts as shown
    // FindBonds then looks at the lists once more against the depths both
    // lists left, and drops what only later finds hide: for a view that
    // stays, whose lists are drawn again (then is_thinned tells they shrank).
    bool is_second_look = false;
    bool is_thinned = false;
    bool is_boxing = true;  // false: no atom goes to v_boxed
    // records, or things in tiles, from which a step of the pass takes a
    // second thread (0: always, as far as there are two halves)
    size_t split_from = two_threads::MIN_SPLIT;
    std::vector<unsigned> v_atoms;  // atom records that may show, band by band of the window
    // Atoms larger than a few pixels that may show, apart, each as three
    // numbers: the record, then the first and the last pixel (x, y) of the
    // box where it may show, x in the low 16 bits. Drawn over only that box,
    // such an atom shades far fewer hidden pixels.
    std::vector<unsigned> v_boxed;
    std::vector<unsigned> v_bonds;  // bond records that may show, tile by tile

private:
    void AtomsOfView(const std::vector<glm::vec4>& atoms, unsigned drawn, float scale, const glm::mat4& P,
                     glm::ivec2 frame, const CPartFound& part);
    void BondsOfView(const std::vector<glm::uvec2>& bonds, float bond_radius, const CPartFound& part);
    // Frees the working memory after an allocation failed; everything is then drawn.
    void OutOfMemory();
    // An atom record's sphere as the window of the last FindAtoms sees it.
    pixel_tests::ScreenSphere SphereOf(unsigned k) const;
    // The second look (is_second_look), with the pass's tube of a bond record.
    template <class Tube>
    void SecondLook(const Tube& tube, float rho);

    // The window as the last FindAtoms saw it: pixel x = ax * x + bx (and y)
    // from view space; distances lo to hi are drawn; margin covers rounding.
    struct CGrid {
        int i_w = 0, i_h = 0, i_tiles_x = 0;
        float ax = 0, bx = 0, ay = 0, by = 0, lo = 0, hi = 0, margin = 0;
    };

    // what the last results were found for
    bool is_valid = false, is_culled = false, is_boxed = false, is_bonds_valid = false;
    bool is_all_shown = false;      // the lists hold everything: not culling, or out of memory
    bool is_out_of_memory = false;  // the last try ran out of memory (said once)
    glm::mat4 m_p{0.0f}, m_mv{0.0f};
    glm::ivec2 m_frame{0};
    float r_scale = 0.0f, r_bond_radius = 0.0f;
    unsigned u_drawn = 0, u_version = 0, u_generation = 0, u_bonds_version = 0, u_bonds_generation = 0;
    size_t u_records = 0, u_bonds = 0;
    const std::vector<glm::uvec2>* m_bonds = nullptr;
    CGrid m_grid;

    std::vector<pixel_tests::ScreenTube> v_unsorted;  // tubes in bond order, before a sort
    // per record: view-space x, y, distance, radius; per pixel (tile by
    // tile): the farthest a kept atom or bond may be there, and per block of pixels
    // the farthest of those, unless marked dirty
    std::vector<glm::vec4> v_view;
    std::vector<float> v_depth, v_block;
    std::vector<unsigned char> v_dirty;
    // kept between calls only to spare the allocations
    std::vector<pixel_tests::ScreenSphere> v_sorted;  // the drawn records, nearest first
    // The order of the last sort, nearest first: of the drawn records (and of
    // the bonds, v_order). A view turned a little has nearly the same order,
    // and the order only makes the pass effective, never right: it is used again.
    std::vector<unsigned> v_atom_order;
    // per drawn record (and per bond): its place in the order, kNone for a bond left out
    std::vector<unsigned> v_atom_rank, v_bond_rank;
    glm::vec3 m_view_axis{0.0f}, m_order_axis{0.0f}, m_bond_order_axis{0.0f};
    unsigned u_order_version = 0, u_order_drawn = 0, u_bond_order_version = 0, u_bond_order_atoms = 0;
    float r_order_scale = 0.0f, r_order_bond_radius = 0.0f;
    size_t u_order_records = 0;
    const std::vector<glm::uvec2>* m_order_bonds = nullptr;
    bool is_order_valid = false, is_bond_order_valid = false;
    std::vector<size_t> v_count;                       // per depth bucket, then where it ends
    std::vector<size_t> v_tile_spheres, v_tile_tubes;  // per tile: where its bin ends
    std::vector<pixel_tests::ScreenSphere> v_spheres;  // the bins of the tiles, one after the other
    std::vector<pixel_tests::ScreenTube> v_tubes;
    std::vector<pixel_tests::ScreenTube> v_found;  // every tube that may show, nearest first
    std::vector<unsigned> v_order;                 // the bond records of v_found, in its order
    // the depths the atoms left, for bonds found again in the same view
    std::vector<float> v_depth_atoms;
    unsigned u_saved_generation = 0;
    std::vector<unsigned char> v_atom_seen, v_bond_seen;
    std::vector<glm::ivec4> v_box;  // per boxed atom and side of the pass: its box so far
    // the bonds the pass's second thread found
    std::vector<unsigned> v_bonds_other;
    // per listed atom, boxed atom and bond: kept by the second look
    std::vector<unsigned char> v_keep;
};

#endif
