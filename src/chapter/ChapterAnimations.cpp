// Animation targets: starting, reading, applying and chaining a chapter's animations.
#include "chapter/ChapterController.h"

#include "core/SoundTable.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"

#include <algorithm>
#include <iostream>

namespace hv {

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
    std::vector<PictureInstance>& all = instances();
    if (instance < 0 || size_t(instance) >= all.size()) {
        logIgnoredError("ChapterController::getValue: Bad Picture");
        return false;
    }
    const PictureInstance& target = all[size_t(instance)];
    if (!target.active) {
        logIgnoredError("ChapterController::getValue: Inactive Picture (" + std::to_string(instance) + ")");
        return false;
    }
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
        const Colour& colour = picture.paths[size_t(element)].colour;
        out[0] = colour.r;
        out[1] = colour.g;
        out[2] = colour.b;
        out[3] = colour.a;
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
        const Colour& colour = lines[size_t(part)].colour;
        out[0] = colour.r;
        out[1] = colour.g;
        out[2] = colour.b;
        out[3] = colour.a;
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

void ChapterController::animationPass(double, double) {}

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

} // namespace hv
