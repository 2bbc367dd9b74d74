#include "render/gl/GLRendererBackend.h"

#include "core/Configuration.h"
#include "core/Failure.h"
#include "core/Fatal.h"
#include "core/PathProvider.h"
#include "render/PaperTexture.h"
#include "render/PictureBuffer.h"
#include "render/PictureVertex.h"
#include "render/gl/GLPictureBuffer.h"
#include "render/gl/ShaderLoader.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <sstream>

namespace hv {

namespace {

// The init failure last reported in this process: the host makes a new backend every frame
// until one starts, and the same failure is worth one report, not one a frame.
std::string lastReportedFailure;

// Doubles from callers become GL integers without undefined conversions: NaN gives 0 and
// values beyond the range stop at its ends.
GLint truncateToGLint(double value) {
    if (!(value == value)) return 0;
    if (value <= double(INT_MIN)) return INT_MIN;
    if (value >= double(INT_MAX)) return INT_MAX;
    return GLint(value);
}

void uploadTransform(GLint location, const Transform& t) {
    GLfloat m[9];
    for (unsigned column = 0; column < 3; ++column) {
        for (unsigned row = 0; row < 3; ++row) m[column * 3 + row] = GLfloat(t.element(row, column));
    }
    gl.UniformMatrix3fv(location, 1, GL_FALSE, m);
}

const void* indexOffset(uint64_t start) { return reinterpret_cast<const void*>(uintptr_t(start * sizeof(uint32_t))); }

// The unit square as two triangles, texture coordinates equal to the position.
const GLfloat unitQuad[24] = {0, 0, 0, 0, 1, 0, 1, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 1, 0, 1};

} // namespace

bool GLRendererBackend::init(const std::shared_ptr<PathProvider>& packin, const Configuration& configuration) {
    std::ostringstream collected;
    bool ok;
    {
        FailureLineCapture capture(collected);
        failureReason.clear();
        ok = initSteps(packin, configuration);
        if (!ok) releaseGLObjects();
    }
    if (ok) {
        lastReportedFailure.clear();
        std::cerr << collected.str() << std::flush;
    } else if (failureReason != lastReportedFailure) {
        lastReportedFailure = failureReason;
        std::cerr << collected.str() << std::flush;
    }
    return ok;
}

bool GLRendererBackend::fail(const std::string& line) {
    failureReason = line;
    return failure(line);
}

bool GLRendererBackend::initSteps(const std::shared_ptr<PathProvider>& packin, const Configuration& configuration) {
    // A null entry point would crash on first use; refuse instead.
    if (!glEntryPointsLoaded()) return fail("GLRendererBackend::init: the OpenGL entry points are not loaded");
    if (!packin) return fail("GLRendererBackend::init: no packin directory");

    viewWidth = double(configuration.windowWidth);
    viewHeight = double(configuration.windowHeight);

    depthTest = configuration.frontToBack;
    if (depthTest) {
        // Greater wins, so the depth buffer is cleared to 0.
        gl.Enable(GL_DEPTH_TEST);
        gl.DepthFunc(GL_GREATER);
    } else {
        gl.Disable(GL_DEPTH_TEST);
    }

    gl.Disable(GL_CULL_FACE);
    gl.Enable(GL_BLEND);
    gl.Enable(GL_SCISSOR_TEST);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.Disable(GL_STENCIL_TEST);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    GLint framebuffer = 0;
    gl.GetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    defaultFramebuffer = currentFramebuffer = GLuint(framebuffer);
    gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSide);

