#include "support/StaticPage.h"

#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"

namespace hv::bench {

Configuration pageConfiguration(bool frontToBack) {
    Configuration configuration;
    configuration.windowWidth = configuration.contentWidth = pageWidth;
    configuration.windowHeight = configuration.contentHeight = pageHeight;
    configuration.framerate = 60;
    configuration.frontToBack = frontToBack;
    return configuration;
}

std::shared_ptr<Picture> makePagePicture(int seed, bool withText) {
    auto picture = std::make_shared<Picture>();
    picture->width = 10;
    picture->height = 10;
    picture->nodes.emplace_back();
    for (int n = 0; n < 20; ++n) {
        uint64_t parent = n % 4 == 3 ? picture->nodes.size() - 1 : 0;
        picture->nodes.emplace_back();
        uint64_t node = picture->nodes.size() - 1;
        picture->nodes[node].parent = int32_t(parent);
        picture->nodes[node].rotation = 0.1 * n;
        picture->nodes[parent].children.push_back(node);
        double x = (n % 5) * 2.0, y = (n / 5) * 2.0;
        Path square;
        square.commands = {PathCommand::moveTo(x, y), PathCommand::lineTo(x + 1.5, y),
                           PathCommand::lineTo(x + 1.5, y + 1.5), PathCommand::lineTo(x, y + 1.5)};
        square.colour = Colour(0.1 * (n % 10), 0.5, 0.02 * seed, n % 7 == 0 ? 0.5 : 1.0);
        Path blob;
        blob.commands = {PathCommand::moveTo(x, y), PathCommand::cubicTo(x + 1, y - 0.5, x + 1.5, y + 0.5, x + 1, y + 1),
                         PathCommand::lineTo(x, y + 1)};
        blob.colour = Colour(0.5, 0.1 * (n % 10), 0.3, 1.0);
        picture->paths.push_back(square);
        picture->nodes[node].paths.push_back(picture->paths.size() - 1);
        picture->paths.push_back(blob);
        picture->nodes[node].paths.push_back(picture->paths.size() - 1);
    }
    if (withText) {
        picture->nodes[1].lines.push_back(Paragraph{Colour(0, 0, 0, 1), 1, Vec2(8, 1)});
        picture->nodes[5].lines.push_back(Paragraph{Colour(0.2, 0.1, 0, 1), 1, Vec2(6, 1)});
    }
    return picture;
}

void addPagePictures(BookView& view, bool withText) {
    for (int i = 0; i < 50; ++i) {
        uint64_t index = view.addPictureInstance(makePagePicture(i, withText));
        view.canvas()->find(int64_t(index))->rect = Rect((i % 10) * 128.0, (i / 10) * 160.0, 120, 120);
    }
}

} // namespace hv::bench
