#pragma once

#include "core/Circle.h"
#include "core/Colour.h"
#include "core/Range.h"
#include "core/Transform.h"
#include "render/RendererBackend.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

class Path;
class PictureBuffer;
struct CoreRenderer;
struct Mesh;
struct Paragraph;
struct PictureInstance;

// The renderer's cache for one path, kept in the path's renderRecord from frame to frame.
class PathRecord {
public:
    std::shared_ptr<Mesh> mesh;
    int64_t region = -1; // in the picture buffer below; -1 while none is allocated
    Range indexRange;    // of the region's own indices
    Colour colour;       // last written into the vertices
    Transform transform; // the path's picture-space transform
    // What the vertex positions were computed with; never singular, so its inverse exists.
    Transform uploadTransform;
    Transform uploadInverse;
    int32_t depth = 0;
    int32_t geometryRevision = -1;
    int32_t colourRevision = -1;
    int32_t nodeRevision = -1;
    // The buffer the region belongs to. A path drawn into another buffer starts over there.
    std::weak_ptr<PictureBuffer> buffer;
    // Whether the mesh was prepared as a cached animation (positions raw, colour per draw).
    bool hasMeshFrames = false;
    // Whether the lines of a failed triangulation were written since the path last
    // triangulated cleanly: a path animated through a bad outline fails on every frame.
    bool triangulationReported = false;
};

// Draws one placed picture in one frame: a prepare pass brings every visible path's mesh,
// buffer region and vertices up to date, uploading only what changed, and a draw pass issues
// one draw state and one draw per path and one textured quad per paragraph line. In
// front-to-back mode opaque things are drawn front to back with depth testing and translucent
// things are deferred and drawn back to front at the end.
class PictureRenderer {
public:
    enum Pass : int32_t { Prepare = 0, Draw = 1 };

    using StackFrame = Transform;

    struct TransparencyOp {
        enum Kind : int32_t { Texture = 0, IndexRange = 1, RecolouredIndexRange = 2 };
        int32_t kind = Texture;
        Colour colour;
        Range range;
        RendererBackend::DrawState state;
        uint64_t textureId = 0;
    };

    PictureRenderer(PictureInstance* instance, CoreRenderer* core);

    void drawRootNode();
    bool drawNode(uint64_t nodeIndex, Pass pass);
    bool drawPath(Path& path, int32_t nodeRevision, Pass pass);
    bool drawParagraph(const Paragraph& line, Pass pass);
    std::shared_ptr<PathRecord> recordForPath(Path& path);
    void addTransparencyOp(const TransparencyOp& op);
    void executeTransparencyOp(const TransparencyOp& op);
    void executeTransparencyOps();

    // The curve tolerance for rebuilding a path's mesh at the current drawing scale; always
    // finite and positive.
    double curveTolerance(const Path& path) const;

    PictureInstance* instance;
    CoreRenderer* core;
    Circle cullCircle;
    std::vector<StackFrame> stack;
    Transform projection; // picture space to normalised device coordinates
    double pixelScale = 0.0;
    double yb = 0.0;
    std::vector<TransparencyOp> transparencyOps;
    bool transparencyMode = false; // front to back
    int32_t depth = 0;
    int32_t depthBase = 0;
    // The instance's index in the book view (the script's canvas number), to name it in lines.
    int64_t canvasIndex = -1;

private:
    void stepDepth();
    void prepare(Path& path, PathRecord& record, int32_t nodeRevision, bool frames);
    std::shared_ptr<Mesh> triangulate(const Path& path, PathRecord& record);
};

// The transform to bake vertices with: the given one, or the identity when it is singular,
// nearly so or not finite (its inverse would make the path vanish while it moves).
Transform bakeTransformFor(const Transform& t);

} // namespace hv
