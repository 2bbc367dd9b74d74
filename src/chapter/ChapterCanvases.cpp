// Canvases, pictures, nodes, paths and paragraph lines of a chapter, and the page queries.
#include "chapter/ChapterController.h"

#include "core/Fatal.h"
#include "core/PlatformBackend.h"
#include "core/TypesetterBackend.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"
#include "svg/SvgManager.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace hv {

namespace {

std::string numberText(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

} // namespace

std::pair<int32_t, int32_t> ChapterController::createCanvas(int32_t selector, int64_t layerKey, double left,
                                                            double right, double aspect) {
    if (std::isnan(aspect)) fatalError("ChapterController::createCanvas(): picture aspect is nan - aborting");
    // A canvas of no size, or of an inverted or infinite one, would divide by zero when drawn.
    if (!(aspect > 0) || std::isinf(aspect)) {
        fatalError("ChapterController::createCanvas(): picture aspect must be positive and finite: " +
                   numberText(aspect));
    }
    double width = right - left;
    if (!(width > 0) || std::isinf(width)) {
        fatalError("ChapterController::createCanvas(): canvas width must be positive: " + numberText(width));
    }
    int32_t mode = 0;
    switch (selector) {
    case 1: mode = PictureInstance::InRow; break;
    case 2: mode = PictureInstance::Sticky; break;
    case 3: mode = PictureInstance::Fixed; break;
    case 4: mode = PictureInstance::RevealIndicator; break;
    case 6: mode = PictureInstance::BottomRight; break;
    default: fatalError("newPicture: unrecognised selector " + std::to_string(selector));
    }
    double height = width / aspect;
    double top = rows.lastBoundary();

    auto picture = std::make_shared<Picture>();
    picture->width = width;
    picture->height = height;
    picture->nodes.emplace_back();
    picture->rootNode = 0;
    uint64_t index = bookView->addPictureInstance(picture);
    PictureInstance& instance = *instanceAt(int64_t(index));
    instance.interactive = true;
    instance.rect = Rect(scriptToViewUnits(left), top, scriptToViewUnits(width), scriptToViewUnits(height));
    instance.layerKey = layerKey;
    instance.positionMode = mode;
    if (selector <= 3) instance.rows = Range(uint64_t(currentRowIndex()), 1);
    if (selector == 3) instance.rect.y = 0;
    if (selector == 1) raiseRowHeight(scriptToViewUnits(height));
    return {int32_t(index), 0};
}

void ChapterController::setCanvasSlideDistance(int32_t instance, int64_t count) {
    if (count < 0) fatalError("ChapterController::setCanvasSlideDistance: negative row count " + std::to_string(count));
    if (PictureInstance* target = canvasOnPage(instance, "setCanvasSlideDistance"))
        target->rows.count = uint64_t(count);
}

PictureInstance* ChapterController::canvasOnPage(int32_t instance, const char* operation) {
    PictureInstance* target = instanceAt(instance);
    if (target && target->picture) return target;
    logIgnoredError(std::string("ChapterController::") + operation + ": Inactive Picture (" + std::to_string(instance) +
                    ")");
    return nullptr;
}

void ChapterController::removeCanvas(int32_t instance) {
    // Removed already: its animations, drag and rects went with it then.
    if (!instanceAt(instance)) return;
    bookView->hidePictureInstance(uint64_t(instance));
    for (size_t i = animations.size(); i-- > 0;) {
        const Animation& animation = animations[i];
        bool onInstance = animation.instance == instance &&
                          ((animation.kind >= Animation::PathColour && animation.kind <= Animation::PathFrame) ||
                           animation.kind == Animation::ScrollTarget);
        if (onInstance) removeAnimation(i);
    }
    // A drag of one of its rects ends first, as a release would end it.
    if (dragging) {
        std::optional<uint64_t> dragged = findDraggedRect(dragGeneration);
        if (dragged && activeRects[*dragged].picture == instance) cancelDrag();
    }
    for (size_t i = activeRects.size(); i-- > 0;) {
        if (activeRects[i].picture == instance) activeRects[i].state = ActivePictureRect::Dead;
    }
}

void ChapterController::setCanvasLabel(int32_t instance, const std::string& label) {
    if (PictureInstance* target = canvasOnPage(instance, "setCanvasLabel")) target->label = label;
}

void ChapterController::setPictureInteractive(int32_t instance, bool interactive) {
    if (PictureInstance* target = canvasOnPage(instance, "setPictureInteractive")) target->interactive = interactive;
}

Vec2 ChapterController::svgSize(int32_t svgIndex) const {
    std::optional<Vec2> size = svgManager ? svgManager->fileSize(svgIndex) : std::nullopt;
    if (!size) fatalError("svgSize: could not find an svg");
    return *size;
}

namespace {

bool validIndex(int64_t index, size_t count) { return index >= 0 && uint64_t(index) < count; }

} // namespace

int32_t ChapterController::createChildNode(int32_t instance, int32_t parent) {
    PictureInstance* target = instanceAt(instance);
    std::shared_ptr<Picture> picture = target ? target->picture : nullptr;
    if (!picture) fatalError("Pic was null " + std::to_string(instance));
    if (!validIndex(parent, picture->nodes.size())) {
        fatalError("Could not find node id: " + std::to_string(parent) + " on picture " + std::to_string(instance));
    }
    picture->nodes.emplace_back();
    auto index = int32_t(picture->nodes.size() - 1);
    picture->nodes[size_t(parent)].children.push_back(uint64_t(index));
    picture->nodes[size_t(index)].parent = parent;
    return index;
}

void ChapterController::setNodeEnabled(int32_t instance, int32_t node, bool visible) {
    PictureInstance* target = canvasOnPage(instance, "setNodeEnabled");
    if (!target) return;
    Picture& picture = *target->picture;
    if (!validIndex(node, picture.nodes.size())) {
        fatalError("ChapterController::setNodeEnabled: could not find path with id " + std::to_string(node));
    }
    picture.nodes[size_t(node)].visible = visible;
}

void ChapterController::setNodeCentre(int32_t instance, int32_t node, const Vec2& pivot) {
    PictureInstance* target = canvasOnPage(instance, "setNodeCentre");
    if (!target) return;
    Picture& picture = *target->picture;
    if (!validIndex(node, picture.nodes.size())) {
        fatalError("ChapterController::setNodeCentre: could not find path with id " + std::to_string(node));
    }
    // The pivot is part of the node's transform, so what hangs below it moves.
    picture.assignWithNodeRevisionBump(uint64_t(node), picture.nodes[size_t(node)].pivot, pivot);
}

std::tuple<double, double, double, double> ChapterController::getNodeProps(int32_t instance, int32_t node) {
    Picture& picture = pictureOnPage(instance);
    if (!validIndex(node, picture.nodes.size())) {
        fatalError("ChapterController::getNodeProps: could not find path with id " + std::to_string(node));
    }
    double position[4];
    if (!getValue(Animation::NodePosition, instance, node, 0, position)) {
        fatalError("ChapterController::getNodeProps: validation error when getting value");
    }
    const Vec2& pivot = picture.nodes[size_t(node)].pivot;
    return {position[0], position[1], pivot.x, pivot.y};
}

void ChapterController::moveToNode(int32_t instance, int32_t node, int32_t newParent) {
    PictureInstance* target = canvasOnPage(instance, "moveToNode");
    if (!target) return;
    Picture& picture = *target->picture;
    if (!validIndex(node, picture.nodes.size()) || !validIndex(newParent, picture.nodes.size())) {
        fatalError("ChapterController::moveToNode: no node " + std::to_string(node) + " or " +
                   std::to_string(newParent) + " on picture " + std::to_string(instance));
    }
    // A node under itself or under one of its descendants would make the tree a loop.
    for (int64_t up = newParent, steps = 0; validIndex(up, picture.nodes.size()) &&
                                            steps <= int64_t(picture.nodes.size());
         up = picture.nodes[size_t(up)].parent, ++steps) {
        if (up == node) {
            fatalError("ChapterController::moveToNode: node " + std::to_string(node) + " cannot move under " +
                       std::to_string(newParent) + ", which it holds");
        }
    }
    for (Node& each : picture.nodes) {
        auto found = std::find(each.children.begin(), each.children.end(), uint64_t(node));
        if (found != each.children.end()) {
            each.children.erase(found);
            break;
        }
    }
    picture.nodes[size_t(newParent)].children.push_back(uint64_t(node));
    // The mappings that walk parent fields must see the new parent, and the subtree is drawn anew.
    picture.nodes[size_t(node)].parent = newParent;
    picture.bumpNodeRevision(uint64_t(node));
}

int32_t ChapterController::newPath(int32_t instance, int32_t node) {
    Picture& picture = pictureOnPage(instance);
    picture.paths.emplace_back();
    auto index = int32_t(picture.paths.size() - 1);
    picture.nodes[size_t(node)].paths.push_back(uint64_t(index));
    return index;
}

void ChapterController::newPathCommand(int32_t instance, int32_t pathIndex, const PathCommand& command) {
    Path& path = pictureOnPage(instance).paths[size_t(pathIndex)];
    path.commands.push_back(command);
    size_t last = path.commands.size() - 1;
    for (int i = 0; i < command.pointCount(); ++i) path.setPointFromWorld(last, size_t(i), command.points[i]);
    // A path drawn before this command must be triangulated again and its bounds recomputed; a
    // shape's prepared triangles lack the new command, so the path leaves them to its copies.
    path.meshCache.reset();
    path.touchGeometry();
}

std::pair<int32_t, double> ChapterController::createParagraph(const std::string& text, int32_t alignment, double width,
                                                              std::string* refusal) {
    int32_t font = contexts.currentFrame().typeface;
    auto [id, ratio] = bookView->addParagraph(text, alignment, font, scriptToViewUnits(width), refusal);
    // A paragraph that could not be typeset has no ratio; it takes no height.
    double height = ratio > 0 && std::isfinite(ratio) ? width / ratio : 0.0;
    if (!std::isfinite(height)) height = 0.0;
    // The height is in script units, the row in view units; rounding must not leave the row
    // lower than the height the script is given.
    double viewHeight = scriptToViewUnits(height);
    while (viewToScriptUnits(viewHeight) < height) viewHeight = std::nextafter(viewHeight, INFINITY);
    raiseRowHeight(viewHeight);
    return {int32_t(id), height};
}

int32_t ChapterController::showLine(int32_t instance, int32_t node, int32_t paragraphId, const Vec2& point) {
    Picture& picture = pictureOnPage(instance);
    if (!validIndex(node, picture.nodes.size())) fatalError("ChapterController::showLine: node out of range");
    std::vector<Paragraph>& lines = picture.nodes[size_t(node)].lines;
    lines.push_back(Paragraph{Colour(1, 1, 1, 1), paragraphId, point});
    return int32_t(lines.size() - 1);
}

void ChapterController::setTypeface(const std::string& name, double size) {
    std::shared_ptr<TypesetterBackend> typesetter = platform ? platform->typesetter() : nullptr;
    if (!typesetter) return;
    const std::string& font = name.empty() ? defaultFontName : name;
    contexts.currentFrame().typeface = typesetter->loadFont(font, size * textScale);
}

void ChapterController::setPalette(const std::vector<std::vector<std::string>>& rowTexts) {
    ColourPalette made;
    for (const std::vector<std::string>& row : rowTexts) {
        made.rows.emplace_back();
        for (const std::string& text : row) {
            auto [colour, ok] = colourFromHex(text);
            if (!ok) fatalError("Error parsing colour: '" + text + "'");
            made.rows.back().push_back(colour);
        }
    }
    palette = std::move(made);
}

void ChapterController::setBackgroundColour(const PaletteColour& colour) { bookView->setBackgroundColour(palette[colour]); }

double ChapterController::bookPositionOfScrollTarget(int32_t target, int32_t b, int64_t c) {
    if (target == -1) return contentHeight;
    if (target == -2) {
        if (!validIndex(b, rows.size())) {
            fatalError("ChapterController::bookPositionOfScrollTarget(): path id is outside of rows");
        }
        return rows.positionOfRow(double(b) + 0.01 * double(c));
    }
    if (target < 0) fatalError("ChapterController::bookPositionOfScrollTarget(): Invalid special picture id");
    const Picture& picture = pictureOnPage(target);
    const PictureInstance& instance = *instanceAt(target);
    const Path& path = picture.paths[size_t(b)];
    const PathCommand& command = path.commands[size_t(c)];
    Vec2 point = path.transformedPoint(size_t(c), size_t(command.pointCount() - 1));
    point = picture.nodeToWorld(point, picture.nodeIndexForPath(uint64_t(b)));
    return instance.rect.y + instance.rect.h - scriptToViewUnits(point.y);
}

double ChapterController::pictureBaseY(const PictureInstance& instance) const {
    switch (instance.positionMode) {
    case PictureInstance::InRow: {
        // A canvas whose first row was wound back sits at the end of the rows that are left.
        uint64_t first = std::min<uint64_t>(instance.rows.start, rows.size() - 1);
        return rows.position - rows.boundary(first);
    }
    case PictureInstance::Fixed: return 0.0;
    case PictureInstance::Sticky: return rows.position - instance.rect.y;
    case PictureInstance::RevealIndicator:
    case PictureInstance::BottomRight: return -instance.rect.y;
    default: fatalError("ChapterController::pictureBaseY: pwrap.postion value not handled");
    }
}

Vec2 ChapterController::canvasLocalPoint(const PictureInstance& instance, const Vec2& point) const {
    return Vec2(viewToScriptUnits(point.x - instance.rect.x),
                viewToScriptUnits(instance.rect.h - point.y - pictureBaseY(instance)));
}

void ChapterController::printCursorPosition(const Vec2& point) {
    std::ostringstream head;
    head << point.x / double(configuration.windowWidth) << ", " << point.y / double(configuration.windowHeight);
    std::cout << std::left << std::setw(25) << head.str() << "|";
    for (const auto& [handle, instance] : canvas().instances()) {
        if (instance.label.empty() || !instance.picture) continue;
        Vec2 local = canvasLocalPoint(instance, point);
        Vec2 normalised(local.x / viewToScriptUnits(instance.rect.w), local.y / viewToScriptUnits(instance.rect.h));
        if (Rect(0, 0, 1, 1).contains(normalised)) std::cout << "'" << instance.label << "'" << normalised << ", ";
    }
    std::cout << std::endl;
}

bool ChapterController::revealIndicatorIsShowing() const {
    return scrollEnabled && contentHeight - viewHeight() > rows.position;
}

void ChapterController::reportError(const std::string& message) {
    std::cerr << "err: " << message << std::endl;
    fatalError("lua sourced error, aborting");
}

void ChapterController::placeStickyCanvases() {
    const double height = viewHeight();
    for (auto& [handle, instance] : canvas().instances()) {
        if (instance.positionMode != PictureInstance::Sticky) continue;
        // Rows wound back after the canvas was placed: its span ends with the rows that exist.
        uint64_t start = std::min<uint64_t>(instance.rows.start, rows.size() - 1);
        uint64_t end = instance.rows.count > rows.size() ? rows.size() : start + instance.rows.count;
        double top = rows.boundary(start);
        double bottom = end < rows.size() - 1 ? rows.boundary(end) : contentHeight + scrollBelowMargin();
        bottom -= instance.rect.h;
        double centred = rows.position + (height - instance.rect.h) * 0.5;
        double y = std::max(top, std::min(std::max(bottom, instance.rect.y), centred));
        instance.rect.y = y;
        instance.slideOffset = y - centred;
    }
}

void ChapterController::windBackRows(int64_t count) {
    int64_t current = currentRowIndex();
    std::vector<int32_t> doomed;
    for (const auto& [handle, instance] : canvas().instances()) {
        if (instance.positionMode != PictureInstance::InRow) continue;
        int64_t first = int64_t(instance.rows.start);
        int64_t last = first + int64_t(instance.rows.count) - 1;
        if (last >= current - count && first <= current) doomed.push_back(int32_t(handle));
    }
    for (int32_t instance : doomed) removeCanvas(instance);
    rows.windBack(uint64_t(count));
}

} // namespace hv
