#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace hv {

class RendererBackend;
class SoundManager;
class TypesetterBackend;

// The one handle through which the book reaches the window and the platform's services.
class PlatformBackend {
public:
    virtual ~PlatformBackend() = default;
    virtual double getBrightness() = 0;
    virtual void setBrightness(double brightness) = 0;
    virtual void setTitle(const std::string& title) = 0;
    // 0 arrow, 1 hand; other kinds are only remembered.
    virtual void setCursor(int32_t kind) = 0;
    virtual std::shared_ptr<SoundManager> soundManager() = 0;
    // Empty until the host has made the renderer.
    virtual std::shared_ptr<RendererBackend> renderer() = 0;
    virtual std::shared_ptr<TypesetterBackend> typesetter() = 0;
};

} // namespace hv
