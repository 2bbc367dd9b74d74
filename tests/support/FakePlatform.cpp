#include "support/FakePlatform.h"

#include "render/CoreRenderer.h"
#include "render/RendererBackend.h"

namespace hv::test {

int32_t FakeTypesetter::loadFont(const std::string&, double) { return 0; }

std::pair<int32_t, double> FakeTypesetter::lineMetrics(int32_t) { return {2, 10.0}; }

void FakeTypesetter::generateTextBlock(ParagraphRecord& record, const std::string& text, int32_t, int32_t,
                                       RendererBackend& renderer, double wrapWidth) {
    texts.push_back(text);
    uint8_t pixels[4 * 2 * 4];
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < 4; ++k) pixels[i * 4 + k] = textColour[k];
    }
    record.textureId = renderer.newTexture(pixels, 4, 2);
    record.widthFraction = widthFraction;
    record.offsetFraction = 0.0;
    record.aspect = wrapWidth / 10.0;
}

} // namespace hv::test
