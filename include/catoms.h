// The atoms of the structure on the GPU: one 16-byte record per atom
// (position, element index) drawn as sphere impostors in one instanced call,
// normally lit or, for picking, in the colours that encode the atom numbers.
#ifndef TESK_CATOMS_H
#define TESK_CATOMS_H

#include <vector>

#include <glm/glm.hpp>

#include "cmodel.h"
#include "cshader.h"

class CAtomsLayer {
public:
    // Needs a current OpenGL 3.3 context.
    CAtomsLayer();
    void Delete();

    // The whole structure; the buffer grows but never shrinks.
    void Upload(const CModel& m);
    // Records first to the end only: after atom `first` changed element, or
    // after it was deleted and every later atom moved down by one.
    void UploadFrom(const CModel& m, unsigned first, unsigned count);
    // Records of copies (position, element): the first `drawn` are drawn as
    // atoms, the rest only end half-bonds. Picking then finds the copies.
    void UploadCopies(const std::vector<glm::vec4>& records, unsigned drawn);

    // `selected`: up to four highlighted atom numbers, -1 unused.
    void Draw(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale,
              const int selected[4]);
    // Only the atoms whose disc may cover view-space point `at` (within
    // `slack`) are drawn: found on the CPU, which costs far less than
    // running every atom through the pipeline for one pixel.
    void DrawPick(const CModel& m, const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale,
                  const glm::vec2& at, float slack);

    unsigned u_atoms = 0;      // records in the buffer
    unsigned u_capacity = 0;   // records the buffer has room for
    unsigned int VAOA = 0;     // no attributes: the shaders read the buffer texture
    unsigned int VBOA = 0;     // per-atom records
    unsigned int TBOA = 0;     // the same records as a buffer texture
    unsigned int TEXL = 0;     // the light model over the unit disc
    unsigned int VBOL = 0, TBOL = 0;  // the atom numbers a pick draws
    unsigned u_list_capacity = 0;
    std::vector<unsigned> v_pick_list;
    std::vector<glm::vec4> v_copy_records;  // what UploadCopies put in the buffer; empty otherwise
    glm::mat4 m_light_view{0.0f};  // the view the light table was made for
    CShader AtomShader, PickShader;

private:
    // Tabulates the atom light model for view matrix V (the light and the
    // camera are fixed in the world, so only V moves it).
    void BuildLightTable(const glm::mat4& V);
    void DrawWith(const CShader& shader, const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model,
                  float scale, const int selected[4], unsigned count) const;
};

#endif
