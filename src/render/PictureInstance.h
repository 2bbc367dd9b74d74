#pragma once

#include "core/Range.h"
#include "core/Rect.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
    bool active = false;
    std::shared_ptr<Picture> picture;
    std::string label;
    double slideOffset = 0.0;
    Rect rect; // view units: top-left corner in book coordinates (y down), width, height
    Range rows;
    bool interactive = false;
    std::shared_ptr<PictureBuffer> buffer;
};

// The placed pictures of a chapter. Instances are never removed while a chapter runs; their
// index is their handle.
struct Canvas {
    std::vector<PictureInstance> pictureInstances;
};

} // namespace hv
