// Everything that belongs to the chapter on screen: rows, canvases, animations, active rects,
// drag catchers, waiters, the script contexts, the scroll and pointer state.
#pragma once

#include "chapter/ActiveRect.h"
#include "chapter/Animation.h"
#include "chapter/ContextTable.h"
#include "chapter/RowOffsets.h"
#include "core/ColourPalette.h"
#include "core/Configuration.h"
#include "core/Event.h"
#include "core/PaletteColour.h"
#include "core/Vec2.h"
#include "picture/Path.h"
#include "picture/PathCommand.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace hv {

class BookView;
class Canvas;
class Picture;
class PlatformBackend;
class SvgManager;
struct PictureInstance;
struct SoundTable;

class ChapterController {
public:
    using KeyCode = uint64_t;

    // (offset, dragging, start) of a rect's drag.
    struct DragState {
        Vec2 offset;
        bool dragging = false;
        Vec2 start;
    };
    // (code, x, y) of the last pointer event, the point in script units.
    struct MouseEventInfo {
        int32_t code = 0;
        double x = 0.0;
        double y = 0.0;
    };

    ChapterController() = default;
    ChapterController(const ChapterController&) = delete;
    ChapterController& operator=(const ChapterController&) = delete;

    // Lifecycle and dispatch.
    bool init(std::shared_ptr<SvgManager> svgManager, std::shared_ptr<BookView> bookView,
              const Configuration& configuration, std::shared_ptr<PlatformBackend> platform);
    void reset();
    void handleEvent(const Event& event);
    void tick(double dt);
    void draw();
    void onContextTerminated(uint64_t context);
    // Records a canvas (or the whole view for -1) to a GIF; false, with a line, when the
    // recording cannot begin. A single frame is drawn and the recording ends at once.
    bool recordCanvas(int32_t instance, const std::string& path, bool singleFrame);
    void stopRecording();
    ContextTable& contextTable() { return contexts; }
    std::optional<Event> popPendingEvent();
    void cancelDrag();

    // Rows (view units inside, script units at the script's side).
    double scriptToViewUnits(double x) const;
    double viewToScriptUnits(double x) const;
    void newRow(int32_t mode);
    void setRowHeight(double height);
    void raiseRowHeight(double viewHeight);
    double rowHeight(int64_t rowsBack) const;
    int32_t currentRowIndex() const;
    double viewportHeight() const;
    double scrollBelowMargin() const;
    void setScrollBelowMargin(double fraction);
    void updateContentHeight();
    void extendCanvas(double length);
    void windBackRows(int64_t count);
    Range visibleRowRange() const;
    bool rowIsVisible(int64_t row) const;
    double getLineHeight();

    // Canvases, nodes, paths and lines.
    std::pair<int32_t, int32_t> createCanvas(int32_t selector, int64_t layerKey, double left, double right,
                                             double aspect);
    void setCanvasSlideDistance(int32_t instance, int64_t rows);
    void removeCanvas(int32_t instance);
    // The canvas if it is still on the page. A removed one gets the line an animation writes
    // for a target that is gone, and the operation named leaves it alone.
    PictureInstance* canvasOnPage(int32_t instance, const char* operation);
    void setCanvasLabel(int32_t instance, const std::string& label);
    void setPictureInteractive(int32_t instance, bool interactive);
    Vec2 svgSize(int32_t svgIndex) const;
    int32_t createChildNode(int32_t instance, int32_t parent);
    void setNodeEnabled(int32_t instance, int32_t node, bool visible);
    void setNodeCentre(int32_t instance, int32_t node, const Vec2& pivot);
    std::tuple<double, double, double, double> getNodeProps(int32_t instance, int32_t node);
    void moveToNode(int32_t instance, int32_t node, int32_t newParent);
    int32_t newPath(int32_t instance, int32_t node);
    void newPathCommand(int32_t instance, int32_t path, const PathCommand& command);
    Path buildShapePath(int32_t shapeId, double x, double y, double width, double height);
    int32_t insertSvgShape(int32_t instance, int32_t node, int32_t shapeId, double width, double height);
    void pathTransition(int32_t instance, int32_t path, int32_t shapeId, double x, double y, double width,
                        double height);
    // The paragraph id and its height in script units; id 0 when the text makes no paragraph,
    // with the typesetter's reason in `refusal` when it refused the text.
    std::pair<int32_t, double> createParagraph(const std::string& text, int32_t alignment, double width,
                                               std::string* refusal = nullptr);
    int32_t showLine(int32_t instance, int32_t node, int32_t paragraphId, const Vec2& point);
    void setTypeface(const std::string& name, double size);
    void setPalette(const std::vector<std::vector<std::string>>& rows);
    void setBackgroundColour(const PaletteColour& colour);
    double bookPositionOfScrollTarget(int32_t target, int32_t b, int64_t c);
    Vec2 canvasLocalPoint(const PictureInstance& instance, const Vec2& point) const;
    void printCursorPosition(const Vec2& point);
    bool revealIndicatorIsShowing() const;
    [[noreturn]] void reportError(const std::string& message);
    void placeStickyCanvases();

