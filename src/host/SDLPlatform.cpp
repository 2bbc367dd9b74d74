#include "host/SDLPlatform.h"

#include <SDL.h>

namespace hv {

double SDLPlatform::getBrightness() { return SDL_GetWindowBrightness(window_); }

void SDLPlatform::setBrightness(double brightness) { SDL_SetWindowBrightness(window_, float(brightness)); }

void SDLPlatform::setTitle(const std::string& title) { SDL_SetWindowTitle(window_, title.c_str()); }

void SDLPlatform::setCursor(int32_t kind) {
    if (kind == cursorKind_) return;
    cursorKind_ = kind;
    if (kind == 0) {
        SDL_SetCursor(arrowCursor_);
    } else if (kind == 1) {
        SDL_SetCursor(handCursor_);
    }
}

void SDLPlatform::setCursors(SDL_Cursor* arrow, SDL_Cursor* hand, int32_t current) {
    arrowCursor_ = arrow;
    handCursor_ = hand;
    cursorKind_ = current;
}

} // namespace hv
