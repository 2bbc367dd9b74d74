// Active rects: matching the pointer against them, their hover, click and drag state machine,
// and the cursor.
#include "chapter/ChapterController.h"

#include "core/Fatal.h"
#include "core/PlatformBackend.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"

#include <algorithm>
#include <cmath>
#include <iostream>

namespace hv {

namespace {

const char* stateName(uint32_t state) {
    static const char* const names[] = {"Idle",           "WaitStartDrag",    "WaitContinueDrag",
                                        "DragActive",     "WaitingOnClick",   "WaitingPointerIn",
                                        "WaitPointerOut", "WaitPointerOutOrMove", "Dead"};
    return state < std::size(names) ? names[state] : "";
}

bool isFinite(const Vec2& point) { return std::isfinite(point.x) && std::isfinite(point.y); }

// The states in which a rect under the pointer stops the search for rects below it.
bool blocks(int32_t state) {
    return state >= int32_t(ActivePictureRect::WaitStartDrag) && state <= int32_t(ActivePictureRect::WaitingOnClick);
}

bool inDrag(uint32_t state) { return state == ActivePictureRect::WaitContinueDrag || state == ActivePictureRect::DragActive; }

bool waitsForLeaving(uint32_t state) {
    return state == ActivePictureRect::WaitPointerOut || state == ActivePictureRect::WaitPointerOutOrMove;
}

} // namespace

std::ostream& operator<<(std::ostream& out, const ActivePictureRect& rect) {
    return out << "ActivePictureRect(" << "pic = " << rect.picture << ", node = " << rect.node << ", rect = ("
               << rect.rect << "), " << stateName(rect.state) << ")";
}

int32_t ChapterController::createActiveRect(int32_t picture, int32_t node, const Rect& area, bool handCursor) {
    ActivePictureRect rect;
    rect.picture = picture;
    rect.node = node;
    rect.rect = area;
    rect.handCursor = handCursor;
    for (size_t i = 0; i < activeRects.size(); ++i) {
        if (activeRects[i].state == ActivePictureRect::Dead) {
            activeRects[i] = rect;
            return int32_t(i);
        }
    }
    activeRects.push_back(rect);
    return int32_t(activeRects.size() - 1);
}

namespace {

[[noreturn]] void noSuchRect(int64_t rect) { fatalError("Could not find active rect with id " + std::to_string(rect)); }

// The engine function that puts a rect into a waiting state.
const char* waitingFunction(uint32_t state) {
    switch (state) {
    case ActivePictureRect::WaitStartDrag:
    case ActivePictureRect::WaitContinueDrag: return "hvkActivateRectDrag";
    case ActivePictureRect::WaitingOnClick: return "hvkActivateRectClick";
    case ActivePictureRect::WaitingPointerIn: return "hvkActivateRectHover";
    default: return "hvkActivateRectNotHovered";
    }
}

// The states whose owner the rect holds until the wait ends (a drag in progress has released it).
bool holdsOwner(uint32_t state) {
    return state != ActivePictureRect::Idle && state != ActivePictureRect::DragActive &&
           state != ActivePictureRect::Dead;
}

} // namespace

void ChapterController::setActiveRectState(int64_t r, uint32_t state) {
    if (r < 0 || uint64_t(r) >= activeRects.size()) noSuchRect(r);
    ActivePictureRect& rect = activeRects[size_t(r)];
    // A rect has one waiting context: the one it held before is never released now, and without
    // a word it would simply never run again (one that has ended is not left held).
    if (holdsOwner(rect.state) && rect.owner >= 0 && uint64_t(rect.owner) < contexts.contextCount() &&
        contexts.isContextAlive(uint64_t(rect.owner))) {
        std::cerr << "warning: " << waitingFunction(state) << ": a new wait on active rect " << r
                  << " replaces the one of context " << rect.owner << ", which stays held" << std::endl;
    }
    uint64_t current = contexts.currentContextIndex();
    contexts.holdContext(current);
    rect.state = state;
    rect.owner = int64_t(current);
}

void ChapterController::waitForClick(int32_t r) { setActiveRectState(r, ActivePictureRect::WaitingOnClick); }

void ChapterController::waitForDrag(int32_t r) {
    if (r < 0 || uint64_t(r) >= activeRects.size()) noSuchRect(r);
    ActivePictureRect& rect = activeRects[size_t(r)];
    uint32_t next = 0;
    if (rect.state == ActivePictureRect::DragActive) {
        next = ActivePictureRect::WaitContinueDrag;
    } else if (rect.state == ActivePictureRect::Idle) {
        next = ActivePictureRect::WaitStartDrag;
    } else {
        fatalError("ChapterController::waitForDrag: bad state: " + std::to_string(rect.state));
    }
    setActiveRectState(r, next);
}

bool ChapterController::activateRectHover(int32_t r) {
    if (r < 0 || uint64_t(r) >= activeRects.size()) noSuchRect(r);
    if (matchActiveRect(uint64_t(r), lastMouseEvent.pt(), false).matched) return false;
    setActiveRectState(r, ActivePictureRect::WaitingPointerIn);
    return true;
}

bool ChapterController::activateRectNotHovered(int32_t r, bool orMove) {
    if (r < 0 || uint64_t(r) >= activeRects.size()) noSuchRect(r);
    if (!matchActiveRect(uint64_t(r), lastMouseEvent.pt(), false).matched) return false;
    setActiveRectState(r, orMove ? ActivePictureRect::WaitPointerOutOrMove : ActivePictureRect::WaitPointerOut);
    return true;
}

PointerMatch ChapterController::queryActiveRect(int32_t r) {
    if (r < 0 || uint64_t(r) >= activeRects.size()) noSuchRect(r);
    return matchActiveRect(uint64_t(r), lastMouseEvent.pt(), false);
}

ChapterController::DragState ChapterController::currentDragState(int64_t r) const {
    DragState result;
    if (r < 0 || uint64_t(r) >= activeRects.size()) {
        std::cerr << "ChapterController::currentDragState: no active rect with id " << r << std::endl;
        return result;
    }
    const ActivePictureRect& rect = activeRects[size_t(r)];
    result.offset = rect.dragOffset;
    result.start = rect.dragStart;
    result.dragging = rect.state != ActivePictureRect::Idle && rect.state != ActivePictureRect::WaitingOnClick &&
                      rect.state != ActivePictureRect::Dead;
    return result;
}

std::optional<Vec2> ChapterController::pointOnCanvas(int32_t picture, const Vec2& point) const {
    const PictureInstance* found = instanceAt(picture);
    if (!found) return std::nullopt;
    const PictureInstance& instance = *found;
    if (!instance.interactive || !instance.picture) return std::nullopt;
    if (instance.positionMode == PictureInstance::RevealIndicator && !revealIndicatorIsShowing()) return std::nullopt;
    Vec2 p = canvasLocalPoint(instance, point);
    if (!(p.x >= 0 && p.x <= viewToScriptUnits(instance.rect.w) && p.y >= 0 &&
          p.y <= viewToScriptUnits(instance.rect.h))) {
        return std::nullopt;
    }
    return p;
}

PointerMatch ChapterController::matchOnCanvas(const ActivePictureRect& rect, const Vec2& p, bool allowNear) const {
    const Picture& picture = pictureOnPage(rect.picture);
    if (!picture.isNodeVisible(uint64_t(rect.node))) return PointerMatch();
    return matchInNode(rect, p, picture.worldToNode(p, uint64_t(rect.node)), allowNear);
}

PointerMatch ChapterController::matchInNode(const ActivePictureRect& rect, const Vec2& p, const Vec2& q,
                                            bool allowNear) const {
    PointerMatch result;
    const PictureInstance& instance = *instanceAt(rect.picture);
    result.point = q;
    result.pictureKey = instance.layerKey;
    // A node scaled to nothing maps every point to NaN or infinity, which would otherwise pass
    // every edge test of the rect and match it everywhere.
    if (!isFinite(q)) return result;
    Vec2 nearest;
    if (rect.rect.clampPoint(q, nearest)) {
        result.matched = true;
        result.distance = 0.0;
        return result;
    }
    if (allowNear) {
        double d = p.distanceTo(instance.picture->nodeToWorld(nearest, uint64_t(rect.node)));
        double tolerance = double(unitsPerViewWidth) * configuration.activeRectTolerance() /
                           double(configuration.contentWidth);
        result.distance = d;
        result.matched = tolerance >= d;
    }
    return result;
}

PointerMatch ChapterController::matchActiveRect(uint64_t r, const Vec2& point, bool allowNear) {
    std::optional<Vec2> p = pointOnCanvas(activeRects[r].picture, point);
    return p ? matchOnCanvas(activeRects[r], *p, allowNear) : PointerMatch();
}

const std::vector<ActiveRectMatch>& ChapterController::activeRectHitsAt(const Vec2& point, bool allowNear) {
    hits_.clear();
    // Whether the point lies on each canvas, and where, found once for all its rects: kept for
    // the canvases with waiting rects only, so the work follows them, not every canvas made.
    canvasPoints_.clear();
    int32_t pointCanvas = -1;
    const std::optional<Vec2>* canvasPoint = nullptr;
    int32_t lastCanvas = -1;
    int32_t lastNode = -1;
    bool nodeVisible = false;
    Vec2 nodePoint;
    // Newest rects first; the sort below puts later instances before earlier ones, so the list
    // reads as a walk over the instances from the last, each with its newest rects first.
    for (size_t i = activeRects.size(); i-- > 0;) {
        const ActivePictureRect& rect = activeRects[i];
        if (rect.state == ActivePictureRect::Idle || rect.state == ActivePictureRect::Dead) continue;
        if (rect.owner >= 0 &&
            (uint64_t(rect.owner) >= contexts.contextCount() || !contexts.isGroupActive(uint64_t(rect.owner)))) {
            continue;
        }
        // Rects made together are neighbours: the canvas of the last one is looked up first.
        if (rect.picture != pointCanvas || !canvasPoint) {
            auto [entry, unseen] = canvasPoints_.try_emplace(rect.picture);
            if (unseen) entry->second = pointOnCanvas(rect.picture, point);
            pointCanvas = rect.picture;
            canvasPoint = &entry->second;
        }
        if (!*canvasPoint) continue;
        // Rects made together share their canvas and node: the node point is found once.
        if (rect.picture != lastCanvas || rect.node != lastNode) {
            const Picture& picture = pictureOnPage(rect.picture);
            lastCanvas = rect.picture;
            lastNode = rect.node;
            nodeVisible = picture.isNodeVisible(uint64_t(rect.node));
            if (nodeVisible) nodePoint = picture.worldToNode(**canvasPoint, uint64_t(rect.node));
        }
        if (!nodeVisible) continue;
        PointerMatch match = matchInNode(rect, **canvasPoint, nodePoint, allowNear);
        if (!match.matched) continue;
        if (rect.state > ActivePictureRect::Dead) std::cerr << "activeRect.state value not handled" << std::endl;
        ActiveRectMatch row;
        row.x = match.point.x;
        row.y = match.point.y;
        row.rect = int64_t(i);
        row.state = int32_t(rect.state);
        row.distance = match.distance;
        row.pictureKey = match.pictureKey;
        hits_.push_back(row);
    }
    std::stable_sort(hits_.begin(), hits_.end(), [this](const ActiveRectMatch& a, const ActiveRectMatch& b) {
        if (a.pictureKey != b.pictureKey) return a.pictureKey > b.pictureKey;
        return activeRects[size_t(a.rect)].picture > activeRects[size_t(b.rect)].picture;
    });
    return hits_;
}

std::optional<ActiveRectMatch> ChapterController::findPointerTarget(const Vec2& point, uint32_t wanted, bool allowNear) {
    std::vector<ActiveRectMatch>& hits = hits_;
    activeRectHitsAt(point, allowNear);
    // Exact hits decide first, topmost layer first; a rect waiting for something else shields
    // the rects below it.
    for (const ActiveRectMatch& row : hits) {
        if (row.distance > 0) continue;
        if (row.state == int32_t(wanted)) return row;
        if (blocks(row.state)) return std::nullopt;
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const ActiveRectMatch& a, const ActiveRectMatch& b) { return a.distance < b.distance; });
    for (const ActiveRectMatch& row : hits) {
        if (row.state == int32_t(wanted)) return row;
        if (blocks(row.state)) return std::nullopt;
    }
    return std::nullopt;
}

