#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace hv {

class RendererBackend;
struct ParagraphRecord;

class TypesetterBackend {
public:
    // A font id, or -1 when the font cannot be opened.
    virtual int32_t loadFont(const std::string& name, double pointSize) = 0;
    // (descent, ascent + descent) in pixels.
    virtual std::pair<int32_t, double> lineMetrics(int32_t font) = 0;
    // Typesets `text` wrapped at `width` pixels into a new texture of `renderer`. Alignment:
    // 0 left, 1 right, 2 centred (every line), 3 justified (set like left). Returns why the text
    // makes no paragraph the engine can show (too long to typeset, or an image larger than a
    // texture), leaving the record as it was; empty when the record holds the new paragraph.
    virtual std::string generateTextBlock(ParagraphRecord& record, const std::string& text, int32_t alignment,
                                          int32_t font, RendererBackend& renderer, double width) = 0;
    virtual ~TypesetterBackend() = default;
};

} // namespace hv
