// The atoms of the structure on the GPU: one 16-byte record per atom
// (position, element index) drawn as sphere impostors in one instanced call,
// normally lit or, for picking, in the colours that encode the atom numbers.
// A list of atom numbers says which records a draw takes.
#ifndef TESK_RENDER_ATOMS_LAYER_H
#define TESK_RENDER_ATOMS_LAYER_H

#include <vector>

#include <glm/glm.hpp>

#include <vector>

#include <glm/glm.hpp>
#include "render/quad_batch.h"
#include "render/shader.h"

class CAtomsLayer {
public:
    // Needs a current OpenGL 3.3 context.
    CAtomsLayer();
    void Delete();
    // The programs for a perspective projection or for an orthographic one
    // (as built first), built again when the other is asked for.
    void UseProjection(bool perspective);

    // The whole structure; the buffer grows but never shrinks.
    void Upload(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements);
    // Records first to the end only: after atom `first` changed element, or
    // after it was deleted and every later atom moved down by one.
    void UploadFrom(const std::vector<glm::vec3>& positions, const std::vector<unsigned>& elements, unsigned first,
                    unsigned count);
    // Records of copies (position, element): the first `drawn` are drawn as
    // atoms, the rest only end half-bonds; `atom_of` says which atom each
    // drawn one is a copy of, for the highlight. Picking finds the copies.
    void UploadCopies(const std::vector<glm::vec4>& records, unsigned drawn, const std::vector<unsigned>& atom_of);

    // The atoms the draws take (those a view may show) come in parts, each
    // drawn as soon as it is given, so that the GPU draws one while the CPU
    // finds the next; the first part replaces the earlier ones.
    // `selected`: up to four highlighted atom numbers, -1 unused.
    void DrawNewPart(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale, const int selected[4],
                     const unsigned* list, size_t count, bool first);
    // The atoms drawn each over the box where it may show (CVisibility's
    // v_boxed, three numbers an atom), in a window of `frame` pixels; kept,
    // and drawn again by Draw, until the next call.
    void DrawBoxed(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale, const int selected[4],
                   const std::vector<unsigned>& boxed, glm::ivec2 frame);
    // The atoms the next draws take, as one part, and the boxed ones; nothing
    // is drawn now.
    void Keep(const std::vector<unsigned>& list, const std::vector<unsigned>& boxed_list);
    // All parts given since the last first one, and the boxed atoms.
    void Draw(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale, const int selected[4]) const;
    // Only the atoms whose disc may cover view-space point `at` (within
    // `slack`) are drawn: found on the CPU, which costs far less than
    // running every atom through the pipeline for one pixel.
    void DrawPick(const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale, const glm::vec2& at,
                  float slack);

    unsigned u_atoms = 0;              // records drawn as atoms, from the first
    unsigned u_capacity = 0;           // records the buffer has room for
    unsigned u_version = 0;            // counts the uploads
    unsigned int VAOA = 0;             // no attributes: the shaders read the buffer texture
    unsigned int VBOA = 0;             // per-atom records
    unsigned int TBOA = 0;             // the same records as a buffer texture
    std::vector<glm::vec4> v_records;  // what the buffer holds
    bool is_copies = false;            // the records are copies, of the atoms `origins` holds
    CRecordParts shown;                // the atoms the draws take
    CRecordList boxed;                 // and those drawn over their boxes
    glm::ivec2 m_boxed_frame{0};
    CRecordList picked;   // the atoms a pick draws
    CRecordList origins;  // per copy record: the atom it is a copy of
    std::vector<unsigned> v_pick_list;
    CShader AtomShader, PickShader;

private:
    void MakePrograms(bool perspective);
    bool is_perspective_built = false;
    void Store(std::vector<glm::vec4> records, unsigned drawn);
    // `boxed`: the list holds boxed atoms, in a window of `frame` pixels
    void DrawWith(const CShader& shader, const glm::mat4& P, const glm::mat4& V, const glm::mat4& Model, float scale,
                  const int selected[4], const CRecordList& list, bool is_boxed = false,
                  glm::ivec2 frame = glm::ivec2(0)) const;
};

#endif
