#include "render/PictureInstance.h"

namespace hv {

uint64_t Canvas::add(PictureInstance instance) {
    const uint64_t handle = handleCount_++;
    live_.emplace_hint(live_.end(), handle, std::move(instance));
    return handle;
}

void Canvas::remove(uint64_t handle) { live_.erase(handle); }

void Canvas::clear() {
    live_.clear();
    handleCount_ = 0;
}

PictureInstance* Canvas::find(int64_t handle) {
    auto found = handle >= 0 ? live_.find(uint64_t(handle)) : live_.end();
    return found == live_.end() ? nullptr : &found->second;
}

const PictureInstance* Canvas::find(int64_t handle) const { return const_cast<Canvas*>(this)->find(handle); }

} // namespace hv
