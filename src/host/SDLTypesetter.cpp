#include "host/SDLTypesetter.h"

#include "core/PathProvider.h"
#include "core/ResourcePaths.h"
#include "render/ParagraphRecord.h"
#include "render/RendererBackend.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <unistd.h>
#include <vector>

namespace hv {

namespace {

// Truncates toward zero into the int range; NaN reads as 0.
int truncatedInt(double value) {
    if (!(value > INT_MIN) || !(value < INT_MAX)) return value >= INT_MAX ? INT_MAX : value <= INT_MIN ? INT_MIN : 0;
    return int(value);
}

} // namespace

SDLTypesetter::~SDLTypesetter() {
    for (Record& record : fonts_) TTF_CloseFont(record.font);
}

bool SDLTypesetter::init(std::shared_ptr<PathProvider> paths) {
    paths_ = std::move(paths);
    return true;
}

int32_t SDLTypesetter::loadFont(const std::string& name, double pointSize) {
    for (size_t i = 0; i < fonts_.size(); ++i) {
        if (fonts_[i].name == name && fonts_[i].size == pointSize) return int32_t(i);
    }
    std::string relative = "fonts/" + name + ".ttf";
    std::string path = paths_ ? joinPath(paths_->root, relative) : relative;
    // Only a regular file: opening a FIFO would wait for a writer for ever.
    TTF_Font* font = nullptr;
    int fd = openRegularFile(path);
    FILE* file = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (!file && fd >= 0) close(fd);
    if (SDL_RWops* source = file ? SDL_RWFromFP(file, SDL_TRUE) : nullptr) {
        font = TTF_OpenFontRW(source, 1, truncatedInt(pointSize));
    } else if (file) {
        std::fclose(file);
    }
    if (!font) {
        std::cerr << "Failed to open font at path: " << relative << std::endl;
        return -1;
    }
    fonts_.push_back(Record{font, name, pointSize});
    return int32_t(fonts_.size() - 1);
}

TTF_Font* SDLTypesetter::fontOrFallback(int32_t id, const char* operation) {
    if (id >= 0 && size_t(id) < fonts_.size()) return fonts_[size_t(id)].font;
    std::cerr << "SDLTypesetter::" << operation << ": passed bad font id" << std::endl;
    if (fonts_.empty()) {
        std::cerr << "SDLTypesetter::" << operation << ": no fallback" << std::endl;
        std::cout.flush();
        std::fflush(nullptr);
        std::_Exit(1);
    }
    return fonts_[0].font;
}

std::pair<int32_t, double> SDLTypesetter::lineMetrics(int32_t id) {
    TTF_Font* font = fontOrFallback(id, "lineMetrics");
    int descent = TTF_FontDescent(font);
    return {descent, double(TTF_FontAscent(font) + descent)};
}

std::string SDLTypesetter::generateTextBlock(ParagraphRecord& record, const std::string& text, int32_t alignment,
                                             int32_t id, RendererBackend& renderer, double width) {
    TTF_Font* font = fontOrFallback(id, "generateTextBlock");
    const uint64_t largest = renderer.maxTextureSize();
    if (text.size() > maxTextBytes) {
        return "a text of " + std::to_string(text.size()) + " bytes is longer than a paragraph can be (" +
               std::to_string(maxTextBytes) + " bytes)";
    }
    // Every line break starts a line, and wrapping takes time for each: a text whose breaks
    // alone make it too tall is refused before it is set.
    uint64_t lines = uint64_t(std::count(text.begin(), text.end(), '\n')) + 1;
    uint64_t lineSkip = uint64_t(std::max(1, TTF_FontLineSkip(font)));
    if (lines * lineSkip > largest) {
        return "a text of " + std::to_string(lines) + " lines makes an image at least " +
               std::to_string(lines * lineSkip) + " pixels high, more than a texture can hold (" +
               std::to_string(largest) + ")";
    }

    SDL_Surface* surface = nullptr;
    if (!text.empty()) {
        // SDL2_ttf aligns every line of a text of several lines within an image as wide as the
        // wrap width (it cannot justify). A single line aligned so also fills the wrap width,
        // so one is set again flush left, as narrow as its text, and placed by the fractions.
        const int wrap = std::max(0, truncatedInt(width));
        const int wrappedAlign = alignment == 1   ? TTF_WRAPPED_ALIGN_RIGHT
                                 : alignment == 2 ? TTF_WRAPPED_ALIGN_CENTER
                                                  : TTF_WRAPPED_ALIGN_LEFT;
        TTF_SetFontWrappedAlign(font, wrappedAlign);
        surface = TTF_RenderUTF8_Blended_Wrapped(font, text.c_str(), SDL_Color{255, 255, 255, 255}, wrap);
        if (surface && wrappedAlign != TTF_WRAPPED_ALIGN_LEFT && surface->h <= TTF_FontHeight(font)) {
            SDL_FreeSurface(surface);
            TTF_SetFontWrappedAlign(font, TTF_WRAPPED_ALIGN_LEFT);
            surface = TTF_RenderUTF8_Blended_Wrapped(font, text.c_str(), SDL_Color{255, 255, 255, 255}, wrap);
        }
        if (!surface) std::cerr << "SDLTypesetter::generateTextBlock: " << TTF_GetError() << std::endl;
    }
    if (surface && (uint64_t(surface->w) > largest || uint64_t(surface->h) > largest)) {
        std::string reason = "a text of " + std::to_string(text.size()) + " bytes makes an image of " +
                             std::to_string(surface->w) + " x " + std::to_string(surface->h) +
                             " pixels, more than a texture can hold (" + std::to_string(largest) + " a side)";
        SDL_FreeSurface(surface);
        return reason;
    }
    if (surface && surface->format->BytesPerPixel != 4) {
        SDL_Surface* converted = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_ARGB8888, 0);
        SDL_FreeSurface(surface);
        surface = converted;
    }
    if (!surface) {
        // No text (or none that renders) still makes a paragraph: one transparent pixel wide
        // and a line high, so the view gets a real texture and sensible fractions.
        surface = SDL_CreateRGBSurfaceWithFormat(0, 1, std::max(1, TTF_FontHeight(font)), 32, SDL_PIXELFORMAT_ARGB8888);
        if (!surface) {
            std::cerr << "SDLTypesetter::generateTextBlock: " << SDL_GetError() << std::endl;
            return "";
        }
    }

