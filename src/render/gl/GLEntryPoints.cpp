#include "render/gl/GLEntryPoints.h"

#include <SDL.h>

namespace hv {

GLEntryPoints gl;

namespace {
bool allLoaded = false;
}

bool loadGLEntryPoints() {
    bool complete = true;
#define HV_GL_LOAD(ret, name, params)                                                      \
    gl.name = reinterpret_cast<decltype(gl.name)>(SDL_GL_GetProcAddress("gl" #name));    \
    complete = complete && gl.name != nullptr;
    HV_GL_ENTRY_POINTS(HV_GL_LOAD)
#undef HV_GL_LOAD
    allLoaded = complete;
    return complete;
}

bool glEntryPointsLoaded() { return allLoaded; }

} // namespace hv
