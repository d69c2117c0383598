// Shared pieces of the instanced draws. The index list: 64 quads of four
// corners each, as two triangles per quad. The shader finds its atom or bond
// from the instance and the vertex number, so no per-item vertex data exists;
// the indices let each corner be shaded once. The records themselves sit in
// buffer textures that the shaders read by item number, and a list of record
// numbers names the items a draw takes. The light model's uniforms are set
// here too, for both kinds of impostor.
#ifndef TESK_RENDER_QUAD_BATCH_H
#define TESK_RENDER_QUAD_BATCH_H

#include <string>
#include <vector>

#include <glm/glm.hpp>

inline constexpr int QUADS_PER_INSTANCE = 64;

// Binds a new element buffer with the batch's indices to the vertex array
// `vao` and returns its name.
unsigned int MakeQuadBatchIndices(unsigned int vao);
// One instanced draw of `count` quads with the vertex array bound.
void DrawQuadBatches(unsigned count);
// Writes `count` records of `size` bytes to the start of buffer `vbo`. When it
// has room for fewer (`capacity` counts records), it is given new storage and
// the buffer texture `tbo` is attached to it again with `format`.
void FillRecordBuffer(unsigned int vbo, unsigned int tbo, unsigned int format, const void* data, unsigned count,
                      unsigned size, unsigned& capacity);

// A list of record numbers in a buffer texture: a draw of only some records
// reads its n-th record number here.
class CRecordList {
public:
    // Needs a current OpenGL context.
    void Create();
    void Delete();
    void Fill(const std::vector<unsigned>& records) { Fill(records.data(), records.size()); }
    void Fill(const unsigned* records, size_t count);

    unsigned u_count = 0;  // record numbers in the list
    unsigned u_capacity = 0;
    unsigned int VBO = 0, TBO = 0;
};

// The lists of one search for what a view shows, drawn part by part as the
// parts are found: each part has a buffer of its own, since the GPU may still
// read the earlier ones while the next is filled.
class CRecordParts {
public:
    void Delete();
    // Fills the next part, or after `first` the first again, and returns it.
    const CRecordList& Add(const unsigned* records, size_t count, bool first);

    std::vector<CRecordList> v_parts;
    unsigned u_parts = 0;  // in use, from the first
};

// The light model's uniforms for view matrix V (light and camera in view space).
void SetViewLight(unsigned int program, const glm::mat4& V);
// Shader text `text` with `piece` spliced in before its main().
std::string BeforeMain(const char* text, const char* piece);
// Shader text `text` with PERSPECTIVE defined as `perspective`, after its #version line.
std::string ForProjection(const std::string& text, bool perspective);

#endif