    // The row width is the surface's width: the pitch may be padded past it. Rows are packed
    // bottom row first, the renderer's y axis pointing up.
    const int pw = surface->w;
    const int h = surface->h;
    std::vector<uint32_t> pixels(size_t(pw) * size_t(h));
    SDL_LockSurface(surface);
    const auto* source = static_cast<const uint8_t*>(surface->pixels);
    for (int row = 0; row < h; ++row) {
        std::memcpy(&pixels[size_t(h - 1 - row) * size_t(pw)], source + size_t(row) * size_t(surface->pitch),
                    size_t(pw) * 4);
    }
    SDL_UnlockSurface(surface);
    SDL_FreeSurface(surface);

    record.aspect = width / double(h);
    if (pw == truncatedInt(width)) {
        record.offsetFraction = 0.0;
        record.widthFraction = 1.0;
    } else {
        record.widthFraction = double(pw) / width;
        double slack = 1.0 - record.widthFraction;
        switch (alignment) {
        case 0:
        case 3: record.offsetFraction = 0.0; break;
        case 1: record.offsetFraction = slack; break;
        case 2: record.offsetFraction = slack / 2.0; break;
        default: break;
        }
    }
    record.textureId = renderer.newTexture(reinterpret_cast<const uint8_t*>(pixels.data()), double(pw), double(h));
    return "";
}

} // namespace hv
