// A small page built by a book and drawn by the OpenGL backend, read back from GL.
#include "chapter/ChapterController.h"
#include "render/BookView.h"
#include "render/gl/GLTestSupport.h"
#include "support/BookHarness.h"

#include <gtest/gtest.h>

namespace hv::test {
namespace {

using PageGLTest = GLBackendTest;

TEST_F(PageGLTest, ShapeParagraphAndBackgroundReachTheFrame) {
    ASSERT_TRUE(start()) << capture->text();
    Configuration page = BookHarness::defaultConfiguration();
    page.windowWidth = page.contentWidth = W;
    page.windowHeight = page.contentHeight = H;
    BookHarness book(R"(hvkRegisterChapter('page', function()
        hvkSetPalette({{'204060', 'ff8000'}}) hvkSetBackgroundColour('1.1', 1)
        local file, canvas, root = hvkPrepareSvg('square.svg', {['336699'] = '1.2'}), hvkNewCanvas(0, 6, 4 / 3, 1, 0)
        hvkSvgInsertShape(hvkPrepareSvgShape(file, 'square'), canvas, root, 3, 1.5)
        local text = hvkCreateChildNode(canvas, root) hvkSetNodeCentre(canvas, text, -3.5, -3)
        hvkShowParagraph(canvas, text, hvkCreateParagraph('words', 2, 'left'), 2, 1)
        while true do nextEvent() end end))",
                     page);
    book.addStoryFile("square.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">
        <rect inkscape:label="square" x="0" y="0" width="10" height="10" fill="#336699"/></svg>)");
    book.platform->rendererBackend = backend;
    book.start();
    book.chapter().draw();
    std::vector<Pixel> pixels = frame();
    // GL rows count from the bottom: the shape covers the lower left, the text box the upper right.
    EXPECT_TRUE(pixelIs(at(pixels, 10, 5), 0xff, 0x80, 0x00));
    EXPECT_TRUE(pixelIs(at(pixels, 47, 37), 0xff, 0xff, 0xff));
    EXPECT_TRUE(pixelIs(at(pixels, 60, 20), 0x20, 0x40, 0x60));
    EXPECT_TRUE(pixelIs(at(pixels, 10, 30), 0x20, 0x40, 0x60));
    book.view->reset(); // the paragraph's texture goes while the backend lives
}

} // namespace
} // namespace hv::test
