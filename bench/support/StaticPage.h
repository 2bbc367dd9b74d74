#pragma once

#include "core/Configuration.h"

#include <memory>

namespace hv {

class BookView;
class Picture;

namespace bench {

constexpr int pageWidth = 1280;
constexpr int pageHeight = 800;

// A 1280 x 800 window and content at 60 frames a second.
Configuration pageConfiguration(bool frontToBack);

// 40 paths: a square and a curved blob on each of 20 nodes, nested two deep, some translucent;
// the seed tints them. With text, two nodes also hold a line of text each.
std::shared_ptr<Picture> makePagePicture(int seed, bool withText = false);

// 50 such pictures in a 10 x 5 grid over the page.
void addPagePictures(BookView& view, bool withText = false);

} // namespace bench
} // namespace hv
