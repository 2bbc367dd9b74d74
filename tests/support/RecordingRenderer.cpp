#include "support/RecordingRenderer.h"

namespace hv::test {

uint32_t RecordingRenderer::newTexture(const uint8_t* pixels, double width, double height) {
    Texture texture;
    texture.width = uint64_t(width);
    texture.height = uint64_t(height);
    texture.pixels.assign(pixels, pixels + texture.width * texture.height * 4);
    uint32_t id = nextId++;
    textures[id] = std::move(texture);
    return id;
}

} // namespace hv::test
