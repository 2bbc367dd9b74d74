// One gradual change of a chapter: its target, start and end values, and the driver that turns
// time, the scroll position or a sliding canvas into progress.
#pragma once

#include "core/Colour.h"

#include <cstdint>
#include <vector>

namespace hv {

class Canvas;
class RowOffsets;

struct Animation {
    enum TargetKind : int32_t {
        ScrollTarget = 0,
        MousePosition = 1,
        SoundValue = 2,
        PathColour = 3,
        LineColour = 4,
        PathPoint0 = 5,
        PathPoint1 = 6,
        PathEndPoint = 7,
        NodeRotation = 8,
        NodeScale = 9,
        NodePosition = 10,
        PathFrame = 11,
        Timer = 12,
    };
    enum Driver : int32_t { Duration = 0, ScrollLimits = 1, SlidingBlock = 2 };

    int32_t instance = 0; // picture instance, sound instance, or a scroll target's special value
    int32_t element = 0;  // node or path, or the row of a scroll target
    int32_t part = 0;     // path command or paragraph line, or the command of a scroll target
    bool validated = false;
    int32_t kind = Timer;
    int32_t driver = Duration;
    double startRow = 0.0;
    double endRow = 0.0;
    double startMargin = 0.0;
    double endMargin = 0.0;
    int32_t linkType = 0;
    int32_t slidingCanvas = 0;
    int32_t slidingParam = 0;
    double from[4] = {0, 0, 0, 0};
    double to[4] = {0, 0, 0, 0};
    double duration = 0.0;
    double elapsed = 0.0; // seconds, or the progress of the linked drivers
    int64_t context = 0;

    // Advances the driver; true when the animation has finished.
    static bool tick(Animation& animation, const RowOffsets& rows, const Canvas& canvas, double dt, double viewHeight);
};

double driverValue(const Animation& animation);
double value(const Animation& animation, int i);
Colour colourValue(const Animation& animation);
bool sameTarget(const Animation& added, const Animation& existing);

} // namespace hv
