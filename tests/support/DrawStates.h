#pragma once

#include "core/Transform.h"
#include "render/RendererBackend.h"

#include <cstdint>
#include <memory>
#include <utility>

namespace hv::test {

// A draw state from its parts; polygons need neither the paper scroll nor the z index.
inline RendererBackend::DrawState drawState(int32_t mode, std::shared_ptr<PictureBuffer> buffer, const Transform& t,
                                            double yb = 0.0, uint32_t zIndex = 0) {
    RendererBackend::DrawState s;
    s.mode = mode;
    s.buffer = std::move(buffer);
    s.t = t;
    s.yb = yb;
    s.zIndex = zIndex;
    return s;
}

} // namespace hv::test
