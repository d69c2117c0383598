// Compiles and links one vertex/fragment shader pair.
#ifndef TESK_RENDER_SHADER_H
#define TESK_RENDER_SHADER_H

#include <cstdint>

class CShader {
public:
    void SetShader(const char* vCode, const char* fCode);
    void Use() const;

    uint32_t Program = 0;
};

#endif
