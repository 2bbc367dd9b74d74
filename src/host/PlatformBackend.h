#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace hv {

class RendererBackend;
class SoundManager;
class TypesetterBackend;

// The one handle through which the engine reaches the window and the services the host made.
class PlatformBackend {
public:
    virtual ~PlatformBackend() = default;
    virtual double getBrightness() = 0;
    virtual void setBrightness(double brightness) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void setCursor(int32_t kind) = 0; // 0 arrow, 1 hand
    virtual std::shared_ptr<SoundManager> soundManager() = 0;
    virtual std::shared_ptr<RendererBackend> renderer() = 0; // empty until the host has made it
    virtual std::shared_ptr<TypesetterBackend> typesetter() = 0;
};

} // namespace hv
