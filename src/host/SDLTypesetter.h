#pragma once

#include "core/PathProvider.h"
#include "core/TypesetterBackend.h"

#include <memory>
#include <string>
#include <vector>

typedef struct _TTF_Font TTF_Font;

namespace hv {

// Typesets with SDL2_ttf: fonts from the story's "fonts/" folder, one open font per name and
// size, each paragraph one white wrapped image turned into a texture.
class SDLTypesetter : public TypesetterBackend {
public:
    struct Record {
        TTF_Font* font;
        std::string name;
        double size;
    };

    SDLTypesetter() = default;
    SDLTypesetter(const SDLTypesetter&) = delete;
    SDLTypesetter& operator=(const SDLTypesetter&) = delete;
    ~SDLTypesetter() override;

    bool init(std::shared_ptr<PathProvider> paths);

    int32_t loadFont(const std::string& name, double pointSize) override;
    std::pair<int32_t, double> lineMetrics(int32_t font) override;
    std::string generateTextBlock(ParagraphRecord& record, const std::string& text, int32_t alignment, int32_t font,
                                  RendererBackend& renderer, double width) override;

    // SDL2_ttf wraps a text in time that grows with its length times its lines, and copies it
    // onto the stack: 64 KiB of prose already takes seconds, 9 MB overflows the stack.
    static constexpr size_t maxTextBytes = 32768;

    size_t fontCount() const { return fonts_.size(); }

private:
    // The font for `id`, or font 0 after a line naming `operation`; ends the process when no
    // font was ever opened.
    TTF_Font* fontOrFallback(int32_t id, const char* operation);

    std::vector<Record> fonts_;
    std::shared_ptr<PathProvider> paths_;
};

} // namespace hv
