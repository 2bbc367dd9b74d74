#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace hv {

class RendererBackend;
struct ParagraphRecord;

// Typesets paragraphs into white text textures of a renderer.
class TypesetterBackend {
public:
    // -1 when the font cannot be opened.
    virtual int32_t loadFont(const std::string& name, double pointSize) = 0;
    // Descent, and ascent plus descent, in pixels.
    virtual std::pair<int32_t, double> lineMetrics(int32_t fontId) = 0;
    virtual void generateTextBlock(ParagraphRecord& record, const std::string& text, int32_t alignment,
                                   int32_t fontId, const std::shared_ptr<RendererBackend>& renderer,
                                   double wrapWidth) = 0;
    virtual ~TypesetterBackend() = default;
};

} // namespace hv