    const std::shared_ptr<PaperTexture>& paper = configuration.paperTexture;
    if (!paper) return fail("GLRendererBackend::init: no paper texture");
    if (paper->dimension == 0 || paper->dimension > uint64_t(INT_MAX) ||
        paper->texels.size() / paper->dimension != paper->dimension ||
        paper->texels.size() % paper->dimension != 0) {
        std::ostringstream line;
        line << "GLRendererBackend::init: a paper texture of dimension " << paper->dimension << " cannot hold "
             << paper->texels.size() << " texels";
        return fail(line.str());
    }
    // The scales are 1 / tile size.
    if (configuration.paperTileSize == 0) return fail("GLRendererBackend::init: paper tile size is 0");
    paperTexture = createPaperTexture(paper->dimension, paper->texels);
    if (paperTexture == 0) return fail("GLRendererBackend::init: unable to create the paper texture");
    gl.ActiveTexture(GL_TEXTURE1);
    gl.BindTexture(GL_TEXTURE_2D, paperTexture);
    gl.ActiveTexture(GL_TEXTURE0);

    checkGLError("pre-shaders");

    const PathProvider& provider = *packin;
    const AttributeList textureAttributes = {{0, "position"}, {1, "texcoord"}};
    const AttributeList polygonAttributes = {{0, "position"}, {2, "meshColour"}, {3, "zCoord"}};
    const AttributeList colourlessAttributes = {{0, "position"}, {3, "zCoord"}};

    std::optional<GLuint> program = loadShaderSource(provider, "recoloured-textured", textureAttributes, true, configuration);
    if (!program) return fail("Unable to compile recolouring texture shader program");
    recolouredTexturedProgram = *program;
    recolouredTexturedSampler = gl.GetUniformLocation(*program, "textureSampler");
    recolouredTexturedColour = gl.GetUniformLocation(*program, "textureColour");
    recolouredTexturedTransform = gl.GetUniformLocation(*program, "transform");
    recolouredTexturedZCoord = gl.GetUniformLocation(*program, "zCoord");
    recolouredTexturedPaper = setPaperUniforms(*program, configuration);
    gl.UseProgram(*program);
    gl.Uniform1i(recolouredTexturedSampler, 0);

    program = loadShaderSource(provider, "offscreen-texture", textureAttributes, true, configuration);
    if (!program) return fail("Unable to compile offscreen texture shader program");
    offscreenTextureProgram = *program;
    offscreenTextureSampler = gl.GetUniformLocation(*program, "textureSampler");
    offscreenTextureTransform = gl.GetUniformLocation(*program, "transform");
    offscreenTextureZCoord = gl.GetUniformLocation(*program, "zCoord");
    offscreenTexturePaper = setPaperUniforms(*program, configuration);
    gl.UseProgram(*program);
    gl.Uniform1i(offscreenTextureSampler, 0);
    checkGLError("recolouring_texture_shader");

    program = loadShaderSource(provider, "polygon", polygonAttributes, true, configuration);
    if (!program) return fail("Unable to compile poly shader program");
    polygonProgram = *program;
    polygonTransform = gl.GetUniformLocation(*program, "transform");
    polygonPaper = setPaperUniforms(*program, configuration);
    checkGLError("polygon shader");

    program = loadShaderSource(provider, "polygon", polygonAttributes, false, configuration);
    if (!program) return fail("Unable to compile non-texturing poly shader program");
    plainPolygonProgram = *program;
    plainPolygonTransform = gl.GetUniformLocation(*program, "transform");
    checkGLError("nontexturing polygon shader");

    program = loadShaderSource(provider, "recoloured-polygon", colourlessAttributes, true, configuration);
    if (!program) return fail("Unable to compile colourised poly shader program");
    recolouredPolygonProgram = *program;
    recolouredPolygonColour = gl.GetUniformLocation(*program, "polygonColour");
    recolouredPolygonTransform = gl.GetUniformLocation(*program, "transform");
    recolouredPolygonPaper = setPaperUniforms(*program, configuration);
    checkGLError("colourised polygon shader");

