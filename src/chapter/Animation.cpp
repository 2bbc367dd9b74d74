#include "chapter/Animation.h"

#include "chapter/RowOffsets.h"
#include "core/Fatal.h"
#include "render/PictureInstance.h"

#include <algorithm>
#include <iostream>

namespace hv {

namespace {

bool tickScrollLimits(Animation& a, const RowOffsets& rows, double viewHeight) {
    const double t = rows.position;
    const double from = rows.positionOfRow(a.startRow);
    const double to = rows.positionOfRow(a.endRow);
    const double lo = from - viewHeight * a.startMargin;
    const double hi = to + viewHeight * a.endMargin;
    // A NaN bound counts as an empty range too.
    if (!(lo < hi)) {
        std::cerr << "Animation::tick(): position linked animation over nonexisting row range" << std::endl;
        a.elapsed = 1.0;
        return true;
    }
    switch (a.linkType) {
    case 0:
    case 1:
        if (t < lo) {
            a.elapsed = 0.0;
        } else if (hi <= t) {
            a.elapsed = 1.0;
            return a.linkType == 0;
        } else {
            a.elapsed = (t - lo) / (hi - lo);
        }
        return false;
    case 2:
        // Rise, hold, fall.
        if (t < lo) {
            a.elapsed = 0.0;
        } else if (t < from) {
            a.elapsed = (t - lo) / (from - lo);
        } else if (t < to) {
            a.elapsed = 1.0;
        } else if (t < hi) {
            a.elapsed = 1.0 - (t - to) / (hi - to);
        } else {
            a.elapsed = 0.0;
        }
        return false;
    default: return true;
    }
}

bool tickSlidingBlock(Animation& a, const Canvas& canvas, double viewHeight) {
    // A sliding canvas removed since no longer slides: the animation stays where it was.
    if (canvas.wasRemoved(a.slidingCanvas)) return false;
    // A canvas that does not exist is as unusable as one that does not slide.
    const PictureInstance* sliding = canvas.find(a.slidingCanvas);
    if (!sliding || sliding->positionMode != PictureInstance::Sticky) {
        fatalError("Animation::tick(): target image is not sliding");
    }
    double v = (1.0 - sliding->slideOffset / viewHeight) * 0.5;
    switch (a.slidingParam) {
    case 0: v = 2.0 * v; break;
    case 1: v = (v - 0.5) * 2.0; break;
    case 2: break;
    default: fatalError("Unhandled sliding param type");
    }
    a.elapsed = std::clamp(v, 0.0, 1.0);
    return false;
}

} // namespace

bool Animation::tick(Animation& a, const RowOffsets& rows, const Canvas& canvas, double dt, double viewHeight) {
    switch (a.driver) {
    case Duration:
        a.elapsed += dt;
        if (a.elapsed > a.duration) a.elapsed = a.duration;
        return a.elapsed == a.duration;
    case ScrollLimits: return tickScrollLimits(a, rows, viewHeight);
    case SlidingBlock: return tickSlidingBlock(a, canvas, viewHeight);
    default: return true;
    }
}

double driverValue(const Animation& a) {
    switch (a.driver) {
    case Animation::Duration: return a.elapsed / a.duration;
    case Animation::ScrollLimits:
    case Animation::SlidingBlock: return a.elapsed;
    default: std::cerr << "driver value not handled" << std::endl; return 0.0;
    }
}

double value(const Animation& a, int i) {
    double progress = driverValue(a);
    // The end is the end value itself: from + (to - from) * 1 is not always `to` in doubles.
    if (progress == 1.0) return a.to[i];
    return a.from[i] + (a.to[i] - a.from[i]) * progress;
}

Colour colourValue(const Animation& a) { return Colour(value(a, 0), value(a, 1), value(a, 2), value(a, 3)); }

bool sameTarget(const Animation& added, const Animation& existing) {
    if (added.kind == Animation::Timer) return false;
    return added.instance == existing.instance && added.element == existing.element && added.part == existing.part &&
           added.kind == existing.kind;
}

} // namespace hv
