#include "support/GLContext.h"

#include "render/gl/GLEntryPoints.h"

namespace hv::test {

std::unique_ptr<GLContext> GLContext::create(int width, int height, std::string& whyNot) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        whyNot = std::string("SDL video: ") + SDL_GetError();
        return nullptr;
    }
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    std::unique_ptr<GLContext> result(new GLContext);
    result->window = SDL_CreateWindow("test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                      SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!result->window) {
        whyNot = std::string("SDL window: ") + SDL_GetError();
        return nullptr;
    }
    result->context = SDL_GL_CreateContext(result->window);
    if (!result->context) {
        whyNot = std::string("GL context: ") + SDL_GetError();
        return nullptr;
    }
    SDL_GL_MakeCurrent(result->window, result->context);
    if (!loadGLEntryPoints()) {
        whyNot = "GL entry points missing";
        return nullptr;
    }
    SDL_GL_GetDrawableSize(result->window, &result->width, &result->height);
    return result;
}

GLContext* GLContext::shared(int width, int height, std::string& whyNot) {
    static std::string reason;
    static GLContext* context = create(width, height, reason).release();
    whyNot = reason;
    return context;
}

GLContext::~GLContext() {
    if (context) SDL_GL_DeleteContext(context);
    if (window) SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

} // namespace hv::test

// The Mesa driver keeps some allocations to the end of the process; they are not the engine's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:swrast_dri.so\n"
           "leak:libgallium\n"
           "leak:libLLVM\n"
           "leak:libEGL_mesa.so\n"
           "leak:libglapi.so\n";
}