    gl.GenVertexArrays(1, &unitQuadVertexArray);
    gl.BindVertexArray(unitQuadVertexArray);
    gl.GenBuffers(1, &unitQuadBuffer);
    gl.BindBuffer(GL_ARRAY_BUFFER, unitQuadBuffer);
    gl.BufferData(GL_ARRAY_BUFFER, sizeof(unitQuad), unitQuad, GL_STATIC_DRAW);
    gl.EnableVertexAttribArray(0);
    gl.VertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(0));
    gl.EnableVertexAttribArray(1);
    gl.VertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(8));
    gl.BindVertexArray(0);
    gl.BindBuffer(GL_ARRAY_BUFFER, 0);

    checkGLError("GLRendererBackend::init() post");
    return true;
}

GLuint GLRendererBackend::createPaperTexture(uint64_t dimension, const std::vector<double>& texels) {
    std::vector<uint8_t> bytes(texels.size() * 4);
    for (size_t i = 0; i < texels.size(); ++i) {
        double value = texels[i];
        if (std::isnan(value)) {
            failureStream() << "GLRendererBackend::createPaperTexture: texel " << i << " is not a number" << std::endl;
            return 0;
        }
        // Out-of-range values would wrap around as bytes; they stop at black and white.
        uint8_t byte = uint8_t(int(std::clamp(value, 0.0, 1.0) * 255.0));
        std::fill_n(bytes.begin() + std::ptrdiff_t(i * 4), 4, byte);
    }
    GLuint texture = 0;
    gl.ActiveTexture(GL_TEXTURE1);
    gl.GenTextures(1, &texture);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, GLsizei(dimension), GLsizei(dimension), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                  bytes.data());
    gl.ActiveTexture(GL_TEXTURE0);
    return texture;
}

GLRendererBackend::PaperUniforms GLRendererBackend::setPaperUniforms(GLuint program, const Configuration& configuration) {
    PaperUniforms uniforms;
    uniforms.sampler = gl.GetUniformLocation(program, "paperSampler");
    uniforms.hScale = gl.GetUniformLocation(program, "hPaperScale");
    uniforms.vScale = gl.GetUniformLocation(program, "vPaperScale");
    uniforms.vScroll = gl.GetUniformLocation(program, "vPaperScroll");
    gl.UseProgram(program);
    gl.Uniform1i(uniforms.sampler, 1);
    GLfloat scale = GLfloat(1.0 / double(configuration.paperTileSize));
    gl.Uniform1f(uniforms.hScale, scale);
    gl.Uniform1f(uniforms.vScale, scale);
    return uniforms;
}

void GLRendererBackend::releaseGLObjects() {
    gl.UseProgram(0);
    for (GLuint* program : {&offscreenTextureProgram, &recolouredTexturedProgram, &recolouredPolygonProgram,
                            &polygonProgram, &plainPolygonProgram}) {
        if (*program) gl.DeleteProgram(*program);
        *program = 0;
    }
    if (unitQuadVertexArray) gl.DeleteVertexArrays(1, &unitQuadVertexArray);
    if (unitQuadBuffer) gl.DeleteBuffers(1, &unitQuadBuffer);
    if (paperTexture) gl.DeleteTextures(1, &paperTexture);
    unitQuadVertexArray = unitQuadBuffer = paperTexture = 0;
}

void GLRendererBackend::printStatistics(std::ostream& out) { statistics.print(out); }

void GLRendererBackend::drawUnitQuad(GLuint texture) {
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.BindVertexArray(unitQuadVertexArray);
    gl.DrawArrays(GL_TRIANGLES, 0, 6);
    gl.BindVertexArray(0);
    gl.BindTexture(GL_TEXTURE_2D, 0);
}

void GLRendererBackend::drawRecolouredTexture(const Colour& colour, uint64_t texture) {
    gl.Uniform4f(recolouredTexturedColour, GLfloat(colour.r), GLfloat(colour.g), GLfloat(colour.b), GLfloat(colour.a));
    drawUnitQuad(GLuint(texture));
    checkGLError("GLRendererBackend::drawRecolouredTexture()");
    RendererStatistics::add(statistics.drawRecolouredTextureCalls, 1);
    RendererStatistics::add(statistics.trianglesDrawn, 2);
}