    // Animations and sounds.
    bool getValue(int32_t kind, int32_t instance, int32_t element, int32_t part, double out[4]);
    void applyAnimationState(Animation& animation);
    bool validateAnimation(Animation& animation);
    void startAnimation(Animation animation);
    void removeAnimation(size_t index);
    bool hasScrollAnimation() const;
    void scrollTo(double y);
    void logIgnoredError(const std::string& message);
    void setNodeRotation(int32_t instance, int32_t node, double angle);
    void setNodeScale(int32_t instance, int32_t node, double sx, double sy);
    void setNodePosition(int32_t instance, int32_t node, const Vec2& point);
    void setPathFill(int32_t instance, int32_t path, const PaletteColour& colour);
    void setParagraphColour(int32_t instance, int32_t node, int32_t line, const PaletteColour& colour);
    void setAnimationFrame(int32_t instance, int32_t path, double frame);
    void apiMovePoint(int32_t instance, int32_t path, int32_t command, int32_t point, double x, double y);
    void sleep(double seconds);
    void animationPass(double dt, double viewHeight);
    // Whether `mover` moves the point a finished scroll to a path point is centring.
    bool movesScrollTarget(const Animation& scroll, const Animation& mover);
    std::shared_ptr<SoundTable> soundTable() const;
    int32_t playSound(int32_t sound, bool loop);
    void setSoundVolume(int32_t soundInstance, double volume);
    // Removes the volume animations aimed at a slot that has just been freed.
    void releaseSoundInstance(size_t index);

    // Active rects and the pointer.
    int32_t createActiveRect(int32_t picture, int32_t node, const Rect& rect, bool handCursor);
    void waitForClick(int32_t rect);
    void waitForDrag(int32_t rect);
    bool activateRectHover(int32_t rect);
    bool activateRectNotHovered(int32_t rect, bool orMove);
    PointerMatch queryActiveRect(int32_t rect);
    DragState currentDragState(int64_t rect) const;
    void setActiveRectState(int64_t rect, uint32_t state);
    PointerMatch matchActiveRect(uint64_t rect, const Vec2& point, bool allowNear);
    const std::vector<ActiveRectMatch>& activeRectHitsAt(const Vec2& point, bool allowNear);
    std::optional<ActiveRectMatch> findPointerTarget(const Vec2& point, uint32_t wanted, bool allowNear);
    bool startRectDrag(const Vec2& pressPoint, uint64_t generation);
    void continueDrag(const Vec2& point, uint64_t generation);
    void endDrag(uint64_t generation);
    bool clickAt(const Vec2& pressPoint);
    void updatePointerHover(const Vec2& point, bool pointerUp);
    void updateCursor(const Vec2& point);
    void completeRect(uint64_t rect);
    std::optional<uint64_t> findDraggedRect(uint64_t generation) const;
    double pictureBaseY(const PictureInstance& instance) const;