void ChapterController::completeRect(uint64_t r) {
    ActivePictureRect& rect = activeRects[r];
    int64_t owner = rect.owner;
    rect.state = ActivePictureRect::Idle;
    rect.owner = -1;
    if (owner >= 0 && uint64_t(owner) < contexts.contextCount()) contexts.releaseContext(uint64_t(owner));
}

bool ChapterController::clickAt(const Vec2& press) {
    std::optional<ActiveRectMatch> found = findPointerTarget(press, ActivePictureRect::WaitingOnClick, true);
    if (!found) return false;
    completeRect(uint64_t(found->rect));
    return true;
}

namespace {

void releaseOwner(ContextTable& contexts, const ActivePictureRect& rect) {
    if (rect.owner >= 0 && uint64_t(rect.owner) < contexts.contextCount()) contexts.releaseContext(uint64_t(rect.owner));
}

} // namespace

bool ChapterController::startRectDrag(const Vec2& press, uint64_t generation) {
    std::optional<ActiveRectMatch> found = findPointerTarget(press, ActivePictureRect::WaitStartDrag, true);
    if (!found) {
        pageDragStartY[generation] = press.y;
        return false;
    }
    ActivePictureRect& rect = activeRects[size_t(found->rect)];
    rect.state = ActivePictureRect::DragActive;
    rect.dragGeneration = generation;
    rect.dragStart = rect.dragCurrent = Vec2(found->x, found->y);
    rect.dragOffset = Vec2(0, 0);
    releaseOwner(contexts, rect);
    return true;
}

