// Drag catchers, page dragging, wheel scrolling with inertia, and the row and key waiters.
#include "chapter/ChapterController.h"

#include "core/Fatal.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"

#include <cmath>

namespace hv {

int32_t ChapterController::createDragCatcher(int32_t picture, int32_t node, const Rect& rect) {
    DragCatcher catcher;
    catcher.picture = picture;
    catcher.node = node;
    catcher.rect = rect;
    dragCatchers.push_back(catcher);
    return int32_t(dragCatchers.size() - 1);
}

void ChapterController::setDragCatcherEnabled(int32_t catcher, bool catchDrags, bool catchClicks) {
    dragCatchers[size_t(catcher)].catchClicks = catchClicks;
    dragCatchers[size_t(catcher)].catchDrags = catchDrags;
}

std::pair<bool, bool> ChapterController::dragCatchersAt(const Vec2& point) {
    bool clicks = false;
    bool drags = false;
    for (const DragCatcher& catcher : dragCatchers) {
        const PictureInstance* found = instanceAt(catcher.picture);
        if (!found || !found->picture) continue;
        const PictureInstance& instance = *found;
        Vec2 q = instance.picture->worldToNode(canvasLocalPoint(instance, point), uint64_t(catcher.node));
        // A node scaled to nothing gives NaN, which every edge test would let through.
        if (!std::isfinite(q.x) || !std::isfinite(q.y)) continue;
        if (catcher.rect.contains(q)) {
            clicks = clicks || catcher.catchClicks;
            drags = drags || catcher.catchDrags;
        }
    }
    return {clicks, drags};
}

bool ChapterController::canScrollBy(double delta) const {
    // A pointer sent beyond any page (a script's glide to 1e308) moves by no usable amount;
    // kept, it would pin the speed, and the page with it, at infinity or NaN for good.
    return scrollEnabled && !hasScrollAnimation() && std::isfinite(delta);
}

void ChapterController::scrollBy(double delta) {
    if (!canScrollBy(delta)) return;
    scrollMoved += delta;
    scrollTo(rows.position - delta);
}

void ChapterController::wheelBy(double amount) {
    double delta = amount * wheelFactor(scrollScale);
    if (!canScrollBy(delta)) return;
    scrollTo(rows.position - delta);
    // Then the page coasts as far again. Measured as a drag is, over one tick, the jump's speed
    // would grow with the frame rate and its coast with the square of that over the view's
    // height: the same notch scrolled twice as far in a small window as in a large one. The
    // speed that the friction brings to rest over `delta` does not depend on either. A notch
    // that follows one still coasting the same way adds its coast to what is left of that one.
    double speed = std::sqrt(2.0 * std::fabs(friction * delta));
    if (scrollVelocity * delta > 0) speed = std::hypot(scrollVelocity, speed);
    scrollVelocity = std::copysign(speed, delta);
}

double ChapterController::wheelFactor(double scale) {
    double t = 2.0 * (scale - 0.5);
    if (t < 0) return 1.0 + 0.7 * t;
    if (t > 0) return 1.0 + 3.0 * t;
    return 1.0;
}

void ChapterController::inertiaStep(double dt) {
    // A tick that took no time measures no speed (and would divide by zero); what moved in it
    // counts in the next one.
    if (!(dt > 0) || !std::isfinite(dt)) return;
    double smoothed = 0.1 * (scrollMoved / dt) + 0.9 * scrollVelocity;
    if (!std::isfinite(smoothed)) smoothed = 0.0;
    if (hasScrollAnimation()) {
        scrollVelocity = 0.0;
    } else if (pointerPhase == 1) {
        scrollVelocity = dragging ? smoothed : 0.0;
    } else if (scrollMoved != 0) {
        scrollVelocity = smoothed;
    } else {
        if (scrollVelocity > 0) {
            scrollVelocity += dt * friction;
            if (scrollVelocity < 0) scrollVelocity = 0.0;
        } else if (scrollVelocity < 0) {
            scrollVelocity -= dt * friction;
            if (scrollVelocity > 0) scrollVelocity = 0.0;
        }
        scrollBy(scrollVelocity * dt);
    }
    scrollMoved = 0.0;
}

void ChapterController::scrollToTarget(int32_t target, int32_t b, int64_t c) {
    ContextFrame& frame = contexts.currentFrame();
    if (target == -3) {
        // A fling: the page coasts half a view height toward the end before it stops.
        if (frame.typeface >= 0) scrollVelocity = -std::sqrt(-2.0 * (0.5 * viewHeight()) * friction);
        return;
    }
    Animation animation;
    frame.applyTo(animation);
    if (animation.driver != Animation::Duration) fatalError("scrollToTarget cannot be called with position driver");
    animation.kind = Animation::ScrollTarget;
    animation.to[0] = 0.0; // the target centred in the viewport
    animation.instance = target;
    animation.element = b;
    animation.part = int32_t(c);
    startAnimation(animation);
}

bool ChapterController::activateScrollRow(int32_t row) {
    if (rowIsVisible(row)) return true;
    uint64_t current = contexts.currentContextIndex();
    rowWaiters[row].push_back(current);
    contexts.holdContext(current);
    return false;
}

void ChapterController::waitKey(KeyCode code) {
    uint64_t current = contexts.currentContextIndex();
    keyWaiters[code].push_back(current);
    contexts.holdContext(current);
}

void ChapterController::keyPressed(KeyCode code) {
    auto entry = keyWaiters.find(code);
    if (entry == keyWaiters.end()) return;
    // Waiters whose group is asleep lose their registration without being released.
    std::vector<uint64_t> waiters = std::move(entry->second);
    keyWaiters.erase(entry);
    for (uint64_t context : waiters) {
        if (context < contexts.contextCount() && contexts.isGroupActive(context)) contexts.releaseContext(context);
    }
}

void ChapterController::releaseVisibleRowWaiters() {
    for (auto entry = rowWaiters.begin(); entry != rowWaiters.end();) {
        if (!rowIsVisible(int64_t(entry->first))) {
            ++entry;
            continue;
        }
        for (uint64_t context : entry->second) {
            if (context < contexts.contextCount()) contexts.releaseContext(context);
        }
        entry = rowWaiters.erase(entry);
    }
}

} // namespace hv
