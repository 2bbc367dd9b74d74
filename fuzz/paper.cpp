#include "core/Reader.h"
#include "render/PaperTexture.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>

// Paper cache records: any bytes are either refused or give a whole, finite texture.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = [] {
        std::cerr.setstate(std::ios::failbit);
        return true;
    }();
    (void)quiet;
    auto blob = std::make_shared<std::vector<uint8_t>>(data, data + size);
    hv::BlobReader reader(blob);
    hv::PaperTexture texture;
    if (texture.readFrom(reader)) {
        if (texture.dimension == 0 || texture.texels.size() != texture.dimension * texture.dimension) std::abort();
        for (double texel : texture.texels) {
            if (!std::isfinite(texel)) std::abort();
        }
    } else if (texture.dimension != 0 || !texture.texels.empty()) {
        std::abort();
    }
    return 0;
}
