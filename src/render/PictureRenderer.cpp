#include "render/PictureRenderer.h"

#include "picture/EarClipperTriangulator.h"

#include "core/Failure.h"
#include "core/Fatal.h"
#include "picture/Mesh.h"
#include "picture/Picture.h"
#include "render/CoreRenderer.h"
#include "render/PictureBuffer.h"
#include "render/PictureInstance.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

namespace hv {

namespace {

bool sameBuffer(const std::weak_ptr<PictureBuffer>& a, const std::shared_ptr<PictureBuffer>& b) {
    // By ownership, not address: a new buffer may reuse the address of a freed one.
    return !a.owner_before(b) && !b.owner_before(a);
}

// Below this ratio of smallest to largest stretch a baked transform cannot be undone
// precisely enough in single precision.
constexpr double nearSingularRatio = 1e-3;

} // namespace

Transform bakeTransformFor(const Transform& t) {
    if (t._isTrivial()) return t;
    for (double v : t.m) {
        if (!std::isfinite(v)) return Transform();
    }
    double largest = t.maximumScale();
    double det = std::fabs(t.m[0] * t.m[4] - t.m[1] * t.m[3]);
    double smallest = largest > 0.0 ? det / largest : 0.0;
    if (!(smallest >= nearSingularRatio * std::max(1.0, largest))) return Transform();
    return t;
}

PictureRenderer::PictureRenderer(PictureInstance* instance_, CoreRenderer* core_) : instance(instance_), core(core_) {
    stack.emplace_back();
}

void PictureRenderer::stepDepth() {
    // Level 0 is the cleared depth, which nothing passes.
    if (depth > 1) --depth;
}

void PictureRenderer::drawRootNode() {
    depth = depthBase;
    if (transparencyMode) core->backend->clearDepth();
    drawNode(uint64_t(int64_t(instance->picture->rootNode)), Prepare);
    depth = depthBase;
    drawNode(uint64_t(int64_t(instance->picture->rootNode)), Draw);
    if (transparencyMode) executeTransparencyOps();
}

bool PictureRenderer::drawNode(uint64_t nodeIndex, Pass pass) {
    Picture& picture = *instance->picture;
    // Child lists are set by scripts: skip unknown nodes, and stop at a depth that only a
    // cycle can reach.
    if (nodeIndex >= picture.nodes.size() || stack.size() > picture.nodes.size()) return true;
    const Node& node = picture.nodes[nodeIndex];
    if (!node.visible) return true;

    stack.push_back(Transform::multiply(stack.back(), node.localTransform()));
    auto path = [&](uint64_t pathIndex) {
        if (pathIndex < picture.paths.size()) drawPath(picture.paths[pathIndex], node.revision, pass);
    };
    if (!transparencyMode) {
        for (const Paragraph& line : node.lines) drawParagraph(line, pass);
        for (uint64_t pathIndex : node.paths) path(pathIndex);
        for (uint64_t child : node.children) drawNode(child, pass);
    } else {
        // The exact reverse of the normal order, so that the frontmost comes first.
        for (auto it = node.children.rbegin(); it != node.children.rend(); ++it) drawNode(*it, pass);
        for (auto it = node.paths.rbegin(); it != node.paths.rend(); ++it) path(*it);
        for (auto it = node.lines.rbegin(); it != node.lines.rend(); ++it) drawParagraph(*it, pass);
    }
    stack.pop_back();
    return true;
}

std::shared_ptr<PathRecord> PictureRenderer::recordForPath(Path& path) {
    // A new path, or a copy of a path drawn elsewhere (copies share the record): its region
    // belongs to another buffer, so the path starts over with a record of its own.
    if (!path.renderRecord || !sameBuffer(path.renderRecord->buffer, instance->buffer)) {
        path.renderRecord = std::make_shared<PathRecord>();
        path.renderRecord->buffer = instance->buffer;
    }
    return path.renderRecord;
}

double PictureRenderer::curveTolerance(const Path& path) const {
    // The drawing scale of the node tree, whatever its rotation; a collapsed scale (a node
    // growing from nothing) counts as natural size, so the mesh is not left coarse.
    double scale = stack.back().maximumScale();
    if (!(scale > 1e-9) || !std::isfinite(scale)) scale = 1.0;
    Vec2 ownSize = pathCommandsSize(path.commands);
    double tolerance = std::fabs(6.0 / (scale * pixelScale * path.transformedSize().x) * ownSize.x);

    // Any tolerance above the path's extent gives the fewest segments; one far below it only
    // multiplies vertices.
    double extent = std::max(std::fabs(ownSize.x), std::fabs(ownSize.y));
    double upper = extent > 0.0 && std::isfinite(extent) ? extent : 1.0;
    double lower = upper / 4096.0;
    if (std::isnan(tolerance)) return upper;
    return std::clamp(tolerance, lower, upper);
}

std::shared_ptr<Mesh> PictureRenderer::triangulate(const Path& path, PathRecord& record) {
    // A failed contour leaves the others drawn; the path is still worth showing.
    EarClipperTriangulator triangulator;
    triangulator.init();
    std::ostringstream said;
    {
        FailureLineCapture capture(said);
        triangulator.triangulate(path, std::fabs(curveTolerance(path)));
    }
    if (said.tellp() == 0) {
        record.triangulationReported = false;
    } else if (!record.triangulationReported) {
        // Once per failing spell, named, rather than on every frame of an animation.
        record.triangulationReported = true;
        const std::vector<Path>& paths = instance->picture->paths;
        bool listed = &path >= paths.data() && &path < paths.data() + paths.size();
        std::string where = "PictureRenderer::prepare: canvas " + std::to_string(canvasIndex) + ", path " +
                            (listed ? std::to_string(&path - paths.data()) : std::string("?"));
        std::istringstream lines(said.str());
        for (std::string line; std::getline(lines, line);) {
            writeFailureLine(where + ": " + line.substr(std::min(line.find_first_not_of(' '), line.size())));
        }
    }
    return triangulator.mesh();
}

void PictureRenderer::prepare(Path& path, PathRecord& record, int32_t nodeRevision, bool frames) {
    PictureBuffer& buffer = *instance->buffer;
    bool geometryChanged = record.geometryRevision != path.geometryRevision() || record.hasMeshFrames != frames;
    if (geometryChanged) {
        record.mesh = path.meshCache ? path.meshCache->mesh : nullptr;
        if (!record.mesh) record.mesh = triangulate(path, record);
        record.geometryRevision = path.geometryRevision();
        record.hasMeshFrames = frames;
        const Mesh& mesh = *record.mesh;
        uint64_t vertexCount = mesh.vertices.size() / 2;
        uint64_t indexCount = mesh.indices.size();
        if (record.region == -1) record.region = int64_t(buffer.addRegion(indexCount, vertexCount));
        buffer.resizeRegion(uint64_t(record.region), indexCount, vertexCount);
        buffer.importIndexData(mesh.indices.data(), uint64_t(record.region));
        if (frames) {
            // Cached animations are drawn from raw positions, whatever was baked before.
            record.uploadTransform = Transform();
            record.uploadInverse = Transform();
            PictureVertex* v = buffer.vertexData(uint64_t(record.region));
            for (uint64_t i = 0; i < vertexCount; ++i) {
                v[i].x = mesh.vertices[2 * i];
                v[i].y = mesh.vertices[2 * i + 1];
            }
        } else {
            record.indexRange = Range(0, indexCount);
        }
    }
    uint64_t region = uint64_t(record.region);

    bool transformChanged = false;
    if (record.nodeRevision != nodeRevision || geometryChanged) {
        record.transform = Transform::multiply(stack.back(), path.transform);
        record.nodeRevision = nodeRevision;
        transformChanged = true;
    }

    // While the transform changes from frame to frame the draw state compensates; the
    // vertices are baked once it has settled.
    if (!frames) {
        Transform bakeWith = bakeTransformFor(record.transform);
        if (geometryChanged || (!transformChanged && record.uploadTransform != bakeWith)) {
            record.uploadTransform = bakeWith;
            record.uploadInverse = bakeWith.inverse();
            const Mesh& mesh = *record.mesh;
            PictureVertex* v = buffer.vertexData(region);
            uint64_t n = buffer.regionVertexCount(region);
            for (uint64_t i = 0; i < n; ++i) {
                Vec2 p = bakeWith.apply(Vec2(mesh.vertices[2 * i], mesh.vertices[2 * i + 1]));
                v[i].x = float(p.x);
                v[i].y = float(p.y);
            }
        }
    }

    if (record.colourRevision != path.colourRevision() || geometryChanged) {
        record.colour = path.colour;
        if (!frames) {
            uint8_t r = path.colour.redByte(), g = path.colour.greenByte(), b = path.colour.blueByte();
            uint8_t a = path.colour.alphaByte();
            PictureVertex* v = buffer.vertexData(region);
            uint64_t n = buffer.regionVertexCount(region);
            for (uint64_t i = 0; i < n; ++i) {
                v[i].r = r;
                v[i].g = g;
                v[i].b = b;
                v[i].a = a;
            }
        }
        record.colourRevision = path.colourRevision();
    }

    if (record.depth != depth || geometryChanged) {
        record.depth = depth;
        float z = depthKeyToFloat(depthKeyForLevel(depth));
        PictureVertex* v = buffer.vertexData(region);
        uint64_t n = buffer.regionVertexCount(region);
        for (uint64_t i = 0; i < n; ++i) v[i].depth = z;
    }
}

bool PictureRenderer::drawPath(Path& path, int32_t nodeRevision, Pass pass) {
    Circle bounds = stack.back().applyToCircle(path.bounds().boundingCircle());
    if (!bounds.overlaps(cullCircle)) return true;

    PathRecord& record = *recordForPath(path);
    bool frames = path.hasMeshFrames();
    if (transparencyMode) stepDepth();

    if (pass == Prepare) {
        prepare(path, record, nodeRevision, frames);
        return true;
    }
    if (record.region < 0) return true; // never prepared: nothing in the buffer to draw

    PictureBuffer& buffer = *instance->buffer;
    buffer.sync();
    RendererBackend::DrawState state;
    state.mode = frames ? RendererBackend::DrawState::RecolouredPolygon : RendererBackend::DrawState::Polygon;
    state.buffer = instance->buffer;
    state.t = Transform::multiply(Transform::multiply(projection, record.transform), record.uploadInverse);
    state.yb = yb;
    bool translucent = path.colour.alphaByte() != 255;

    if (frames) {
        const std::vector<Range>& ranges = path.meshCache->frameRanges;
        double f = std::floor(path.meshTime / meshCacheFrameDuration);
        uint64_t last = ranges.size() - 1;
        uint64_t frame = 0; // also for a negative or NaN time
        if (f > 0.0) frame = f >= double(last) ? last : uint64_t(f);
        // A frame range never reaches past the region's indices.
        Range local = ranges[frame];
        uint64_t available = buffer.region(uint64_t(record.region)).indexCount;
        local.start = std::min(local.start, available);
        local.count = std::min(local.count, available - local.start);
        Range range = buffer.indexOffset(uint64_t(record.region), local);
        if (translucent) {
            TransparencyOp op;
            op.kind = TransparencyOp::RecolouredIndexRange;
            op.state = state;
            op.range = range;
            op.colour = record.colour;
            addTransparencyOp(op);
        } else {
            core->backend->setDrawState(state);
            core->backend->drawRecolouredRange(record.colour, range.start, range.count);
        }
    } else {
        Range range = buffer.indexOffset(uint64_t(record.region), record.indexRange);
        if (translucent) {
            TransparencyOp op;
            op.kind = TransparencyOp::IndexRange;
            op.state = state;
            op.range = range;
            addTransparencyOp(op);
        } else {
            core->backend->setDrawState(state);
            core->backend->drawRange(range.start, range.count);
        }
    }
    return true;
}

bool PictureRenderer::drawParagraph(const Paragraph& line, Pass pass) {
    if (transparencyMode) stepDepth();
    if (pass == Prepare) return true;

    if (line.paragraphId == 0) exitWithLine("Attempting to use null paragraph id");
    if (line.paragraphId < 0 || uint64_t(line.paragraphId) > core->paragraphs.size()) {
        exitWithLine("Paragraph id " + std::to_string(line.paragraphId) + " out of range.");
    }
    const ParagraphRecord& record = core->paragraphs[uint64_t(line.paragraphId) - 1];
    double w = line.position.x;
    double h = line.position.y;
    Rect text(w * record.offsetFraction, 0.0, w * record.widthFraction, h);

    TransparencyOp op;
    op.kind = TransparencyOp::Texture;
    op.colour = line.colour;
    op.state.mode = RendererBackend::DrawState::TexturedRect;
    op.state.t = Transform::multiply(Transform::multiply(projection, stack.back()),
                                     Transform::multiply(Transform::translation(Vec2(text.x, text.y)),
                                                         Transform::scale(text.w, text.h)));
    op.state.zIndex = depthKeyForLevel(depth);
    op.state.yb = yb;
    op.textureId = record.textureId;
    addTransparencyOp(op);
    return true;
}

void PictureRenderer::addTransparencyOp(const TransparencyOp& op) {
    if (transparencyMode) {
        transparencyOps.push_back(op);
    } else {
        executeTransparencyOp(op);
    }
}

void PictureRenderer::executeTransparencyOp(const TransparencyOp& op) {
    RendererBackend& backend = *core->backend;
    backend.setDrawState(op.state);
    switch (op.kind) {
    case TransparencyOp::Texture:
        backend.drawRecolouredTexture(op.colour, op.textureId);
        break;
    case TransparencyOp::IndexRange:
        backend.drawRange(op.range.start, op.range.count);
        break;
    case TransparencyOp::RecolouredIndexRange:
        backend.drawRecolouredRange(op.colour, op.range.start, op.range.count);
        break;
    default:
        break;
    }
}

void PictureRenderer::executeTransparencyOps() {
    for (auto it = transparencyOps.rbegin(); it != transparencyOps.rend(); ++it) executeTransparencyOp(*it);
}

} // namespace hv