void GLRendererBackend::drawTexture(uint64_t texture) {
    drawUnitQuad(GLuint(texture));
    checkGLError("GLRendererBackend::drawTexture()");
    RendererStatistics::add(statistics.drawTextureCalls, 1);
    RendererStatistics::add(statistics.trianglesDrawn, 2);
}

void GLRendererBackend::setDrawState(const DrawState& state) {
    GLfloat scroll = GLfloat(state.yb);
    // The renderer's depth levels are 256 keys apart, so the one key added stays within the
    // quad's own level: whatever lies in front of the quad keeps a greater depth.
    GLfloat depth = depthTest ? depthKeyToFloat(state.zIndex + 1) : 1.0f;
    switch (state.mode) {
    case DrawState::Polygon:
        if (offscreen()) {
            gl.UseProgram(plainPolygonProgram);
            uploadTransform(plainPolygonTransform, state.t);
        } else {
            gl.UseProgram(polygonProgram);
            uploadTransform(polygonTransform, state.t);
            gl.Uniform1f(polygonPaper.vScroll, scroll);
        }
        break;
    case DrawState::RecolouredPolygon:
        if (offscreen()) {
            failureStream() << "GLRendererBackend::setDrawState(): recoloured polygon is invalid offscreen" << std::endl;
        }
        gl.UseProgram(recolouredPolygonProgram);
        uploadTransform(recolouredPolygonTransform, state.t);
        gl.Uniform1f(recolouredPolygonPaper.vScroll, scroll);
        break;
    case DrawState::TexturedRect:
        if (offscreen()) exitWithLine("GLRendererBackend::setDrawState(): textured rect is invalid offscreen");
        gl.UseProgram(recolouredTexturedProgram);
        gl.Uniform1f(recolouredTexturedPaper.vScroll, scroll);
        gl.Uniform1f(recolouredTexturedZCoord, depth);
        uploadTransform(recolouredTexturedTransform, state.t);
        break;
    case DrawState::OffscreenRect:
        if (offscreen()) {
            failureStream() << "GLRendererBackend::setDrawState(): offscreen rect is invalid offscreen" << std::endl;
        }
        gl.UseProgram(offscreenTextureProgram);
        gl.Uniform1f(offscreenTexturePaper.vScroll, scroll);
        gl.Uniform1f(offscreenTextureZCoord, depth);
        uploadTransform(offscreenTextureTransform, state.t);
        break;
    default:
        return;
    }
    checkGLError("GLRendererBackend::setDrawState()");
    if (state.mode == DrawState::Polygon || state.mode == DrawState::RecolouredPolygon) {
        std::shared_ptr<PictureBufferTarget> target = state.buffer ? state.buffer->target() : nullptr;
        currentBuffer = std::dynamic_pointer_cast<GLPictureBuffer>(target);
        if (currentBuffer) reportedMissingBuffer = false;
    }
}

bool GLRendererBackend::drawableBuffer(const char* operation) {
    if (currentBuffer) return true;
    // A state without a GL store would make the draw read whatever arrays are bound.
    if (!reportedMissingBuffer) {
        failureStream() << "GLRendererBackend::" << operation << ": no picture buffer is current, draw skipped"
                        << std::endl;
        reportedMissingBuffer = true;
    }
    return false;
}

void GLRendererBackend::drawRange(uint64_t start, uint64_t count) {
    if (!drawableBuffer("drawRange()")) return;
    gl.BindVertexArray(currentBuffer->fullVertexArray);
    gl.DrawElements(GL_TRIANGLES, GLsizei(count), GL_UNSIGNED_INT, indexOffset(start));
    gl.BindVertexArray(0);
    checkGLError("GLRendererBackend::drawRange()");
    RendererStatistics::add(statistics.drawRangeCalls, 1);
    RendererStatistics::add(statistics.trianglesDrawn, count / 3);
}

