#pragma once

#include "render/RendererBackend.h"

#include <memory>
#include <utility>

namespace hv {

// The picture buffer as the OpenGL backend sees it: the owner of one GPU-side store, which
// `setDrawState` binds through `target()`. The CPU-side regions join this class with the
// picture renderer.
class PictureBuffer {
public:
    bool init(std::shared_ptr<PictureBufferTarget> t) {
        target_ = std::move(t);
        return true;
    }
    std::shared_ptr<PictureBufferTarget> target() const { return target_; }

private:
    std::shared_ptr<PictureBufferTarget> target_;
};

} // namespace hv
