// Pages built by short books: canvases in rows, nodes, paths, SVG shapes, paragraphs, palette.
#include "chapter/ChapterController.h"
#include "core/ColourPalette.h"
#include "picture/Mesh.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/PictureInstance.h"
#include "render/PictureRenderer.h"
#include "support/BookHarness.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

namespace hv {
namespace {

using test::BookHarness;

// Three shapes: a 20 x 40 rectangle at (10, 20) in picture space (the drawing is 100 high, y
// down), a flat line and an unnamed triangle.
const char* shapesSvg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="100" height="100">
<rect inkscape:label="block" x="10" y="40" width="20" height="40" fill="#336699"/>
<path inkscape:label="flat" d="M0 50 L40 50" fill="#ff0000"/>
<path d="M0 0 L10 0 L5 8 Z" fill="#00ff00"/>
</svg>)";

std::string chapterOf(const std::string& body) {
    return "hvkRegisterChapter('page', function()\n" + body + "\nwhile true do nextEvent() end\nend)";
}

// The page's chapter runs `body` once; the test then looks at what the book view holds.
class PageTest : public testing::Test {
protected:
    void build(const std::string& body) {
        book = std::make_unique<BookHarness>(chapterOf(body));
        book->addStoryFile("shapes.svg", shapesSvg);
        book->start();
    }
    PictureInstance& instance(size_t i) { return *book->view->canvas()->find(int64_t(i)); }

