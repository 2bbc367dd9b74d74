#pragma once

#include <SDL_opengl.h>

namespace hv {

// Every OpenGL entry point the renderer calls, in the order the host fetches them.
// X(return type, name without the "gl" prefix, parameter list)
#define HV_GL_ENTRY_POINTS(X)                                                                            \
    X(void, ClearColor, (GLfloat, GLfloat, GLfloat, GLfloat))                                            \
    X(void, ClearDepth, (GLdouble))                                                                      \
    X(void, Clear, (GLbitfield))                                                                         \
    X(void, Flush, (void))                                                                               \
    X(void, DrawArrays, (GLenum, GLint, GLsizei))                                                        \
    X(void, BlendFunc, (GLenum, GLenum))                                                                 \
    X(void, Disable, (GLenum))                                                                           \
    X(void, Enable, (GLenum))                                                                            \
    X(void, CullFace, (GLenum))                                                                          \
    X(void, FrontFace, (GLenum))                                                                         \
    X(void, GenTextures, (GLsizei, GLuint*))                                                             \
    X(void, BindTexture, (GLenum, GLuint))                                                               \
    X(void, TexParameteri, (GLenum, GLenum, GLint))                                                      \
    X(void, TexImage2D, (GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*))    \
    X(GLenum, GetError, (void))                                                                          \
    X(void, Scissor, (GLint, GLint, GLsizei, GLsizei))                                                   \
    X(void, DrawElements, (GLenum, GLsizei, GLenum, const void*))                                        \
    X(void, ReadPixels, (GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*))                         \
    X(void, Viewport, (GLint, GLint, GLsizei, GLsizei))                                                  \
    X(void, DeleteTextures, (GLsizei, const GLuint*))                                                    \
    X(void, ColorMask, (GLboolean, GLboolean, GLboolean, GLboolean))                                     \
    X(void, DeleteShader, (GLuint))                                                                      \
    X(GLuint, CreateShader, (GLenum))                                                                    \
    X(GLuint, CreateProgram, (void))                                                                     \
    X(void, DeleteProgram, (GLuint))                                                                     \
    X(void, CompileShader, (GLuint))                                                                     \
    X(void, BindAttribLocation, (GLuint, GLuint, const GLchar*))                                         \
    X(void, AttachShader, (GLuint, GLuint))                                                              \
    X(void, GenBuffers, (GLsizei, GLuint*))                                                              \
    X(void, DeleteBuffers, (GLsizei, const GLuint*))                                                     \
    X(void, BufferSubData, (GLenum, GLintptr, GLsizeiptr, const void*))                                  \
    X(void, BufferData, (GLenum, GLsizeiptr, const void*, GLenum))                                       \
    X(void, BindBuffer, (GLenum, GLuint))                                                                \
    X(void, ActiveTexture, (GLenum))                                                                     \
    X(void, GenVertexArrays, (GLsizei, GLuint*))                                                         \
    X(void, DeleteVertexArrays, (GLsizei, const GLuint*))                                                \
    X(void, BindVertexArray, (GLuint))                                                                   \
    X(GLenum, CheckFramebufferStatus, (GLenum))                                                          \
    X(void, VertexAttribPointer, (GLuint, GLint, GLenum, GLboolean, GLsizei, const void*))               \
    X(void, UseProgram, (GLuint))                                                                        \
    X(void, UniformMatrix3fv, (GLint, GLsizei, GLboolean, const GLfloat*))                               \
    X(void, Uniform4f, (GLint, GLfloat, GLfloat, GLfloat, GLfloat))                                      \
    X(void, Uniform1i, (GLint, GLint))                                                                   \
    X(void, Uniform1f, (GLint, GLfloat))                                                                 \
    X(void, ShaderSource, (GLuint, GLsizei, const GLchar* const*, const GLint*))                         \
    X(void, LinkProgram, (GLuint))                                                                       \
    X(GLint, GetUniformLocation, (GLuint, const GLchar*))                                                \
    X(void, GetShaderiv, (GLuint, GLenum, GLint*))                                                       \
    X(void, GetShaderInfoLog, (GLuint, GLsizei, GLsizei*, GLchar*))                                      \
    X(void, GetProgramiv, (GLuint, GLenum, GLint*))                                                      \
    X(void, GetProgramInfoLog, (GLuint, GLsizei, GLsizei*, GLchar*))                                     \
    X(void, EnableVertexAttribArray, (GLuint))                                                           \
    X(void, GenFramebuffers, (GLsizei, GLuint*))                                                         \
    X(void, FramebufferTexture2D, (GLenum, GLenum, GLenum, GLuint, GLint))                               \
    X(void, BindFramebuffer, (GLenum, GLuint))                                                           \
    X(void, DeleteFramebuffers, (GLsizei, const GLuint*))                                                \
    X(void, GetIntegerv, (GLenum, GLint*))                                                               \
    X(void, DepthFunc, (GLenum))

struct GLEntryPoints {
#define HV_GL_MEMBER(ret, name, params) ret(APIENTRYP name) params = nullptr;
    HV_GL_ENTRY_POINTS(HV_GL_MEMBER)
#undef HV_GL_MEMBER
};

// The table the renderer calls through. Main thread only.
extern GLEntryPoints gl;

// Fetches every entry point through SDL; the window's context must be current. Missing ones
// stay null and are not reported here; the result says whether all were found.
bool loadGLEntryPoints();

// True when the last load found every entry point; the backend refuses to start otherwise.
bool glEntryPointsLoaded();

} // namespace hv
