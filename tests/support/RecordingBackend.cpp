#include "support/RecordingBackend.h"

#include "render/PictureBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <sstream>

namespace hv::test {

namespace {

const char* kindName(BackendCall::Kind kind) {
    static const char* names[] = {
        "printStatistics", "drawRecolouredTexture", "drawTexture", "setDrawState", "drawRange",
        "drawRecolouredRange", "createPictureBufferTarget", "clearFrame", "endFrame", "clearDepth",
        "readPixels", "newTexture", "deleteTexture", "setClipRect", "shutdown", "startOffscreenRender",
        "endOffscreenRender", "setMultisample", "uploadEntireBuffer", "uploadVertexData", "uploadIndexData",
    };
    return names[kind];
}

BackendCall call(BackendCall::Kind kind) {
    BackendCall c;
    c.kind = kind;
    return c;
}

} // namespace

std::string BackendCall::describe() const {
    std::ostringstream out;
    out << kindName(kind);
    switch (kind) {
    case SetDrawState:
        out << "(mode " << state.mode << ", buffer " << state.buffer.get() << ", t " << state.t << ", z "
            << state.zIndex << ", yb " << state.yb << ")";
        break;
    case DrawRange:
    case UploadVertexData:
    case UploadIndexData:
        out << "(" << start << ", " << count << ")";
        break;
    case DrawRecolouredRange:
        out << "(" << colour << ", " << start << ", " << count << ")";
        break;
    case DrawRecolouredTexture:
        out << "(" << colour << ", " << texture << ")";
        break;
    case SetClipRect:
        out << "(" << rect << ")";
        break;
    default:
        break;
    }
    return out.str();
}

void RecordingTarget::uploadEntireBuffer(const std::vector<PictureVertex>& v, const std::vector<uint32_t>& i) {
    vertices = v;
    indices = i;
    BackendCall c = call(BackendCall::UploadEntireBuffer);
    c.target = this;
    c.count = v.size();
    owner_->calls.push_back(c);
    RendererStatistics::add(owner_->statistics.bufferUpdates, 2);
}

void RecordingTarget::uploadVertexData(uint64_t first, uint64_t count, const PictureVertex* data) {
    if (first + count > vertices.size()) {
        ++outOfBoundsUploads;
    } else if (count > 0) {
        std::memcpy(vertices.data() + first, data, count * sizeof(PictureVertex));
    }
    BackendCall c = call(BackendCall::UploadVertexData);
    c.target = this;
    c.start = first;
    c.count = count;
    owner_->calls.push_back(c);
    RendererStatistics::add(owner_->statistics.bufferUpdates, 1);
}

void RecordingTarget::uploadIndexData(uint64_t first, uint64_t count, const uint32_t* data) {
    if (first + count > indices.size()) {
        ++outOfBoundsUploads;
    } else if (count > 0) {
        std::memcpy(indices.data() + first, data, count * sizeof(uint32_t));
    }
    BackendCall c = call(BackendCall::UploadIndexData);
    c.target = this;
    c.start = first;
    c.count = count;
    owner_->calls.push_back(c);
    RendererStatistics::add(owner_->statistics.bufferUpdates, 1);
}

void SoftwareFrame::resize(int w, int h, bool depthTesting) {
    width = w;
    height = h;
    depthTest = depthTesting;
    colour.assign(size_t(w) * size_t(h) * 3, 0.0);
    depth.assign(size_t(w) * size_t(h), 0);
    clipX0 = clipY0 = 0;
    clipX1 = w;
    clipY1 = h;
}

void SoftwareFrame::setClip(const Rect& ndc) {
    // Pixels whose centres lie in the rect.
    auto first = [](double edge, int size) { return int(std::ceil((edge + 1.0) * 0.5 * size - 0.5)); };
    clipX0 = std::clamp(first(ndc.x, width), 0, width);
    clipX1 = std::clamp(first(ndc.x + ndc.w, width), 0, width);
    clipY0 = std::clamp(first(ndc.y, height), 0, height);
    clipY1 = std::clamp(first(ndc.y + ndc.h, height), 0, height);
}

void SoftwareFrame::clearColour() { std::fill(colour.begin(), colour.end(), 0.0); }

void SoftwareFrame::clearDepth() {
    for (int y = clipY0; y < clipY1; ++y) {
        for (int x = clipX0; x < clipX1; ++x) depth[size_t(y) * size_t(width) + size_t(x)] = 0;
    }
}

void SoftwareFrame::fillTriangle(const Vec2& a0, const Vec2& b0, const Vec2& c0, double z, const double rgba[4]) {
    if (width == 0) return;
    auto toPixels = [&](const Vec2& p) { return Vec2((p.x + 1.0) * 0.5 * width, (p.y + 1.0) * 0.5 * height); };
    Vec2 a = toPixels(a0), b = toPixels(b0), c = toPixels(c0);
    auto cross = [](const Vec2& u, const Vec2& v) { return u.x * v.y - u.y * v.x; };
    double area = cross(b - a, c - a);
    if (!(std::fabs(area) > 0.0)) return;
    if (area < 0.0) std::swap(b, c);

    // The same edge seen from its two triangles gives exactly opposite values, so a pixel on a
    // shared edge belongs to one of them only.
    auto edge = [&](const Vec2& p0, const Vec2& p1, const Vec2& s) {
        bool forward = p0.x < p1.x || (p0.x == p1.x && p0.y < p1.y);
        double e = forward ? cross(p1 - p0, s - p0) : -cross(p0 - p1, s - p1);
        if (e != 0.0) return e > 0.0;
        Vec2 d = p1 - p0;
        return d.y < 0.0 || (d.y == 0.0 && d.x > 0.0);
    };

    int x0 = std::max(clipX0, int(std::floor(std::min({a.x, b.x, c.x}))));
    int x1 = std::min(clipX1, int(std::ceil(std::max({a.x, b.x, c.x}))) + 1);
    int y0 = std::max(clipY0, int(std::floor(std::min({a.y, b.y, c.y}))));
    int y1 = std::min(clipY1, int(std::ceil(std::max({a.y, b.y, c.y}))) + 1);
    uint32_t d = uint32_t(std::llround(std::clamp(z, 0.0, 1.0) * 16777215.0));
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            Vec2 s(x + 0.5, y + 0.5);
            if (!edge(a, b, s) || !edge(b, c, s) || !edge(c, a, s)) continue;
            size_t n = size_t(y) * size_t(width) + size_t(x);
            if (depthTest) {
                if (!(d > depth[n])) continue;
                depth[n] = d;
            }
            for (int k = 0; k < 3; ++k) colour[n * 3 + size_t(k)] = rgba[k] * rgba[3] + colour[n * 3 + size_t(k)] * (1.0 - rgba[3]);
        }
    }
}