    std::unique_ptr<BookHarness> book;
};

TEST_F(PageTest, CanvasesTakeTheirPlacesInRowsAndRecordingsThatCannotBeginSaySo) {
    testing::internal::CaptureStderr();
    build(R"(a, aRoot, aRow = hvkNewCanvas(0, 3, 2, 1, 5)    -- 3 wide, 1.5 high, in row 0
        hvkNewCanvas(3, 6, 1, 1, 0) hvkNewRow(false)       -- 3 high: the row becomes 3 high
        c, _, cRow = hvkNewCanvas(1, 2, 1, 3, 0)           -- fixed at the viewport's top
        hvkNewCanvas(0, 1, 1, 6, 0) hvkRecordCanvas(-1, '/no/such/folder/view.gif', true)
        report = table.concat({aRoot, aRow, cRow, hvkRowHeight(1), hvkRowHeight(0), hvkRowHeight(-1)}, ',')
    )");
    EXPECT_EQ(test::lastLine(testing::internal::GetCapturedStderr()),
              "BookView::startRecording: unable to begin a recording at /no/such/folder/view.gif");
    EXPECT_FALSE(book->view->isRecording());
    EXPECT_EQ(book->global("report"), "0,0,1,3.0,0.0,0.0");
    const PictureInstance& a = instance(0);
    EXPECT_EQ(a.rect, Rect(0, 0, 300, 150));
    EXPECT_EQ(a.rows, Range(0, 1));
    EXPECT_EQ(Vec2(a.picture->width, a.picture->height), Vec2(3, 1.5));
    EXPECT_EQ(a.layerKey, 5);
    EXPECT_EQ(instance(2).positionMode, PictureInstance::Fixed);
    EXPECT_EQ(instance(2).rect.y, 0);
    EXPECT_EQ(instance(2).rows, Range(1, 1));
    EXPECT_EQ(instance(3).positionMode, PictureInstance::BottomRight);
    // The open row is raised by canvases of selector 1 only.
    EXPECT_EQ(book->chapter().rows.boundaries, (std::vector<double>{0, 300}));
}

// Each body runs in a child after canvas `c` and the flat shape `flat` are made.
TEST_F(PageTest, MisuseEndsWithItsLine) {
    struct Case { const char* body; const char* line; };
    const Case cases[] = {
        {"hvkNewCanvas(0, 1, 1, 5, 0)", "err: newPicture: unrecognised selector 5"},
        {"hvkNewCanvas(0, 1, 0/0, 1, 0)", "err: ChapterController::createCanvas(): picture aspect is nan - aborting"},
        {"hvkNewCanvas(0, 1, 0, 1, 0)",
         "err: ChapterController::createCanvas(): picture aspect must be positive and finite: 0"},
        {"hvkNewCanvas(0, 1, 1/0, 1, 0)",
         "err: ChapterController::createCanvas(): picture aspect must be positive and finite: inf"},
        {"hvkNewCanvas(2, 1, 1, 1, 0)", "err: ChapterController::createCanvas(): canvas width must be positive: -1"},
        {"hvkRemoveCanvas(c) hvkNewPath(c, 0)", "err: hvkNewPath: canvas 0 was removed"},
        {"hvkSetNodePosition(1, 0, 0, 0)", "err: hvkSetNodePosition: no canvas 1"},
        {"hvkSetCanvasSlideDistance(c, -1)", "err: ChapterController::setCanvasSlideDistance: negative row count -1"},
        {"hvkCreateChildNode(c, 3)", "err: Could not find node id: 3 on picture 0"},
        {"hvkCreateChildNode(c, 2^33)", "err: hvkCreateChildNode: argument 2 is out of range: 8589934592"},
        {"hvkSetNodeEnabled(c, -1, true)", "err: ChapterController::setNodeEnabled: could not find path with id -1"},
        {"hvkSetNodeCentre(c, 1, 0, 0)", "err: ChapterController::setNodeCentre: could not find path with id 1"},
        {"hvkGetNodeProps(c, 1)", "err: ChapterController::getNodeProps: could not find path with id 1"},
        {"hvkMoveToNode(c, 0, hvkCreateChildNode(c, 0))",
         "err: ChapterController::moveToNode: node 0 cannot move under 1, which it holds"},
        {"hvkMoveToNode(c, 0, 0)", "err: ChapterController::moveToNode: node 0 cannot move under 0, which it holds"},
        {"hvkShowParagraph(c, 4, hvkCreateParagraph('x', 1, 'left'), 0, 0)",
         "err: ChapterController::showLine: node out of range"},
        {"hvkWindBackRows(1)", "err: hvkWindBackRows: rows to wind back out of range: 1"},
        {"hvkGetShapePoint(flat, 2)", "err: Point 2 out of range in shape with id: 0"},
        {"hvkPrepareSvg('shapes.svg', {[5] = '1.1'})", "err: hvkPrepareSvg: colour map keys must be colour texts"},
        {"hvkPrepareSvg('missing.svg')", "err: Could not find svg at path: missing.svg"},
        {"hvkPrepareSvgShape(hvkPrepareSvg('shapes.svg'), 'boat')", "err: Could not find svg path named:: boat"},
        {"hvkSetPalette({{'ab'}})", "err: Error when loading palette, empty colour"},
        {"hvkSetPalette({{'zzzzzz'}})", "err: Error parsing colour: 'zzzzzz'"},
        {"hvkSetPalette({'row'})", "err: hvkSetPalette: row 1 is not a table of colour texts"},
        {"hvkSetPalette()", "err: hvkSetPalette: no table of palette rows given"},
    };
    const std::string made = "c = hvkNewCanvas(0, 1, 1, 1, 0)\n"
                             "flat = hvkPrepareSvgShape(hvkPrepareSvg('shapes.svg'), 'flat')\n";
    auto prepare = [](BookHarness& book) { book.addStoryFile("shapes.svg", shapesSvg); };
    for (const Case& c : cases) EXPECT_EQ(test::fatalLineOfBook(chapterOf(made + c.body), 0, prepare), c.line) << c.body;
}

TEST_F(PageTest, NodesMoveUnderNewParentsAndPathCommandsArriveInPictureSpace) {
    testing::internal::CaptureStderr();
    build(R"(c = hvkNewCanvas(0, 1, 1, 1, 0) a = hvkCreateChildNode(c, 0) b = hvkCreateChildNode(c, a)
        p = hvkNewPath(c, 0) empty = hvkNewPath(c, 0)
        hvkNewPathCommand(c, p, 10, 1, 2) hvkNewPathCommand(c, p, 2, 1, 2, 3, 4, 5, 6)
        hvkNewPathCommand(c, p, 1, 7, 8, 9, 10) hvkNewPathCommand(c, p, 5, 1, 1))");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Do not understand path command identifier\n");
    Picture& picture = *instance(0).picture;
    picture.nodes[1].translation = Vec2(1, 0);
    int32_t before = picture.nodes[2].revision;
    book->run("hvkSetNodeCentre(c, b, 0.5, 0.25) hvkMoveToNode(c, b, 0)\n"
              "props = table.concat({hvkGetNodeProps(c, b)}, ',')");
    // The new centre and the move each mark the node to be drawn anew.
    EXPECT_EQ(picture.nodes[2].revision, before + 2);
    EXPECT_EQ(book->global("props"), "0.0,0.0,0.5,0.25");
    EXPECT_EQ(picture.nodes[2].parent, 0);
    EXPECT_EQ(picture.nodes[0].children, (std::vector<uint64_t>{1, 2}));
    EXPECT_TRUE(picture.nodes[1].children.empty());
    // The mapping follows the new parent: the old parent's shift no longer applies.
    EXPECT_EQ(picture.nodeToWorld(Vec2(0.5, 0.25), 2), Vec2(0, 0));