    // Drag catchers, scrolling and waiters.
    int32_t createDragCatcher(int32_t picture, int32_t node, const Rect& rect);
    void setDragCatcherEnabled(int32_t catcher, bool catchDrags, bool catchClicks);
    void setScrollEnabled(bool enabled) { scrollEnabled = enabled; }
    void scrollToTarget(int32_t target, int32_t b, int64_t c);
    bool activateScrollRow(int32_t row);
    void waitKey(KeyCode code);
    // (catch clicks, catch drags) at the point.
    std::pair<bool, bool> dragCatchersAt(const Vec2& point);
    bool canScrollBy(double delta) const;
    void scrollBy(double delta);
    // A wheel turn: the page moves by the amount times the wheel factor at once, and coasts as
    // far again, whatever the frame step and the view's height.
    void wheelBy(double amount);
    static double wheelFactor(double scale);
    void keyPressed(KeyCode code);
    void releaseVisibleRowWaiters();
    void inertiaStep(double dt);

    // The synthetic pointer.
    void synthesizeMouseMove(const std::string& label, const Vec2& point, bool assertUnreachable);
    void synthesizeMouseButton(bool pressed);
    MouseEventInfo lastMouseEventInfo() const;
    void recordMouseEvent(const Event& event);

    // The controller's state, in the order the chapter runtime names it.
    double scrollScale = 0.0;
    std::map<uint64_t, double> pageDragStartY;
    std::shared_ptr<BookView> bookView;
    RowOffsets rows;
    double contentHeight = 0.0;
    std::vector<Animation> animations;
    ColourPalette palette;
    std::vector<ActivePictureRect> activeRects;
    uint64_t unitsPerViewWidth = 6;
    bool scrollEnabled = true;
    std::map<int32_t, std::vector<uint64_t>> rowWaiters;
    std::map<KeyCode, std::vector<uint64_t>> keyWaiters;
    ContextTable contexts;
    double textScale = 0.0;
    std::string defaultFontName;
    Configuration configuration;
    std::shared_ptr<SvgManager> svgManager;
    std::vector<DragCatcher> dragCatchers;
    bool dragging = false;
    bool clickCandidate = false;
    // The current press has dragged a rect or the page: its release clicks only while the
    // pointer stayed within the tolerance, even when the drag ended before the release.
    bool pressDragged = false;
    uint32_t pointerPhase = 0; // 0 up; 1 down and live; 2 down, no longer dragging
    double scrollVelocity = 0.0;
    double scrollMoved = 0.0;
    double friction = 0.0;
    double scrollBelowFraction = 0.0;
    Vec2 pressPoint;
    uint64_t dragGeneration = 0;
    Event lastMouseEvent;
    std::vector<Event> pendingEvents;
    std::shared_ptr<PlatformBackend> platform;

private:
    double viewWidth() const;
    double viewHeight() const;
    Canvas& canvas() const;
    // The canvas on the page, or null.
    PictureInstance* instanceAt(int64_t instance) const;
    // The picture of a canvas on the page; the callers' arguments were checked, so another
    // handle ends the run.
    Picture& pictureOnPage(int32_t instance) const;
    // Pointer matching in two halves: the canvas (where the point lies on it, if it does and
    // the canvas takes the pointer), then a rect given that canvas point.
    std::optional<Vec2> pointOnCanvas(int32_t picture, const Vec2& point) const;
    PointerMatch matchOnCanvas(const ActivePictureRect& rect, const Vec2& canvasPoint, bool allowNear) const;
    PointerMatch matchInNode(const ActivePictureRect& rect, const Vec2& canvasPoint, const Vec2& nodePoint,
                             bool allowNear) const;
    // The hover step's completion list, the hit list and the per-canvas points of one hit
    // list, kept for the whole run.
    std::vector<uint64_t> completions_;
    std::vector<ActiveRectMatch> hits_;
    std::unordered_map<int32_t, std::optional<Vec2>> canvasPoints_;
};

} // namespace hv
