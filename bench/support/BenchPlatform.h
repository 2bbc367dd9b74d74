#pragma once

#include "core/PlatformBackend.h"

#include <memory>
#include <string>

namespace hv::bench {

// A window with nothing but a renderer (and typesetting when given): no sound, a fixed brightness.
class BenchPlatform : public PlatformBackend {
public:
    explicit BenchPlatform(std::shared_ptr<RendererBackend> renderer) : backend(std::move(renderer)) {}

    double getBrightness() override { return 1.0; }
    void setBrightness(double) override {}
    void setTitle(const std::string&) override {}
    void setCursor(int32_t) override {}
    std::shared_ptr<SoundManager> soundManager() override { return nullptr; }
    std::shared_ptr<RendererBackend> renderer() override { return backend; }
    std::shared_ptr<TypesetterBackend> typesetter() override { return typesetterBackend; }

    std::shared_ptr<RendererBackend> backend;
    std::shared_ptr<TypesetterBackend> typesetterBackend; // none unless a benchmark sets one
};

} // namespace hv::bench