void ChapterController::continueDrag(const Vec2& point, uint64_t generation) {
    std::optional<uint64_t> r = findDraggedRect(generation);
    if (!r) {
        auto entry = pageDragStartY.find(generation);
        if (entry == pageDragStartY.end()) return;
        double delta = point.y - entry->second;
        entry->second = point.y;
        scrollBy(delta);
        return;
    }
    ActivePictureRect& rect = activeRects[*r];
    // Moves while the script has not asked for the next step are summed into that step.
    if (rect.state != ActivePictureRect::WaitContinueDrag) return;
    const PictureInstance* found = instanceAt(rect.picture);
    if (!found || !found->picture) return;
    const PictureInstance& instance = *found;
    Vec2 q = instance.picture->worldToNode(canvasLocalPoint(instance, point), uint64_t(rect.node));
    rect.dragOffset = q - rect.dragCurrent;
    rect.dragCurrent = q;
    rect.state = ActivePictureRect::DragActive;
    releaseOwner(contexts, rect);
}

void ChapterController::endDrag(uint64_t generation) {
    std::optional<uint64_t> r = findDraggedRect(generation);
    if (!r) {
        pageDragStartY.erase(generation);
        return;
    }
    ActivePictureRect& rect = activeRects[*r];
    // A rect re-armed for a click or a hover during the drag keeps that wait, and a rect of a
    // removed canvas stays dead.
    if (!inDrag(rect.state)) return;
    bool waiting = rect.state == ActivePictureRect::WaitContinueDrag;
    rect.state = ActivePictureRect::Idle;
    rect.dragOffset = Vec2(0, 0);
    if (waiting) releaseOwner(contexts, rect);
}

