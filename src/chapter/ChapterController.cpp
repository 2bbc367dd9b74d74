// The chapter controller's lifecycle: set-up, reset at every chapter start, the dispatch of
// events, the per-tick update, drawing and the clean-up after a context ends.
#include "chapter/ChapterController.h"

#include "core/Failure.h"
#include "core/Fatal.h"
#include "core/Platform.h"
#include "core/PlatformBackend.h"
#include "core/ResourcePaths.h"
#include "core/SoundManager.h"
#include "core/SoundTable.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"

#include <tuple>

namespace hv {

bool ChapterController::init(std::shared_ptr<SvgManager> manager, std::shared_ptr<BookView> view,
                             const Configuration& config, std::shared_ptr<PlatformBackend> backend) {
    if (!view) return failure("ChapterController::init: no book view");
    svgManager = std::move(manager);
    bookView = std::move(view);
    configuration = config;
    platform = std::move(backend);
    dragging = false;
    pointerPhase = 0;
    dragGeneration = 1;
    friction = -0.9375 * viewHeight();
    reset();
    return true;
}

double ChapterController::viewWidth() const { return std::get<0>(bookView->viewMetrics()); }

double ChapterController::viewHeight() const { return std::get<2>(bookView->viewMetrics()); }

Canvas& ChapterController::canvas() const { return *bookView->canvas(); }

PictureInstance* ChapterController::instanceAt(int64_t instance) const { return canvas().find(instance); }

Picture& ChapterController::pictureOnPage(int32_t instance) const {
    PictureInstance* found = instanceAt(instance);
    if (!found || !found->picture)
        fatalError("ChapterController: no canvas " + std::to_string(instance) + " on the page");
    return *found->picture;
}

std::shared_ptr<SoundTable> ChapterController::soundTable() const {
    if (!platform) return nullptr;
    std::shared_ptr<SoundManager> manager = platform->soundManager();
    return manager ? manager->soundTable() : nullptr;
}

void ChapterController::reset() {
    dragCatchers.clear();
    activeRects.clear();
    animations.clear();
    rowWaiters.clear();
    keyWaiters.clear();
    contexts.reset();
    bookView->reset();
    pendingEvents.clear();
    if (platform) {
        if (std::shared_ptr<SoundManager> manager = platform->soundManager()) manager->stopAll();
        platform->setCursor(0);
    }
    setScrollBelowMargin(-1.0);
    cancelDrag();
    pageDragStartY.clear();
    scrollEnabled = true;
    double textFactor = configuration.contentWidth < configuration.contentHeight ? 0.04 : 0.015;
    rows.reset();
    defaultFontName.clear();
    textScale = textFactor * viewWidth();
    contentHeight = 0.0;
    scrollVelocity = 0.0;
    scrollMoved = 0.0;
    lastMouseEvent.point = Vec2(double(configuration.contentWidth) * 0.5, double(configuration.contentHeight) * 0.5);
    unitsPerViewWidth = 6;
    bookView->setBackgroundColour(fallbackColour());
    updateContentHeight();
}

void ChapterController::handleEvent(const Event& event) {
    const Vec2 point = event.pt();
    switch (event.kind) {
    case Event::Tick: tick(point.x); break;
    case Event::PointerDown:
        // One press at a time: a second button going down while one is held is not a new press
        // for the rects, but the script's pointer waiters still see it.
        if (pointerPhase == 0) {
            pressPoint = point;
            dragging = false;
            pointerPhase = 1;
            clickCandidate = true;
            pressDragged = false;
        }
        recordMouseEvent(event);
        break;
    case Event::PointerMove:
        if (pointerPhase == 1) {
            if (!dragging) {
                if (startRectDrag(pressPoint, dragGeneration)) {
                    dragging = true;
                    clickCandidate = false;
                } else if (dragCatchersAt(pressPoint).second) {
                    // The page drag never starts, so its start is not kept.
                    pageDragStartY.erase(dragGeneration);
                    pointerPhase = 2;
                    dragging = false;
                } else {
                    dragging = true;
                }
                pressDragged = dragging;
            }
            if (dragging) continueDrag(point, dragGeneration);
        }
        // A drag ended early (cancelled, its owner gone) leaves a press that may not click once
        // the pointer has gone too far, so the distance counts for the rest of the press too.
        if (pointerPhase != 0 && clickCandidate &&
            pressPoint.distanceTo(point) >= configuration.pointerMoveTolerance()) {
            clickCandidate = false;
        }
        updatePointerHover(point, pointerPhase != 1);
        recordMouseEvent(event);
        break;
    case Event::PointerUp: {
        // A release without a press (a second button, or one pressed before the chapter)
        // only moves the pointer.
        if (pointerPhase == 0) {
            recordMouseEvent(event);
            break;
        }
        // Ends the drag (endDrag) and moves on to the next generation.
        if (dragging) cancelDrag();
        // A press kept from dragging (a catcher, or a cancel before it moved) clicks however far
        // it went; one that dragged only while it stayed near its press point.
        bool click = !pressDragged || clickCandidate;
        if (click && !dragCatchersAt(pressPoint).first) clickAt(pressPoint);
        pointerPhase = 0;
        recordMouseEvent(event);
        break;
    }
    case Event::Wheel:
        wheelBy(point.y);
        updatePointerHover(lastMouseEvent.pt(), true);
        break;
    case Event::Screenshot: recordCanvas(-1, joinPath(hv::platform::temporaryDirectory(), "screenshot.gif"), true); break;
    case Event::Key: keyPressed(event.key); break;
    default: break;
    }
    updateCursor(lastMouseEvent.pt());
}

void ChapterController::recordMouseEvent(const Event& event) {
    lastMouseEvent = event;
    contexts.deliverMouseEvent();
}

void ChapterController::tick(double dt) {
    animationPass(dt, viewHeight());
    if (std::shared_ptr<SoundTable> table = soundTable()) {
        for (size_t i = 0; i < table->instances.size(); ++i) {
            SoundInstance& instance = table->instances[i];
            if (instance.state != SoundInstance::Finished) continue;
            instance.state = SoundInstance::Free;
            if (instance.context >= 0 && uint64_t(instance.context) < contexts.contextCount()) {
                contexts.releaseContext(uint64_t(instance.context));
            }
            releaseSoundInstance(i);
        }
    }
    inertiaStep(dt);
}

void ChapterController::draw() {
    placeStickyCanvases();
    bookView->draw(revealIndicatorIsShowing(), true);
}

void ChapterController::onContextTerminated(uint64_t c) {
    for (size_t i = activeRects.size(); i-- > 0;) {
        ActivePictureRect& rect = activeRects[i];
        if (rect.owner != int64_t(c) || rect.state == ActivePictureRect::Dead) continue;
        rect.state = ActivePictureRect::Idle;
        rect.owner = -1;
        if (dragging && rect.dragGeneration == dragGeneration) cancelDrag();
    }
    auto removeFrom = [c](auto& waiters) {
        for (auto& entry : waiters) std::erase(entry.second, c);
    };
    removeFrom(rowWaiters);
    removeFrom(keyWaiters);
    for (size_t i = animations.size(); i-- > 0;) {
        if (animations[i].context == int64_t(c)) animations.erase(animations.begin() + std::ptrdiff_t(i));
    }
    if (std::shared_ptr<SoundTable> table = soundTable()) {
        for (size_t i = 0; i < table->instances.size(); ++i) {
            SoundInstance& instance = table->instances[i];
            if (instance.context != int64_t(c)) continue;
            if (instance.state == SoundInstance::StartRequested || instance.state == SoundInstance::Finished) {
                instance.state = SoundInstance::Free;
                releaseSoundInstance(i);
            } else if (instance.state == SoundInstance::Playing) {
                instance.state = SoundInstance::StopRequested;
                releaseSoundInstance(i);
            }
        }
    }
}

bool ChapterController::recordCanvas(int32_t instance, const std::string& path, bool singleFrame) {
    if (!bookView->startRecording(path, instance)) return false;
    if (singleFrame) {
        draw();
        bookView->stopRecording();
    }
    return true;
}

void ChapterController::stopRecording() { bookView->stopRecording(); }

std::optional<Event> ChapterController::popPendingEvent() {
    if (pendingEvents.empty()) return std::nullopt;
    Event event = pendingEvents.front();
    pendingEvents.erase(pendingEvents.begin());
    return event;
}

void ChapterController::cancelDrag() {
    // However a drag stops (a release, the script, its owner ending, a removed canvas), it ends
    // as a release ends it: the rect goes back to Idle and a waiting owner is released, rather
    // than keeping a state that no later move or release names.
    if (dragging) endDrag(dragGeneration);
    dragging = false;
    ++dragGeneration;
    if (pointerPhase == 1) pointerPhase = 2;
}

} // namespace hv
