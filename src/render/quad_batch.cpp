// Batches of quads and record buffers for the impostor draws.
#include "render/quad_batch.h"

#include <algorithm>
#include <string>
#include <vector>

#include <glad/gl.h>

unsigned int MakeQuadBatchIndices(unsigned int vao)
{
    std::vector<unsigned short> v;
    for (unsigned short q = 0; q < QUADS_PER_INSTANCE; ++q) {
        const unsigned short c = static_cast<unsigned short>(4 * q);
        for (unsigned short k : {0, 1, 2, 2, 1, 3})
            v.push_back(static_cast<unsigned short>(c + k));
    }
    GLuint ebo = 0;
    glBindVertexArray(vao);
    glGenBuffers(1, &ebo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(unsigned short)), v.data(),
                 GL_STATIC_DRAW);
    glBindVertexArray(0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    return ebo;
}

void DrawQuadBatches(unsigned count)
{
    if (count == 0)
        return;
    const GLsizei instances = static_cast<GLsizei>((count + QUADS_PER_INSTANCE - 1) / QUADS_PER_INSTANCE);
    glDrawElementsInstanced(GL_TRIANGLES, 6 * QUADS_PER_INSTANCE, GL_UNSIGNED_SHORT, nullptr, instances);
}

void FillRecordBuffer(unsigned int vbo, unsigned int tbo, unsigned int format, const void* data, unsigned count,
                      unsigned size, unsigned& capacity)
{
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    if (count > capacity || capacity == 0) {
        capacity = std::max(count, 1u);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(capacity) * size, nullptr, GL_STATIC_DRAW);
        glBindTexture(GL_TEXTURE_BUFFER, tbo);
        glTexBuffer(GL_TEXTURE_BUFFER, format, vbo);
        glBindTexture(GL_TEXTURE_BUFFER, 0);
    }
    if (count > 0)
        glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(count) * size, data);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void CRecordList::Create()
{
    glGenBuffers(1, &VBO);
    glGenTextures(1, &TBO);
}

void CRecordList::Delete()
{
    glDeleteBuffers(1, &VBO);
    glDeleteTextures(1, &TBO);
    VBO = TBO = 0;
    u_count = u_capacity = 0;
}

void CRecordList::Fill(const unsigned* records, size_t count)
{
    u_count = static_cast<unsigned>(count);
    FillRecordBuffer(VBO, TBO, GL_R32UI, records, u_count, sizeof(unsigned), u_capacity);
}

void CRecordParts::Delete()
{
    for (CRecordList& part : v_parts)
        part.Delete();
    v_parts.clear();
    u_parts = 0;
}

const CRecordList& CRecordParts::Add(const unsigned* records, size_t count, bool first)
{
    if (first)
        u_parts = 0;
    if (u_parts == v_parts.size()) {
        v_parts.emplace_back();
        v_parts.back().Create();
    }
    CRecordList& part = v_parts[u_parts++];
    part.Fill(records, count);
    return part;
}

void SetViewLight(unsigned int program, const glm::mat4& V)
{
    // The light sits at (4, 4, 4) in the world and the camera where V puts
    // it; a unit shape at the origin is lit the same in any frame turned with
    // it, so both go into view space and the shaders need no world normals.
    const glm::mat3 turn(V);
    const glm::vec3 light = turn * glm::vec3(4.0f);
    const glm::vec3 eye = turn * glm::vec3(glm::inverse(V)[3]);
    glUniform3fv(glGetUniformLocation(program, "LightV"), 1, &light[0]);
    glUniform3fv(glGetUniformLocation(program, "EyeV"), 1, &eye[0]);
}

std::string ForProjection(const std::string& text, bool perspective)
{
    const size_t at = text.find('\n') + 1;
    return text.substr(0, at) + (perspective ? "#define PERSPECTIVE true\n" : "#define PERSPECTIVE false\n") +
           text.substr(at);
}

std::string BeforeMain(const char* text, const char* piece)
{
    const std::string t(text);
    const size_t at = t.find("void main()");
    return t.substr(0, at) + piece + t.substr(at);
}
