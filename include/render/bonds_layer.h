// The bonds of the structure on the GPU: one 8-byte record per bond (its two
// atom numbers); the ends are read from the atoms' buffer, so moving or
// retyping an atom needs no bond upload. Drawn as cylinder impostors of
// radius 0.1 in one instanced call, of the bonds a list names.
#ifndef TESK_RENDER_BONDS_LAYER_H
#define TESK_RENDER_BONDS_LAYER_H

#include <vector>

#include <glm/glm.hpp>

#include <vector>

#include <glm/glm.hpp>
#include "render/quad_batch.h"
#include "render/shader.h"

inline constexpr float BOND_RADIUS = 0.1f;

class CBondsLayer {
public:
    // Needs a current OpenGL 3.3 context.
    CBondsLayer();
    void Delete();
    // The program for a perspective projection or for an orthographic one
    // (as built first), built again when the other is asked for.
    void UseProjection(bool perspective);

    // The model's bonds between atoms that exist; the buffer grows but never shrinks.
    void Upload(const std::vector<glm::uvec2>& pairs, std::size_t count, std::size_t atoms);
    // Pairs of atom-buffer records; `source`: the model's bond records they stand for.
    void UploadPairs(const std::vector<glm::uvec2>& pairs, unsigned source);
    // The bonds the draws take (those a view may show) come in parts, each
    // drawn as soon as it is given; the first part replaces the earlier ones.
    // `atoms`: the buffer texture of the atom records, the first `drawn` of
    // them drawn as spheres at atom scale `scale`.
    void DrawNewPart(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale, unsigned drawn,
                     unsigned int atoms, const unsigned* list, size_t count, bool first);
    // The bonds the next draws take, as one part; nothing is drawn now.
    void Keep(const std::vector<unsigned>& list) { shown.Add(list.data(), list.size(), true); }
    // All parts given since the last first one.
    void Draw(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale, unsigned drawn,
              unsigned int atoms) const;

    unsigned u_bonds = 0;   // records in the buffer
    unsigned u_source = 0;  // bond records the model had at the upload
    unsigned u_capacity = 0;
    unsigned u_version = 0;           // counts the uploads
    std::vector<glm::uvec2> v_pairs;  // what the buffer holds
    CRecordParts shown;               // the bonds the draws take
    unsigned int VAOB = 0;            // no attributes: the shaders read the buffer textures
    unsigned int EBOB = 0;            // the quad batch indices
    unsigned int VBOB = 0;            // per-bond records
    unsigned int TBOB = 0;            // the same records as a buffer texture
    CShader BondShader;

private:
    void MakeProgram(bool perspective);
    bool is_perspective_built = false;
    void DrawWith(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale, unsigned drawn,
                  unsigned int atoms, const CRecordList& list) const;
};

#endif
