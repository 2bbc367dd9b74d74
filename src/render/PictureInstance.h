#pragma once

#include "core/Range.h"
#include "core/Rect.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace hv {

class Picture;
class PictureBuffer;

// One placed picture of the page.
struct PictureInstance {
    enum PositionMode : int32_t {
        InRow = 0,          // scrolls with the page
        Fixed = 1,          // fixed in the viewport
        Sticky = 2,         // slides within its rows; placed before every draw
        RevealIndicator = 3, // drawn only while the reveal indicator shows, bottom right
        BottomRight = 4,    // fixed at the bottom right of the content
    };

    int32_t positionMode = InRow;
    int64_t layerKey = 0; // drawn in ascending key order
    std::shared_ptr<Picture> picture;
    std::string label;
    double slideOffset = 0.0;
    Rect rect; // view units: top-left corner in book coordinates (y down), width, height
    Range rows;
    bool interactive = false;
    std::shared_ptr<PictureBuffer> buffer;
};

// The placed pictures of a chapter, by handle. Handles count up from 0 in each chapter and are
// never given twice, so a handle stays valid; a removed instance leaves nothing behind, and a
// handle below the count that names no instance is one that was removed. So memory, and the
// work of every frame, follow the instances on the page, not all that were ever made.
class Canvas {
public:
    using Instances = std::map<uint64_t, PictureInstance>;

    uint64_t add(PictureInstance instance);
    // Frees everything the instance held: its picture (when no one else holds it), its buffer
    // and its label.
    void remove(uint64_t handle);
    void clear();
    // Null for a handle that names no instance on the page.
    PictureInstance* find(int64_t handle);
    const PictureInstance* find(int64_t handle) const;
    // Every handle given out in this chapter, the removed ones included.
    uint64_t handleCount() const { return handleCount_; }
    bool wasRemoved(int64_t handle) const {
        return handle >= 0 && uint64_t(handle) < handleCount_ && !live_.count(uint64_t(handle));
    }
    // The instances on the page, in handle order.
    Instances& instances() { return live_; }
    const Instances& instances() const { return live_; }

private:
    Instances live_;
    uint64_t handleCount_ = 0;
};

} // namespace hv