    Path& path = picture.paths[0];
    ASSERT_EQ(path.commands.size(), 3u);
    EXPECT_EQ(path.commands[0].type, PathCommand::Move);
    EXPECT_EQ(path.commands[1].type, PathCommand::Cubic);
    EXPECT_EQ(path.commands[1].points[2], Vec2(5, 6));
    EXPECT_EQ(path.commands[2].type, PathCommand::Quadratic);
    EXPECT_EQ(path.commands[2].points[1], Vec2(9, 10));
    // A command added after the path was drawn is drawn too, with fresh bounds.
    book->chapter().draw();
    int32_t revision = path.geometryRevision();
    path.transform = Transform::translation(Vec2(10, 0));
    book->run("hvkNewPathCommand(c, p, 0, 11, 1)");
    EXPECT_GT(path.geometryRevision(), revision);
    EXPECT_EQ(path.commands[3].points[0], Vec2(1, 1));
    EXPECT_EQ(path.bounds(), Rect(11, 1, 8, 9));
    EXPECT_TRUE(picture.paths[1].commands.empty());
}

TEST_F(PageTest, ShapesParagraphsAndPalettesReachTheCanvas) {
    build(R"(
        hvkSetPalette({{'102030', 'a0b0c0'}, {'ffffff80'}}) hvkSetBackgroundColour('1.2', 1)
        file, again = hvkPrepareSvg('shapes.svg', {['336699FF'] = '1.2'}), hvkPrepareSvg('shapes.svg')
        w, h = hvkSvgSize(file)
        block, flat = hvkPrepareSvgShape(file, 'block'), hvkPrepareSvgShape(file, 'flat')
        bx, by, bw, bh, frames = hvkSvgShapeInfo(block)
        sx, sy = hvkGetShapePoint(block, 0)
        onCorner = (sx == bx or sx == bx + bw) and (sy == by or sy == by + bh)
        local names = {}
        for _, entry in ipairs(hvkListSvgShapeNamesAndGroups(file)) do names[#names + 1] = entry[1] end
        shapes = table.concat({file, again, w, h, bx, by, bw, bh, tostring(frames), tostring(onCorner)}, ',')
        shapes = shapes .. ',' .. table.concat(names, ' ')
        c = hvkNewCanvas(0, 6, 1, 1, 0)
        hvkSvgInsertShape(block, c, 0, 4, 2) hvkSvgInsertShape(block, c, 0, 2, 1) hvkSvgInsertShape(flat, c, 0, 4, 2)
        lineBefore = hvkGetLineHeight() hvkSetTypeface('DejaVuSerif', 2)
        hvkNewRow(false)
        id, height = hvkCreateParagraph("``Quoted,'' she said", 3, 'centre')
        text = table.concat({lineBefore, id, height, hvkShowParagraph(c, 0, id, 3, height), hvkRowHeight(0)}, ',')
    )");
    // Shapes are shifted so the drawing's extent starts at the origin.
    EXPECT_EQ(book->global("shapes"), "0,1,40.0,80.0,10.0,0.0,20.0,40.0,nil,true,block flat auto-1");
    Picture& picture = *instance(0).picture;
    const Path& first = picture.paths[0];
    const Path& second = picture.paths[1];
    EXPECT_EQ(first.transform.apply(Vec2(10, 0)), Vec2(0, 0));
    EXPECT_EQ(first.transform.apply(Vec2(30, 40)), Vec2(4, 2));
    EXPECT_EQ(second.transform.apply(Vec2(30, 40)), Vec2(2, 1));
    EXPECT_EQ(first.meshCache, second.meshCache);
    EXPECT_NE(first.id, second.id);
    // The colour map's upper-case key matched: row 1 tone 2 of the palette set.
    EXPECT_EQ(first.colour, colourFromHex("a0b0c0").first);
    // A flat shape keeps scale 1 on the axis it has no extent on.
    Vec2 end = picture.paths[2].transform.apply(picture.paths[2].commands.back().endPoint());
    EXPECT_EQ(end.x, 4);
    EXPECT_TRUE(std::isfinite(end.y));

    // The fake typesetter's lines are 10 pixels high (0.1 script units); its paragraphs' aspect is
    // the wrap width over 10 pixels: 300 / 10. The paragraph's row is as high as the paragraph.
    EXPECT_EQ(book->global("text"), "0.1,1,0.1,0,0.1");
    EXPECT_EQ(book->platform->typesetterBackend->texts.back(), "\u201CQuoted,\u201D she said");
    const ColourPalette& palette = book->chapter().palette;
    ASSERT_EQ(palette.rows.size(), 3u);
    EXPECT_EQ(palette.rows[0].size(), 11u);
    EXPECT_EQ(palette.rows[2][0].a, 128.0 / 255.0);

    // A command added to an inserted path is drawn: the path leaves the shape's prepared
    // triangles (as a baked cache holds them) to its copy.
    auto prepared = std::make_shared<Mesh>();
    first.meshCache->mesh = prepared;
    book->run("hvkNewPathCommand(c, 0, 10, 0, 0) hvkNewPathCommand(c, 0, 0, 5, 0) hvkNewPathCommand(c, 0, 0, 5, 5)");
    book->chapter().draw();
    EXPECT_NE(picture.paths[0].renderRecord->mesh, prepared);
    EXPECT_EQ(picture.paths[1].renderRecord->mesh, prepared);
}

TEST_F(PageTest, RowsWindBackAndScrollTargetsFindTheirPlace) {
    build("for i = 1, 4 do hvkNewCanvas(0, 1, 1, 1, 0) hvkNewRow(false) end hvkNewCanvas(0, 1, 1, 1, 0)");
    ChapterController& chapter = book->chapter();
    EXPECT_EQ(chapter.bookPositionOfScrollTarget(-2, 3, 50), 350);
    EXPECT_EQ(chapter.bookPositionOfScrollTarget(-1, 0, 0), chapter.contentHeight);
    double height = chapter.contentHeight;
    const Canvas& page = *book->view->canvas();
    auto actives = [&] { std::string f; for (int64_t i = 0; i < 5; ++i) f += page.find(i) ? '1' : '0'; return f; };
    book->run("hvkWindBackRows(0)");
    EXPECT_EQ(actives(), "11110");
    EXPECT_EQ(chapter.rows.size(), 5u);
    book->run("hvkWindBackRows(2)");
    EXPECT_EQ(actives(), "11000");
    EXPECT_EQ(chapter.rows.size(), 3u);
    EXPECT_EQ(chapter.contentHeight, height);
}

// 20 canvases a pass, each with a node, an SVG shape, a path, a rect and a label, and those of
// the pass before removed: what is kept, and drawn, follows the canvases on the page.
TEST_F(PageTest, RemovedCanvasesKeepNothingButTheirHandle) {
    build(R"(local shape, made = hvkPrepareSvgShape(hvkPrepareSvg('shapes.svg'), 'block'), {}
      while true do
        for i = 1, #made do hvkRemoveCanvas(made[i]) end
        for i = 1, 20 do
          local c, root = hvkNewCanvas(i % 6, i % 6 + 1, 1, 3, i % 3)
          local node = hvkCreateChildNode(c, root)
          hvkSvgInsertShape(shape, c, node, 1, 1) hvkNewPathCommand(c, hvkNewPath(c, node), 10, 0, 0)
          hvkCreateActiveRect(c, node, 0, 0, 1, 1, true) hvkSetCanvasLabel(c, 'churn') made[i] = c
        end
        nextEvent()
      end)");
    for (int pass = 1; pass < 50; ++pass) {
        book->tick();
        book->chapter().draw();
    }
    EXPECT_EQ(book->view->canvas()->handleCount(), 1000u);
    EXPECT_EQ(book->view->canvas()->instances().size(), 20u);
    EXPECT_EQ(book->chapter().activeRects.size(), 20u) << "the rects of removed canvases are reused";
    book->backend->calls.clear();
    book->chapter().draw();
    EXPECT_EQ(book->backend->countOf(test::BackendCall::SetClipRect), 21u) << "the 20 and the background";
}

// A canvas wound back off the page is a target gone: changing it writes one line and the book
// goes on; removing it again does nothing.
TEST_F(PageTest, ARemovedCanvasIsSkippedWithALine) {
    testing::internal::CaptureStderr();
    build(R"(c = hvkNewCanvas(0, 1, 1, 1, 0) p = hvkNewPath(c, 0) hvkNewPathCommand(c, p, 10, 0, 0)
        flat = hvkPrepareSvgShape(hvkPrepareSvg('shapes.svg'), 'flat')
        hvkWindBackRows(0) hvkSetAnimationEnabled(false)
        hvkSetNodePosition(c, 0, 1, 1) hvkSetNodeRotation(c, 0, 1) hvkSetNodeScale(c, 0, 2, 2)
        hvkMovePoint(c, p, 0, 0, 1, 1) hvkSetPathFill(c, p, '0.1', 1) hvkSetAnimationFrame(c, p, 1)
        hvkSetParagraphColour(c, 0, 0, '0.1', 1) hvkPathTransition(c, p, flat, 0, 0, 1, 1)
        hvkSetNodeEnabled(c, 0, false) hvkSetNodeCentre(c, 0, 1, 1) hvkMoveToNode(c, 1, 0)
        hvkSetCanvasSlideDistance(c, 2) hvkSetCanvasLabel(c, 'door') hvkSetPictureInteractive(c, 0)
        hvkRemoveCanvas(c))");
    std::string err = testing::internal::GetCapturedStderr(), lines;
    for (int animation = 0; animation < 7; ++animation) {
        lines += "error (ignoring and continuing): ChapterController::getValue: Inactive Picture (0)\n"
                 "ChapterController::startAnimation(): validation error when starting animation\n";
    }
    for (const char* operation : {"pathTransition", "setNodeEnabled", "setNodeCentre", "moveToNode",
                                  "setCanvasSlideDistance", "setCanvasLabel", "setPictureInteractive"}) {
        lines += "error (ignoring and continuing): ChapterController::" + std::string(operation) +
                 ": Inactive Picture (0)\n";
    }
    EXPECT_EQ(err.substr(err.find("error (")), lines);
}

TEST_F(PageTest, StickyCanvasesSlideWithinTheirRows) {
    // Six rows 200 high, then the sticky canvas (100 high) in row 6, which is 300 high.
    build(R"(for i = 1, 6 do hvkSetRowHeight(2) hvkNewRow(false) end
        hvkSetCanvasSlideDistance(hvkNewCanvas(0, 6, 6, 2, 0), 1)
        hvkSetRowHeight(3) hvkNewRow(false) hvkSetRowHeight(2) hvkNewRow(false))");
    ChapterController& chapter = book->chapter();
    PictureInstance& sticky = instance(0);
    struct Case { double scroll, y; };
    for (Case c : {Case{0, 1200}, Case{1200, 1350}, Case{1300, 1400}, Case{2000, 1400}}) {
        chapter.rows.position = c.scroll;
        chapter.draw();
        EXPECT_EQ(sticky.rect.y, c.y) << c.scroll;
        EXPECT_EQ(sticky.slideOffset, c.y - (c.scroll + 150)) << c.scroll;
    }
    // Rows wound back below the canvas's span: it reads only the rows that exist.
    sticky.rows = Range(40, 9);
    chapter.draw();
    EXPECT_TRUE(std::isfinite(sticky.rect.y));
}

} // namespace
} // namespace hv
