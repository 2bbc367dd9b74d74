// Animation targets: starting, reading, applying and chaining a chapter's animations.
#include "chapter/ChapterController.h"

#include "core/Fatal.h"
#include "core/SoundTable.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"

#include <algorithm>
#include <iostream>

namespace hv {

namespace {
// A colour as the four values an animation reads and writes.
void putChannels(const Colour& colour, double out[4]) {
    out[0] = colour.r;
    out[1] = colour.g;
    out[2] = colour.b;
    out[3] = colour.a;
}
} // namespace

void ChapterController::logIgnoredError(const std::string& message) {
    std::cerr << "error (ignoring and continuing): " << message << std::endl;
}

bool ChapterController::getValue(int32_t kind, int32_t instance, int32_t element, int32_t part, double out[4]) {
    for (int i = 0; i < 4; ++i) out[i] = 0.0;
    switch (kind) {
    case Animation::Timer: return true;
    case Animation::MousePosition:
        out[0] = lastMouseEvent.point.x / double(configuration.contentWidth);
        out[1] = lastMouseEvent.point.y / double(configuration.contentHeight);
        return true;
    case Animation::SoundValue: {
        std::shared_ptr<SoundTable> table = soundTable();
        if (!table || instance < 0 || size_t(instance) >= table->instances.size()) {
            logIgnoredError("ChapterController::getValue: bad sound instance id");
            return false;
        }
        out[0] = table->instances[size_t(instance)].volume;
        return true;
    }
    default: break;
    }
    if (kind == Animation::ScrollTarget && instance < 0) {
        out[0] = bookPositionOfScrollTarget(instance, element, part) - rows.position - 0.5 * viewHeight();
        return true;
    }
    if (canvas().wasRemoved(instance)) {
        logIgnoredError("ChapterController::getValue: Inactive Picture (" + std::to_string(instance) + ")");
        return false;
    }
    const PictureInstance* found = instanceAt(instance);
    if (!found) {
        logIgnoredError("ChapterController::getValue: Bad Picture");
        return false;
    }
    const PictureInstance& target = *found;
    if (!target.picture) {
        logIgnoredError("ChapterController::getValue: Null Picture");
        return false;
    }
    Picture& picture = *target.picture;
    auto badPath = [&] {
        logIgnoredError("ChapterController::getValue: verifyPath: Bad path. (" + std::to_string(element) + "), max " +
                        std::to_string(picture.paths.size()));
        return false;
    };
    auto validPath = [&] { return element >= 0 && size_t(element) < picture.paths.size(); };
    auto validNode = [&] { return element >= 0 && size_t(element) < picture.nodes.size(); };
    switch (kind) {
    case Animation::ScrollTarget:
    case Animation::PathPoint0:
    case Animation::PathPoint1:
    case Animation::PathEndPoint: {
        if (!validPath()) return badPath();
        const Path& path = picture.paths[size_t(element)];
        if (part < 0 || size_t(part) >= path.commands.size()) {
            logIgnoredError("ChapterController::applyAnimationState: Bad path command");
            return false;
        }
        if (kind == Animation::ScrollTarget) {
            out[0] = bookPositionOfScrollTarget(instance, element, part) - rows.position - 0.5 * viewHeight();
            return true;
        }
        const PathCommand& command = path.commands[size_t(part)];
        const Vec2& point = kind == Animation::PathPoint0   ? command.points[0]
                            : kind == Animation::PathPoint1 ? command.points[1]
                                                            : command.endPoint();
        out[0] = point.x;
        out[1] = point.y;
        return true;
    }
    case Animation::PathColour: {
        if (!validPath()) return badPath();
        putChannels(picture.paths[size_t(element)].colour, out);
        return true;
    }
    case Animation::PathFrame:
        if (!validPath()) return badPath();
        out[0] = picture.paths[size_t(element)].meshTime;
        return true;
    case Animation::LineColour: {
        if (!validNode()) {
            logIgnoredError("Bad node");
            return false;
        }
        const std::vector<Paragraph>& lines = picture.nodes[size_t(element)].lines;
        if (part < 0 || size_t(part) >= lines.size()) {
            logIgnoredError("Bad line get");
            return false;
        }
        putChannels(lines[size_t(part)].colour, out);
        return true;
    }
    case Animation::NodeRotation:
    case Animation::NodeScale:
    case Animation::NodePosition: {
        if (!validNode()) {
            logIgnoredError("Bad node");
            return false;
        }
        const Node& node = picture.nodes[size_t(element)];
        if (kind == Animation::NodeRotation) {
            out[0] = node.rotation;
        } else if (kind == Animation::NodeScale) {
            out[0] = node.scaleX;
            out[1] = node.scaleY;
        } else {
            out[0] = node.translation.x;
            out[1] = node.translation.y;
        }
        return true;
    }
    default: return true;
    }
}

void ChapterController::removeAnimation(size_t index) {
    int64_t context = animations[index].context;
    animations.erase(animations.begin() + std::ptrdiff_t(index));
    if (context >= 0 && uint64_t(context) < contexts.contextCount()) contexts.releaseContext(uint64_t(context));
}

void ChapterController::applyAnimationState(Animation& a) {
    switch (a.kind) {
    case Animation::Timer: return;
    case Animation::MousePosition: {
        Event move;
        move.source = Event::Mouse;
        move.kind = Event::PointerMove;
        move.point = Vec2(value(a, 0) * double(configuration.contentWidth), value(a, 1) * double(configuration.contentHeight));
        pendingEvents.push_back(move);
        return;
    }
    case Animation::SoundValue: {
        std::shared_ptr<SoundTable> table = soundTable();
        if (!table || a.instance < 0 || size_t(a.instance) >= table->instances.size()) {
            logIgnoredError("ChapterController::applyAnimationState: bad sound instance id");
            return;
        }
        table->instances[size_t(a.instance)].volume = value(a, 0);
        return;
    }
    default: break;
    }
    if (a.kind == Animation::ScrollTarget && a.instance < 0) {
        scrollTo(bookPositionOfScrollTarget(a.instance, a.element, a.part) - value(a, 0) - 0.5 * viewHeight());
        return;
    }
    PictureInstance* target = instanceAt(a.instance);
    if (!target || !target->picture) {
        logIgnoredError("ChapterController::applyAnimationState: Bad Picture");
        return;
    }
    Picture& picture = *target->picture;
    auto path = [&]() -> Path* {
        if (a.element < 0 || size_t(a.element) >= picture.paths.size()) {
            logIgnoredError("ChapterController::applyAnimationState: verifyPath: Bad path");
            return nullptr;
        }
        return &picture.paths[size_t(a.element)];
    };
    auto node = [&]() -> Node* {
        if (a.element < 0 || size_t(a.element) >= picture.nodes.size()) {
            logIgnoredError("ChapterController::applyAnimationState: Bad node");
            return nullptr;
        }
        return &picture.nodes[size_t(a.element)];
    };
    switch (a.kind) {
    case Animation::ScrollTarget:
    case Animation::PathPoint0:
    case Animation::PathPoint1:
    case Animation::PathEndPoint: {
        Path* target = path();
        if (!target) return;
        if (a.part < 0 || size_t(a.part) >= target->commands.size()) {
            logIgnoredError("ChapterController::applyAnimationState: Bad line id");
            return;
        }
        if (a.kind == Animation::ScrollTarget) {
            scrollTo(bookPositionOfScrollTarget(a.instance, a.element, a.part) - value(a, 0) - 0.5 * viewHeight());
            return;
        }
        target->touchGeometry();
        PathCommand& command = target->commands[size_t(a.part)];
        int point = a.kind == Animation::PathPoint0 ? 0 : a.kind == Animation::PathPoint1 ? 1 : command.pointCount() - 1;
        command.points[point] = Vec2(value(a, 0), value(a, 1));
        return;
    }
    case Animation::PathColour: {
        Path* target = path();
        if (!target) return;
        target->touchColour();
        target->colour = colourValue(a);
        return;
    }
    case Animation::LineColour: {
        Node* target = node();
        if (!target) return;
        if (a.part < 0 || size_t(a.part) >= target->lines.size()) {
            logIgnoredError("ChapterController::applyAnimationState: Bad line set");
            return;
        }
        target->lines[size_t(a.part)].colour = colourValue(a);
        return;
    }
    case Animation::NodeRotation:
    case Animation::NodeScale:
    case Animation::NodePosition: {
        Node* target = node();
        if (!target) return;
        auto index = uint64_t(a.element);
        if (a.kind == Animation::NodeRotation) {
            picture.assignWithNodeRevisionBump(index, target->rotation, value(a, 0));
        } else if (a.kind == Animation::NodeScale) {
            picture.assignWithNodeRevisionBump(index, target->scaleX, value(a, 0));
            picture.assignWithNodeRevisionBump(index, target->scaleY, value(a, 1));
        } else {
            picture.assignWithNodeRevisionBump(index, target->translation.x, value(a, 0));
            picture.assignWithNodeRevisionBump(index, target->translation.y, value(a, 1));
        }
        return;
    }
    case Animation::PathFrame: {
        Path* target = path();
        if (target) target->meshTime = value(a, 0);
        return;
    }
    default: return;
    }
}

bool ChapterController::validateAnimation(Animation& a) {
    if (a.validated) return true;
    a.validated = true;
    return getValue(a.kind, a.instance, a.element, a.part, a.from);
}

void ChapterController::startAnimation(Animation a) {
    if (a.kind != Animation::Timer) {
        for (size_t i = animations.size(); i-- > 0;) {
            if (sameTarget(a, animations[i])) removeAnimation(i);
        }
    }
    a.context = int64_t(contexts.currentContextIndex());
    // A NaN or negative duration is no time at all: the end state now, nothing held.
    if (a.driver == Animation::Duration && !(a.duration > 0)) a.duration = 0.0;
    if (a.duration != 0 && contexts.currentFrame().animationEnabled) {
        contexts.holdContext(uint64_t(a.context));
        animations.push_back(a);
        return;
    }
    if (!validateAnimation(a)) {
        std::cerr << "ChapterController::startAnimation(): validation error when starting animation" << std::endl;
        return;
    }
    a.duration = 1.0;
    a.elapsed = 1.0;
    applyAnimationState(a);
}

bool ChapterController::movesScrollTarget(const Animation& scroll, const Animation& mover) {
    // Only a mover that will end keeps a scroll going: one linked to the scroll position, one on a
    // sliding canvas or one whose group is paused would hold the page (and the reader) for ever.
    if (mover.driver != Animation::Duration || mover.instance != scroll.instance) return false;
    if (mover.context < 0 || uint64_t(mover.context) >= contexts.contextCount() ||
        !contexts.isGroupActive(uint64_t(mover.context))) {
        return false;
    }
    switch (mover.kind) {
    case Animation::PathPoint0:
    case Animation::PathPoint1:
    case Animation::PathEndPoint: return mover.element == scroll.element && mover.part == scroll.part;
    case Animation::PathFrame: return mover.element == scroll.element;
    case Animation::NodeRotation:
    case Animation::NodeScale:
    case Animation::NodePosition: {
        const PictureInstance* target = instanceAt(scroll.instance);
        const Picture* picture = target ? target->picture.get() : nullptr;
        if (!picture) return false;
        std::vector<uint64_t> holders = picture->nodeAndAncestorsForPath(uint64_t(scroll.element));
        return std::find(holders.begin(), holders.end(), uint64_t(mover.element)) != holders.end();
    }
    default: return false;
    }
}

void ChapterController::animationPass(double dt, double height) {
    for (size_t i = animations.size(); i-- > 0;) {
        if (i >= animations.size()) continue;
        Animation& a = animations[i];
        if (a.context < 0 || uint64_t(a.context) >= contexts.contextCount() ||
            !contexts.isGroupActive(uint64_t(a.context))) {
            continue;
        }
        if (!validateAnimation(a)) {
            std::cerr << "ChapterController::tick(): validation error, terminating animation early" << std::endl;
            removeAnimation(i);
            continue;
        }
        bool finished = Animation::tick(a, rows, canvas(), dt, height);
        applyAnimationState(a);
        if (finished && a.kind == Animation::ScrollTarget && a.instance >= 0) {
            for (size_t j = 0; j < animations.size(); ++j) {
                if (j != i && movesScrollTarget(a, animations[j])) {
                    finished = false;
                    break;
                }
            }
        }
        if (finished) removeAnimation(i);
    }
}

bool ChapterController::hasScrollAnimation() const {
    for (const Animation& animation : animations) {
        if (animation.kind == Animation::ScrollTarget) return true;
    }
    return false;
}

void ChapterController::scrollTo(double y) {
    // A page shorter than the view goes to that negative offset.
    rows.position = std::min(std::max(0.0, y), bookView->maxScroll());
    bookView->setScrollY(rows.position);
    releaseVisibleRowWaiters();
}

namespace {

// An animation timed by the current frame, aimed at one target.
Animation aimed(ContextTable& contexts, int32_t kind, int32_t instance, int32_t element, int32_t part) {
    Animation a;
    contexts.currentFrame().applyTo(a);
    a.kind = kind;
    a.instance = instance;
    a.element = element;
    a.part = part;
    return a;
}

} // namespace

void ChapterController::setNodeRotation(int32_t instance, int32_t node, double angle) {
    Animation a = aimed(contexts, Animation::NodeRotation, instance, node, 0);
    a.to[0] = angle;
    startAnimation(a);
}

void ChapterController::setNodeScale(int32_t instance, int32_t node, double sx, double sy) {
    Animation a = aimed(contexts, Animation::NodeScale, instance, node, 0);
    a.to[0] = sx;
    a.to[1] = sy;
    startAnimation(a);
}

void ChapterController::setNodePosition(int32_t instance, int32_t node, const Vec2& point) {
    Animation a = aimed(contexts, Animation::NodePosition, instance, node, 0);
    a.to[0] = point.x;
    a.to[1] = point.y;
    startAnimation(a);
}

void ChapterController::setPathFill(int32_t instance, int32_t path, const PaletteColour& colour) {
    Animation a = aimed(contexts, Animation::PathColour, instance, path, 0);
    putChannels(palette[colour], a.to);
    startAnimation(a);
}

void ChapterController::setParagraphColour(int32_t instance, int32_t node, int32_t line, const PaletteColour& colour) {
    Animation a = aimed(contexts, Animation::LineColour, instance, node, line);
    putChannels(palette[colour], a.to);
    // A direct colour carries its own alpha; a palette colour's opacity scales its entry.
    a.to[3] = colour.kind == PaletteColour::Direct ? colour.rgba.a : colour.opacity;
    startAnimation(a);
}

void ChapterController::setAnimationFrame(int32_t instance, int32_t path, double frame) {
    Animation a = aimed(contexts, Animation::PathFrame, instance, path, 0);
    a.to[0] = frame;
    startAnimation(a);
}

void ChapterController::apiMovePoint(int32_t instance, int32_t pathIndex, int32_t command, int32_t point, double x,
                                     double y) {
    if (instance < 0 || uint64_t(instance) >= canvas().handleCount()) {
        fatalError("ChapterController::apiMovePoint: picture index out of range: " + std::to_string(instance));
    }
    if (point != 0) fatalError("can't animate control points yet");
    // A removed canvas has no paths left to check: the animation reports it as a target gone.
    const PictureInstance* target = instanceAt(instance);
    if (std::shared_ptr<Picture> picture = target ? target->picture : nullptr) {
        if (pathIndex < 0 || size_t(pathIndex) >= picture->paths.size()) {
            fatalError("ChapterController::apiMovePoint: path index too high " + std::to_string(pathIndex));
        }
        // The path is triangulated from its commands from now on; other paths keep the shared mesh.
        Path& path = picture->paths[size_t(pathIndex)];
        path.meshCache.reset();
        path.touchGeometry();
    }
    Animation a = aimed(contexts, Animation::PathEndPoint, instance, pathIndex, command);
    a.to[0] = x;
    a.to[1] = y;
    startAnimation(a);
}

void ChapterController::sleep(double seconds) {
    contexts.saveState();
    ContextFrame& frame = contexts.currentFrame();
    frame.animationEnabled = true;
    frame.setDuration(seconds);
    startAnimation(aimed(contexts, Animation::Timer, 0, 0, 0));
    contexts.restoreState();
}

} // namespace hv