std::optional<uint64_t> ChapterController::findDraggedRect(uint64_t generation) const {
    if (generation == 0) return std::nullopt;
    for (size_t i = 0; i < activeRects.size(); ++i) {
        if (activeRects[i].dragGeneration != generation) continue;
        if (activeRects[i].state == ActivePictureRect::Dead) std::cerr << "matching a dead rect" << std::endl;
        return i;
    }
    return std::nullopt;
}

void ChapterController::updatePointerHover(const Vec2& point, bool pointerUp) {
    const std::vector<ActiveRectMatch>& hits = activeRectHitsAt(point, false);
    if (pointerUp) {
        for (const ActiveRectMatch& row : hits) {
            if (row.state == int32_t(ActivePictureRect::WaitingPointerIn)) completeRect(uint64_t(row.rect));
        }
    }
    auto stillOver = [&hits](size_t r) {
        return std::any_of(hits.begin(), hits.end(), [r](const ActiveRectMatch& row) {
            return row.rect == int64_t(r) && waitsForLeaving(uint32_t(row.state));
        });
    };
    completions_.clear();
    for (size_t i = 0; i < activeRects.size(); ++i) {
        if (!waitsForLeaving(activeRects[i].state) || stillOver(i)) continue;
        activeRects[i].state = ActivePictureRect::Idle;
        completions_.push_back(i);
    }
    for (size_t i = 0; i < activeRects.size(); ++i) {
        if (activeRects[i].state == ActivePictureRect::WaitPointerOutOrMove) completions_.push_back(i);
    }
    for (uint64_t r : completions_) completeRect(r);
}

void ChapterController::updateCursor(const Vec2& point) {
    if (!platform) return;
    if (dragging) {
        platform->setCursor(1);
        return;
    }
    for (const ActiveRectMatch& row : activeRectHitsAt(point, false)) {
        if (blocks(row.state) && activeRects[size_t(row.rect)].handCursor) {
            platform->setCursor(1);
            return;
        }
    }
    platform->setCursor(0);
}

} // namespace hv