void GLRendererBackend::drawRecolouredRange(const Colour& colour, uint64_t start, uint64_t count) {
    if (!drawableBuffer("drawRecolouredRange()")) return;
    gl.BindVertexArray(currentBuffer->colourlessVertexArray);
    gl.Uniform4f(recolouredPolygonColour, GLfloat(colour.r), GLfloat(colour.g), GLfloat(colour.b), GLfloat(colour.a));
    gl.DrawElements(GL_TRIANGLES, GLsizei(count), GL_UNSIGNED_INT, indexOffset(start));
    gl.BindVertexArray(0);
    checkGLError("GLRendererBackend::drawRecolouredRange()");
    RendererStatistics::add(statistics.drawRecolouredRangeCalls, 1);
    RendererStatistics::add(statistics.trianglesDrawn, count / 3);
}

std::shared_ptr<PictureBufferTarget> GLRendererBackend::createPictureBufferTarget() {
    auto buffer = std::make_shared<GLPictureBuffer>();
    buffer->statistics = &statistics;
    // Swept of freed buffers only when the list has doubled since the last sweep, so making a
    // buffer costs the same however many were made before.
    if (pictureBuffers.size() >= pictureBuffersSwept * 2) {
        std::erase_if(pictureBuffers, [](const std::weak_ptr<GLPictureBuffer>& made) { return made.expired(); });
        pictureBuffersSwept = std::max<size_t>(pictureBuffers.size(), 32);
    }
    pictureBuffers.push_back(buffer);
    checkGLError("GLRendererBackend::createPictureBufferTarget() pre");
    gl.GenVertexArrays(1, &buffer->fullVertexArray);
    gl.GenVertexArrays(1, &buffer->colourlessVertexArray);
    gl.GenBuffers(1, &buffer->vertexBuffer);
    gl.GenBuffers(1, &buffer->indexBuffer);
    checkGLError("GLRendererBackend::createPictureBufferTarget() generated objects");

    const GLsizei stride = sizeof(PictureVertex);
    const void* positionOffset = reinterpret_cast<const void*>(offsetof(PictureVertex, x));
    const void* colourOffset = reinterpret_cast<const void*>(offsetof(PictureVertex, r));
    const void* depthOffset = reinterpret_cast<const void*>(offsetof(PictureVertex, depth));

    gl.BindVertexArray(buffer->fullVertexArray);
    gl.EnableVertexAttribArray(0);
    gl.EnableVertexAttribArray(2);
    gl.EnableVertexAttribArray(3);
    gl.BindBuffer(GL_ARRAY_BUFFER, buffer->vertexBuffer);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer->indexBuffer);
    gl.VertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, positionOffset);
    gl.VertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, colourOffset);
    gl.VertexAttribPointer(3, 1, GL_FLOAT, GL_FALSE, stride, depthOffset);
    gl.BindVertexArray(0);

    gl.BindVertexArray(buffer->colourlessVertexArray);
    gl.EnableVertexAttribArray(0);
    gl.EnableVertexAttribArray(3);
    gl.BindBuffer(GL_ARRAY_BUFFER, buffer->vertexBuffer);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer->indexBuffer);
    gl.VertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, positionOffset);
    gl.VertexAttribPointer(3, 1, GL_FLOAT, GL_FALSE, stride, depthOffset);
    gl.BindVertexArray(0);
    gl.BindBuffer(GL_ARRAY_BUFFER, 0);
    checkGLError("GLRendererBackend::createPictureBufferTarget() post");
    return buffer;
}

void GLRendererBackend::clearFrame(double) {
    // The scissor box would limit the clear to the last clip; the whole window is cleared,
    // letterbox margins included.
    gl.Disable(GL_SCISSOR_TEST);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Enable(GL_SCISSOR_TEST);
}

void GLRendererBackend::endFrame() {
    gl.Flush();
    statistics.endFrame();
}

