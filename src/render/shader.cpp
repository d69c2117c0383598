// Builds one GLSL program from a vertex and a fragment source. Failures are
// reported on standard output with the driver's log; the program name is kept
// either way, so the display still starts and simply draws nothing useful.
#include "render/shader.h"

#include <iostream>

#include <glad/gl.h>

namespace {

// Driver logs are cut here; the buffer includes the terminator.
constexpr GLsizei kLogSize = 512;

GLuint CompileStage(GLenum type, const char* code, const char* stage)
{
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &code, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[kLogSize] = {};
        glGetShaderInfoLog(shader, kLogSize, nullptr, log);
        std::cout << "ERROR::SHADER::" << stage << "::COMPILATION_FAILED\n" << log << std::endl;
    }
    return shader;
}

}  // namespace

void CShader::SetShader(const char* vCode, const char* fCode)
{
    GLuint vertex = CompileStage(GL_VERTEX_SHADER, vCode, "VERTEX");
    GLuint fragment = CompileStage(GL_FRAGMENT_SHADER, fCode, "FRAGMENT");

    Program = glCreateProgram();
    glAttachShader(Program, vertex);
    glAttachShader(Program, fragment);
    glLinkProgram(Program);
    GLint ok = 0;
    glGetProgramiv(Program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[kLogSize] = {};
        glGetProgramInfoLog(Program, kLogSize, nullptr, log);
        std::cout << "ERROR::SHADER::PROGRAM::LINKING_FAILED\n" << log << std::endl;
    }

    // The program holds on to the stages for as long as it needs them.
    glDeleteShader(vertex);
    glDeleteShader(fragment);
}

void CShader::Use() const
{
    glUseProgram(Program);
}
