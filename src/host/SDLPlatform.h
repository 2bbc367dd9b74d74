#pragma once

#include "core/PlatformBackend.h"

struct SDL_Window;
struct SDL_Cursor;

namespace hv {

// The platform over SDL2. The host fills it in; the platform itself creates nothing.
class SDLPlatform : public PlatformBackend {
public:
    double getBrightness() override;
    void setBrightness(double brightness) override;
    void setTitle(const std::string& title) override;
    void setCursor(int32_t kind) override;
    std::shared_ptr<SoundManager> soundManager() override { return soundManager_; }
    std::shared_ptr<RendererBackend> renderer() override { return renderer_; }
    std::shared_ptr<TypesetterBackend> typesetter() override { return typesetter_; }

    // The window is not owned: the host destroys it.
    void setWindow(SDL_Window* window) { window_ = window; }
    void setSoundManager(std::shared_ptr<SoundManager> manager) { soundManager_ = std::move(manager); }
    void setRenderer(std::shared_ptr<RendererBackend> renderer) { renderer_ = std::move(renderer); }
    void setTypesetter(std::shared_ptr<TypesetterBackend> typesetter) { typesetter_ = std::move(typesetter); }
    // The cursors for kinds 0 and 1, with the kind that is showing.
    void setCursors(SDL_Cursor* arrow, SDL_Cursor* hand, int32_t current);
    int32_t cursorKind() const { return cursorKind_; }

private:
    SDL_Window* window_ = nullptr;
    std::shared_ptr<SoundManager> soundManager_;
    std::shared_ptr<RendererBackend> renderer_;
    std::shared_ptr<TypesetterBackend> typesetter_;
    int32_t cursorKind_ = 0;
    SDL_Cursor* arrowCursor_ = nullptr;
    SDL_Cursor* handCursor_ = nullptr;
};

} // namespace hv