void GLRendererBackend::clearDepth() {
    gl.ClearDepth(0.0);
    gl.Clear(GL_DEPTH_BUFFER_BIT);
}

void GLRendererBackend::readPixels(uint64_t x, uint64_t y, uint64_t width, uint64_t height, uint8_t* destination) {
    gl.ReadPixels(GLint(x), GLint(y), GLsizei(width), GLsizei(height), GL_RGBA, GL_UNSIGNED_BYTE, destination);
}

uint32_t GLRendererBackend::newTexture(const uint8_t* pixels, double width, double height) {
    GLint w = truncateToGLint(width);
    GLint h = truncateToGLint(height);
    checkGLError("GLRendererBackend::newTexture() pre");
    GLuint texture = 0;
    gl.GenTextures(1, &texture);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    gl.BindTexture(GL_TEXTURE_2D, 0);
    checkGLError("GLRendererBackend::newTexture() post");
    RendererStatistics::add(statistics.textureUpdates, 1);
    textureSizes[texture] = {w, h};
    return texture;
}

void GLRendererBackend::deleteTexture(uint32_t texture) {
    gl.DeleteTextures(1, &texture);
    textureSizes.erase(texture);
}

void GLRendererBackend::setClipRect(const Rect& rect) {
    double x = std::floor((1 + rect.x) * 0.5 * viewWidth);
    double y = std::floor((1 + rect.y) * 0.5 * viewHeight);
    double w = std::floor(0.5 * rect.w * viewWidth) + 1;
    double h = std::floor(0.5 * rect.h * viewHeight) + 1;
    // An empty intersection arrives with a negative size; GL refuses such a scissor box and
    // would keep the previous one.
    if (!(w >= 0)) w = 0;
    if (!(h >= 0)) h = 0;
    clipRect = Rect(x, y, w, h);
    applyClipRect();
}

void GLRendererBackend::applyClipRect() {
    gl.Scissor(truncateToGLint(clipRect.x), truncateToGLint(clipRect.y), truncateToGLint(clipRect.w),
               truncateToGLint(clipRect.h));
    gl.Viewport(0, 0, truncateToGLint(viewWidth), truncateToGLint(viewHeight));
}

void GLRendererBackend::shutdown() {
    releaseGLObjects();
    for (const std::weak_ptr<GLPictureBuffer>& made : pictureBuffers) {
        if (std::shared_ptr<GLPictureBuffer> buffer = made.lock()) buffer->release();
    }
    pictureBuffers.clear();
    currentBuffer.reset();
}

void GLRendererBackend::startOffscreenRender(uint32_t texture) {
    // Offscreen rendering does not nest; a framebuffer it replaces is freed, not lost.
    if (offscreen()) {
        gl.BindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer);
        gl.DeleteFramebuffers(1, &currentFramebuffer);
    }
    GLuint framebuffer = 0;
    gl.GenFramebuffers(1, &framebuffer);
    currentFramebuffer = framebuffer;
    checkGLError("startOffscreenRender 1");
    gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    checkGLError("startOffscreenRender 2");
    auto size = textureSizes.find(texture);
    if (size == textureSizes.end()) {
        exitWithLine("GLRendererBackend::startOffscreenRender(): could not find texture index " + std::to_string(texture));
    }
    gl.Scissor(0, 0, size->second.first, size->second.second);
    gl.Viewport(0, 0, size->second.first, size->second.second);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    checkGLError("startOffscreenRender");
}

void GLRendererBackend::endOffscreenRender() {
    gl.BindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer);
    // Only a framebuffer made here is deleted; the window's own is never ours to free.
    if (offscreen()) gl.DeleteFramebuffers(1, &currentFramebuffer);
    currentFramebuffer = defaultFramebuffer;
    applyClipRect();
}

void GLRendererBackend::setMultisample(bool on) {
    if (on) gl.Enable(GL_MULTISAMPLE);
    else gl.Disable(GL_MULTISAMPLE);
}

} // namespace hv
