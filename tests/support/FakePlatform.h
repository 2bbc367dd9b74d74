#pragma once

#include "host/PlatformBackend.h"
#include "host/TypesetterBackend.h"

#include <memory>
#include <string>
#include <vector>

namespace hv::test {

// Typesets nothing: each paragraph becomes a 4x2 texture of one colour, made through the
// renderer it is given, with fractions that the test sets.
class FakeTypesetter : public TypesetterBackend {
public:
    int32_t loadFont(const std::string& name, double pointSize) override;
    std::pair<int32_t, double> lineMetrics(int32_t fontId) override;
    void generateTextBlock(ParagraphRecord& record, const std::string& text, int32_t alignment, int32_t fontId,
                           RendererBackend& renderer, double wrapWidth) override;

    uint8_t textColour[4] = {255, 255, 255, 255};
    double widthFraction = 1.0;
    std::vector<std::string> texts; // every text typeset, in order
};

class FakePlatform : public PlatformBackend {
public:
    double getBrightness() override { return brightness; }
    void setBrightness(double b) override { brightness = b; }
    void setTitle(const std::string& t) override { title = t; }
    void setCursor(int32_t kind) override { cursor = kind; }
    std::shared_ptr<SoundManager> soundManager() override { return nullptr; }
    std::shared_ptr<RendererBackend> renderer() override { return rendererBackend; }
    std::shared_ptr<TypesetterBackend> typesetter() override { return typesetterBackend; }

    double brightness = 1.0;
    std::string title;
    int32_t cursor = 0;
    std::shared_ptr<RendererBackend> rendererBackend;
    std::shared_ptr<FakeTypesetter> typesetterBackend = std::make_shared<FakeTypesetter>();
};

} // namespace hv::test
