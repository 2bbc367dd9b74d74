#pragma once

#include <SDL.h>

#include <memory>
#include <string>

namespace hv::test {

// A hidden window with a current OpenGL 3.1 core-profile context (24-bit depth, no
// multisampling, so edges stay exact) and the engine's GL entry points loaded. Headless runs
// get it from SDL's offscreen driver.
class GLContext {
public:
    // Empty, with the reason in `whyNot`, only when no context can be made at all.
    static std::unique_ptr<GLContext> create(int width, int height, std::string& whyNot);
    // One context for the whole test process, made on first use and never destroyed: the GL
    // driver stays loaded until exit, so the leak checker can tell its own allocations apart.
    static GLContext* shared(int width, int height, std::string& whyNot);
    ~GLContext();
    GLContext(const GLContext&) = delete;
    GLContext& operator=(const GLContext&) = delete;

    int width = 0;
    int height = 0;

    // An entry point the engine's table does not hold, fetched for a test's own checks.
    static void* procAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

private:
    GLContext() = default;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
};

} // namespace hv::test