uint8_t SoftwareFrame::byteAt(int x, int y, int channel) const {
    double v = colour[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(channel)];
    return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

void RecordingBackend::printStatistics(std::ostream& out) {
    calls.push_back(call(BackendCall::PrintStatistics));
    statistics.print(out);
}

void RecordingBackend::drawRecolouredTexture(const Colour& colour, uint64_t texture) {
    BackendCall c = call(BackendCall::DrawRecolouredTexture);
    c.colour = colour;
    c.texture = texture;
    calls.push_back(c);
    RendererStatistics::add(statistics.drawRecolouredTextureCalls, 1);
    RendererStatistics::add(statistics.trianglesDrawn, 2);
    rasteriseQuad(colour, texture);
}

void RecordingBackend::drawTexture(uint64_t texture) {
    BackendCall c = call(BackendCall::DrawTexture);
    c.texture = texture;
    calls.push_back(c);
    RendererStatistics::add(statistics.drawTextureCalls, 1);
    RendererStatistics::add(statistics.trianglesDrawn, 2);
    rasteriseQuad(Colour(), texture);
}

void RecordingBackend::setDrawState(const DrawState& state) {
    BackendCall c = call(BackendCall::SetDrawState);
    c.state = state;
    calls.push_back(c);
    current = state;
    hasState = true;
}

void RecordingBackend::drawRange(uint64_t start, uint64_t count) {
    BackendCall c = call(BackendCall::DrawRange);
    c.start = start;
    c.count = count;
    calls.push_back(c);
    RendererStatistics::add(statistics.drawRangeCalls, 1);
    RendererStatistics::add(statistics.trianglesDrawn, count / 3);
    rasteriseRange(start, count, nullptr);
}

void RecordingBackend::drawRecolouredRange(const Colour& colour, uint64_t start, uint64_t count) {
    BackendCall c = call(BackendCall::DrawRecolouredRange);
    c.colour = colour;
    c.start = start;
    c.count = count;
    calls.push_back(c);
    RendererStatistics::add(statistics.drawRecolouredRangeCalls, 1);
    RendererStatistics::add(statistics.trianglesDrawn, count / 3);
    rasteriseRange(start, count, &colour);
}

std::shared_ptr<PictureBufferTarget> RecordingBackend::createPictureBufferTarget() {
    calls.push_back(call(BackendCall::CreatePictureBufferTarget));
    return std::make_shared<RecordingTarget>(this);
}

void RecordingBackend::clearFrame(double scrollOffset) {
    BackendCall c = call(BackendCall::ClearFrame);
    c.scroll = scrollOffset;
    calls.push_back(c);
    frame.clearColour();
}

void RecordingBackend::endFrame() {
    calls.push_back(call(BackendCall::EndFrame));
    statistics.endFrame();
}

void RecordingBackend::clearDepth() {
    calls.push_back(call(BackendCall::ClearDepth));
    frame.clearDepth();
}

void RecordingBackend::readPixels(uint64_t x, uint64_t y, uint64_t width, uint64_t height, uint8_t* destination) {
    BackendCall c = call(BackendCall::ReadPixels);
    c.start = x;
    c.y = y;
    c.count = width;
    c.height = height;
    calls.push_back(c);
    // From the software frame when there is one; otherwise each pixel names its place:
    // x and y in the low bytes, their high bits in the third.
    for (uint64_t row = 0; row < height; ++row) {
        for (uint64_t col = 0; col < width; ++col) {
            uint8_t* p = destination + (row * width + col) * 4;
            uint64_t px = x + col, py = y + row;
            if (frame.width > 0 && px < uint64_t(frame.width) && py < uint64_t(frame.height)) {
                for (int k = 0; k < 3; ++k) p[k] = frame.byteAt(int(px), int(py), k);
            } else {
                p[0] = uint8_t(px);
                p[1] = uint8_t(py);
                p[2] = uint8_t((px >> 8) | ((py >> 8) << 4));
            }
            p[3] = 255;
        }
    }
}

uint32_t RecordingBackend::newTexture(const uint8_t* pixels, double width, double height) {
    uint32_t id = nextTexture++;
    Texture& t = textures[id];
    t.width = uint64_t(width);
    t.height = uint64_t(height);
    t.pixels.assign(pixels, pixels + t.width * t.height * 4);
    BackendCall c = call(BackendCall::NewTexture);
    c.texture = id;
    calls.push_back(c);
    RendererStatistics::add(statistics.textureUpdates, 1);
    return id;
}

void RecordingBackend::deleteTexture(uint32_t texture) {
    textures.erase(texture);
    BackendCall c = call(BackendCall::DeleteTexture);
    c.texture = texture;
    calls.push_back(c);
}

void RecordingBackend::setClipRect(const Rect& rect) {
    BackendCall c = call(BackendCall::SetClipRect);
    c.rect = rect;
    calls.push_back(c);
    if (frame.width > 0) frame.setClip(rect);
}

void RecordingBackend::shutdown() { calls.push_back(call(BackendCall::Shutdown)); }

void RecordingBackend::startOffscreenRender(uint32_t texture) {
    BackendCall c = call(BackendCall::StartOffscreenRender);
    c.texture = texture;
    calls.push_back(c);
}

void RecordingBackend::endOffscreenRender() { calls.push_back(call(BackendCall::EndOffscreenRender)); }

void RecordingBackend::setMultisample(bool on) {
    BackendCall c = call(BackendCall::SetMultisample);
    c.flag = on;
    calls.push_back(c);
}

uint64_t RecordingBackend::countOf(BackendCall::Kind kind) const {
    return uint64_t(std::count_if(calls.begin(), calls.end(), [&](const BackendCall& c) { return c.kind == kind; }));
}

uint64_t RecordingBackend::uploadCount() const {
    return countOf(BackendCall::UploadEntireBuffer) + countOf(BackendCall::UploadVertexData) +
           countOf(BackendCall::UploadIndexData);
}

std::vector<BackendCall> RecordingBackend::callsOf(BackendCall::Kind kind) const {
    std::vector<BackendCall> out;
    for (const BackendCall& c : calls) {
        if (c.kind == kind) out.push_back(c);
    }
    return out;
}

void RecordingBackend::rasteriseRange(uint64_t start, uint64_t count, const Colour* recolour) {
    int32_t wanted = recolour ? DrawState::RecolouredPolygon : DrawState::Polygon;
    if (!hasState || current.mode != wanted || !current.buffer) {
        ++drawsWithoutState;
        return;
    }
    auto* target = dynamic_cast<RecordingTarget*>(current.buffer->target().get());
    if (!target) {
        ++drawsWithoutState;
        return;
    }
    for (uint64_t i = start; i + 3 <= start + count; i += 3) {
        if (i + 2 >= target->indices.size()) {
            ++badIndexDraws;
            return;
        }
        const PictureVertex* v[3];
        for (int k = 0; k < 3; ++k) {
            uint32_t index = target->indices[i + uint64_t(k)];
            if (index >= target->vertices.size()) {
                ++badIndexDraws;
                return;
            }
            v[k] = &target->vertices[index];
        }
        if (frame.width == 0) continue;
        double rgba[4];
        if (recolour) {
            rgba[0] = recolour->r, rgba[1] = recolour->g, rgba[2] = recolour->b, rgba[3] = recolour->a;
        } else {
            rgba[0] = v[0]->r / 255.0, rgba[1] = v[0]->g / 255.0, rgba[2] = v[0]->b / 255.0, rgba[3] = v[0]->a / 255.0;
        }
        frame.fillTriangle(current.t.apply(Vec2(v[0]->x, v[0]->y)), current.t.apply(Vec2(v[1]->x, v[1]->y)),
                           current.t.apply(Vec2(v[2]->x, v[2]->y)), v[0]->depth, rgba);
    }
}

void RecordingBackend::rasteriseQuad(const Colour& tint, uint64_t texture) {
    if (!hasState || !current.usesZIndex()) {
        ++drawsWithoutState;
        return;
    }
    if (frame.width == 0) return;
    // The texture's first pixel stands for the whole texture.
    double rgba[4] = {tint.r, tint.g, tint.b, tint.a};
    auto it = textures.find(uint32_t(texture));
    if (it != textures.end() && it->second.pixels.size() >= 4) {
        for (int k = 0; k < 4; ++k) rgba[k] *= it->second.pixels[size_t(k)] / 255.0;
    }
    double z = frame.depthTest ? double(depthKeyToFloat(current.zIndex + 1)) : 1.0;
    const Transform& t = current.t;
    Vec2 p0 = t.apply(Vec2(0, 0)), p1 = t.apply(Vec2(1, 0)), p2 = t.apply(Vec2(1, 1)), p3 = t.apply(Vec2(0, 1));
    frame.fillTriangle(p0, p1, p2, z, rgba);
    frame.fillTriangle(p0, p2, p3, z, rgba);
}

} // namespace hv::test
