// The synthetic pointer: a story moves, presses and releases a pointer of its own, and reads the
// last pointer event. Its events queue up and are handled like the host's, one after another.
#include "chapter/ChapterController.h"

#include "core/Fatal.h"
#include "core/Text.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"

#include <sstream>

namespace hv {

void ChapterController::synthesizeMouseMove(const std::string& label, const Vec2& point, bool assertUnreachable) {
    Vec2 target = point;
    if (!label.empty()) {
        bool found = false;
        std::string message = "ChapterController::synthesizeMouseMove: could not find label '" + label + "'";
        const double width = double(configuration.contentWidth);
        const double height = double(configuration.contentHeight);
        for (const auto& [handle, instance] : canvas().instances()) {
            if (!containsSubstring(instance.label, label)) continue;
            // The point is a fraction of the canvas, y from its bottom.
            Vec2 p(point.x * viewToScriptUnits(instance.rect.w), point.y * viewToScriptUnits(instance.rect.h));
            Vec2 book(scriptToViewUnits(p.x) + instance.rect.x,
                      instance.rect.h - scriptToViewUnits(p.y) - pictureBaseY(instance));
            Vec2 candidate(book.x / width, book.y / height);
            if (Rect(0, 0, 1, 1).contains(candidate)) {
                if (found) fatalError("Click label is not unique: '" + label + "'");
                found = true;
                target = candidate;
            } else {
                std::ostringstream text;
                text << "ChapterController::synthesizeMouseMove: attempting to click on something offscreen: "
                     << candidate;
                message = text.str();
                // A canvas off the content area never displaces the one on it already found.
                if (!found) target = candidate;
            }
        }
        if (assertUnreachable && found) {
            fatalError("ChapterController::synthesizeMouseMove: label was reachable '" + label + "'");
        }
        if (!assertUnreachable && !found) fatalError(message);
    } else if (assertUnreachable) {
        fatalError("Must provide a label in the case of an assertMouseMove");
    }
    Animation animation;
    contexts.currentFrame().applyTo(animation);
    animation.kind = Animation::MousePosition;
    animation.to[0] = target.x;
    animation.to[1] = target.y;
    startAnimation(animation);
}

void ChapterController::synthesizeMouseButton(bool pressed) {
    Event event;
    event.kind = pressed ? Event::PointerDown : Event::PointerUp;
    // Where the pointer will be when the button event is handled: a move the script queued
    // just before (a move without animation, or a glide's last step) is handled first, and a
    // press right after it belongs at its end, not where the pointer was before it.
    event.point = lastMouseEvent.point;
    for (auto queued = pendingEvents.rbegin(); queued != pendingEvents.rend(); ++queued) {
        if (queued->kind == Event::PointerDown || queued->kind == Event::PointerMove || queued->kind == Event::PointerUp) {
            event.point = queued->point;
            break;
        }
    }
    pendingEvents.push_back(event);
}

ChapterController::MouseEventInfo ChapterController::lastMouseEventInfo() const {
    MouseEventInfo info;
    switch (lastMouseEvent.kind) {
    case Event::PointerDown: info.code = 0; break;
    case Event::PointerMove: info.code = 1; break;
    case Event::PointerUp: info.code = 2; break;
    default: fatalError("lastMouseEvent() called when there was an invalid event");
    }
    info.x = viewToScriptUnits(lastMouseEvent.point.x);
    info.y = viewToScriptUnits(lastMouseEvent.point.y);
    return info;
}

} // namespace hv
