// Pages built by short books: canvases in rows, nodes, paths, SVG shapes, paragraphs, palette.
#include "chapter/ChapterController.h"
#include "core/ColourPalette.h"
#include "picture/Mesh.h"
#include "picture/Picture.h"
#include "render/BookView.h"
#include "render/CoreRenderer.h"
#include "render/PictureInstance.h"
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

// The page's chapter runs `body` once; the test then looks at what the book view holds.
BookHarness& built(BookHarness& book) {
    book.addStoryFile("shapes.svg", shapesSvg);
    book.start();
    return book;
}

std::string chapterOf(const std::string& body) {
    return "hvkRegisterChapter('page', function()\n" + body + "\nwhile true do nextEvent() end\nend)";
}

PictureInstance& instance(BookHarness& book, size_t i) { return book.view->canvas()->pictureInstances[i]; }

// Runs a chapter body in a child and gives the last line it wrote to the error stream.
std::string fatalLineOf(const std::string& body) {
    return test::fatalLineOfBook(chapterOf(body), 0, [](BookHarness& book) { book.addStoryFile("shapes.svg", shapesSvg); });
}

TEST(PageTest, CanvasesTakeTheirPlacesInRows) {
    BookHarness book(chapterOf(R"(
        a, aRoot, aRow = hvkNewCanvas(0, 3, 2, 1, 5)   -- 3 wide, 1.5 high, in row 0
        b = hvkNewCanvas(3, 6, 1, 1, 0)                -- 3 high: the row becomes 3 high
        hvkNewRow(false)
        c, _, cRow = hvkNewCanvas(1, 2, 1, 3, 0)       -- fixed at the viewport's top
        d = hvkNewCanvas(0, 1, 1, 6, 0)
        hvkSetCanvasLabel(a, 'door')
        hvkSetPictureInteractive(b, false)
        height, openHeight = hvkRowHeight(1), hvkRowHeight(0)
    )"));
    built(book);
    EXPECT_EQ(book.global("aRoot") + book.global("aRow") + book.global("cRow"), "001");
    EXPECT_EQ(book.global("height") + "," + book.global("openHeight"), "3.0,0.0");
    const PictureInstance& a = instance(book, 0);
    EXPECT_EQ(a.rect, Rect(0, 0, 300, 150));
    EXPECT_EQ(a.layerKey, 5);
    EXPECT_EQ(a.label, "door");
    EXPECT_EQ(a.rows, Range(0, 1));
    EXPECT_EQ(a.picture->width, 3);
    EXPECT_EQ(a.picture->height, 1.5);
    EXPECT_FALSE(instance(book, 1).interactive);
    EXPECT_EQ(instance(book, 2).positionMode, PictureInstance::Fixed);
    EXPECT_EQ(instance(book, 2).rect.y, 0);
    EXPECT_EQ(instance(book, 2).rows, Range(1, 1));
    EXPECT_EQ(instance(book, 3).positionMode, PictureInstance::BottomRight);
    // The open row is raised by canvases of selector 1 only.
    EXPECT_EQ(book.chapter().rows.boundaries, (std::vector<double>{0, 300}));
}

TEST(PageTest, MisusedCanvasesNodesAndPathsEndWithTheirLines) {
    struct Case {
        const char* body;
        const char* line;
    };
    const Case cases[] = {
        {"hvkNewCanvas(0, 1, 1, 5, 0)", "err: newPicture: unrecognised selector 5"},
        {"hvkNewCanvas(0, 1, 0/0, 1, 0)", "err: ChapterController::createCanvas(): picture aspect is nan - aborting"},
        {"hvkNewCanvas(0, 1, 0, 1, 0)", "err: ChapterController::createCanvas(): picture aspect must be positive and finite: 0"},
        {"hvkNewCanvas(0, 1, -2, 1, 0)",
         "err: ChapterController::createCanvas(): picture aspect must be positive and finite: -2"},
        {"hvkNewCanvas(0, 1, math.huge, 1, 0)",
         "err: ChapterController::createCanvas(): picture aspect must be positive and finite: inf"},
        {"hvkNewCanvas(2, 1, 1, 1, 0)", "err: ChapterController::createCanvas(): canvas width must be positive: -1"},
        {"hvkRemoveCanvas(hvkNewCanvas(0, 1, 1, 1, 0)) hvkNewPath(0, 0)", "err: hvkNewPath: canvas 0 was removed"},
        {"hvkNewPath(-1, 0)", "err: hvkNewPath: no canvas -1"},
        {"hvkNewPath(hvkNewCanvas(0, 1, 1, 1, 0), 1)", "err: hvkNewPath: no node 1 on canvas 0"},
        {"hvkSetCanvasSlideDistance(hvkNewCanvas(0, 1, 1, 2, 0), -1)",
         "err: ChapterController::setCanvasSlideDistance: negative row count -1"},
        {"hvkCreateChildNode(hvkNewCanvas(0, 1, 1, 1, 0), 3)", "err: Could not find node id: 3 on picture 0"},
        {"hvkCreateChildNode(hvkNewCanvas(0, 1, 1, 1, 0), 2^33)", "err: hvkCreateChildNode: argument 2 is out of range: 8589934592"},
        {"hvkSetNodeEnabled(hvkNewCanvas(0, 1, 1, 1, 0), -1, true)",
         "err: ChapterController::setNodeEnabled: could not find path with id -1"},
        {"hvkSetNodeCentre(hvkNewCanvas(0, 1, 1, 1, 0), 1, 0, 0)",
         "err: ChapterController::setNodeCentre: could not find path with id 1"},
        {"hvkGetNodeProps(hvkNewCanvas(0, 1, 1, 1, 0), 1)",
         "err: ChapterController::getNodeProps: could not find path with id 1"},
        {"local c = hvkNewCanvas(0, 1, 1, 1, 0) local n = hvkCreateChildNode(c, 0) hvkMoveToNode(c, 0, n)",
         "err: ChapterController::moveToNode: node 0 cannot move under 1, which it holds"},
        {"local c = hvkNewCanvas(0, 1, 1, 1, 0) hvkMoveToNode(c, 0, 0)",
         "err: ChapterController::moveToNode: node 0 cannot move under 0, which it holds"},
        {"local c = hvkNewCanvas(0, 1, 1, 1, 0) hvkNewPathCommand(c, 0, 10, 0, 0)", "err: hvkNewPathCommand: no path 0 on canvas 0"},
        {"local c = hvkNewCanvas(0, 1, 1, 1, 0) hvkShowParagraph(c, 0, 1, 0, 0)", "err: hvkShowParagraph: no paragraph 1"},
        {"local c = hvkNewCanvas(0, 1, 1, 1, 0) hvkShowParagraph(c, 4, hvkCreateParagraph('x', 1, 'left'), 0, 0)",
         "err: ChapterController::showLine: node out of range"},
        {"hvkRecordCanvas(3, 'x.gif', true)", "err: hvkRecordCanvas: no canvas 3"},
        {"hvkWindBackRows(1)", "err: hvkWindBackRows: rows to wind back out of range: 1"},
    };
    for (const Case& c : cases) EXPECT_EQ(fatalLineOf(c.body), c.line) << c.body;
}

TEST(PageTest, NodesMoveKeepTheirParentsAndBumpRevisions) {
    BookHarness book(chapterOf(R"(
        c = hvkNewCanvas(0, 1, 1, 1, 0)
        a = hvkCreateChildNode(c, 0)
        b = hvkCreateChildNode(c, a)
        x, y, px, py = hvkGetNodeProps(c, b)
        props = table.concat({x, y, px, py}, ',')
    )"));
    built(book);
    EXPECT_EQ(book.global("props"), "0.0,0.0,0.0,0.0");
    Picture& picture = *instance(book, 0).picture;
    int32_t before = picture.nodes[2].revision;
    book.run("hvkSetNodeCentre(c, b, 0.5, 0.25)");
    EXPECT_GT(picture.nodes[2].revision, before);
    EXPECT_EQ(picture.nodes[2].pivot, Vec2(0.5, 0.25));
    picture.nodes[1].translation = Vec2(1, 0);
    before = picture.nodes[2].revision;
    book.run("hvkMoveToNode(c, b, 0)");
    EXPECT_EQ(picture.nodes[2].parent, 0);
    EXPECT_EQ(picture.nodes[0].children, (std::vector<uint64_t>{1, 2}));
    EXPECT_TRUE(picture.nodes[1].children.empty());
    EXPECT_GT(picture.nodes[2].revision, before);
    // The mapping follows the new parent: the old parent's shift no longer applies.
    EXPECT_EQ(picture.nodeToWorld(Vec2(0.5, 0.25), 2), Vec2(0, 0));
}

TEST(PageTest, PathCommandsArriveInPictureSpaceAndMarkTheGeometry) {
    BookHarness book(chapterOf(R"(
        c = hvkNewCanvas(0, 1, 1, 1, 0)
        p = hvkNewPath(c, 0)
        empty = hvkNewPath(c, 0)
        hvkNewPathCommand(c, p, 10, 1, 2)
        hvkNewPathCommand(c, p, 2, 1, 2, 3, 4, 5, 6)
        hvkNewPathCommand(c, p, 1, 7, 8, 9, 10)
        hvkNewPathCommand(c, p, 5, 1, 1)
    )"));
    testing::internal::CaptureStderr();
    built(book);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Do not understand path command identifier\n");
    Picture& picture = *instance(book, 0).picture;
    Path& path = picture.paths[0];
    ASSERT_EQ(path.commands.size(), 3u);
    EXPECT_EQ(path.commands[0].type, PathCommand::Move);
    EXPECT_EQ(path.commands[1].type, PathCommand::Cubic);
    EXPECT_EQ(path.commands[1].points[2], Vec2(5, 6));
    EXPECT_EQ(path.commands[2].type, PathCommand::Quadratic);
    EXPECT_EQ(path.commands[2].points[1], Vec2(9, 10));
    // A command added after the path was drawn is drawn too, with fresh bounds.
    book.chapter().draw();
    int32_t revision = path.geometryRevision();
    path.transform = Transform::translation(Vec2(10, 0));
    book.run("hvkNewPathCommand(c, p, 0, 11, 1)");
    EXPECT_GT(path.geometryRevision(), revision);
    EXPECT_EQ(path.commands[3].points[0], Vec2(1, 1));
    EXPECT_EQ(path.bounds(), Rect(11, 1, 8, 9));
    EXPECT_TRUE(picture.paths[1].commands.empty());
}

TEST(PageTest, ShapesAreScaledOntoTheirRectangleAndShareTheirMesh) {
    BookHarness book(chapterOf(R"(
        file = hvkPrepareSvg('shapes.svg', {['336699FF'] = '1.2'})
        again = hvkPrepareSvg('shapes.svg')
        w, h = hvkSvgSize(file)
        block = hvkPrepareSvgShape(file, 'block')
        flat = hvkPrepareSvgShape(file, 'flat')
        bx, by, bw, bh, frames = hvkSvgShapeInfo(block)
        info = table.concat({bx, by, bw, bh}, ',')
        sx, sy = hvkGetShapePoint(block, 0)
        onCorner = (sx == bx or sx == bx + bw) and (sy == by or sy == by + bh)
        local names = {}
        for _, entry in ipairs(hvkListSvgShapeNamesAndGroups(file)) do names[#names + 1] = entry[1] end
        shapeNames = table.concat(names, ',')
        c = hvkNewCanvas(0, 6, 1, 1, 0)
        first = hvkSvgInsertShape(block, c, 0, 4, 2)
        second = hvkSvgInsertShape(block, c, 0, 2, 1)
        line = hvkSvgInsertShape(flat, c, 0, 4, 2)
    )"));
    built(book);
    EXPECT_EQ(book.global("file") + book.global("again"), "01");
    // Shapes are shifted so the drawing's extent starts at the origin.
    EXPECT_EQ(book.global("w") + "x" + book.global("h"), "40.0x80.0");
    EXPECT_EQ(book.global("info"), "10.0,0.0,20.0,40.0");
    EXPECT_EQ(book.global("frames"), "nil");
    EXPECT_EQ(book.global("onCorner"), "true");
    EXPECT_EQ(book.global("shapeNames"), "block,flat,auto-1");
    Picture& picture = *instance(book, 0).picture;
    const Path& first = picture.paths[0];
    const Path& second = picture.paths[1];
    EXPECT_EQ(first.transform.apply(Vec2(10, 0)), Vec2(0, 0));
    EXPECT_EQ(first.transform.apply(Vec2(30, 40)), Vec2(4, 2));
    EXPECT_EQ(second.transform.apply(Vec2(30, 40)), Vec2(2, 1));
    EXPECT_EQ(first.meshCache, second.meshCache);
    EXPECT_NE(first.id, second.id);
    // The colour map's upper-case key matched; the palette resolves row 1 tone 2.
    EXPECT_EQ(first.colour, book.chapter().palette[PaletteColour(1, 1)]);
    // A flat shape keeps scale 1 on the axis it has no extent on.
    Vec2 end = picture.paths[2].transform.apply(picture.paths[2].commands.back().endPoint());
    EXPECT_EQ(end.x, 4);
    EXPECT_TRUE(std::isfinite(end.y));

    EXPECT_EQ(fatalLineOf("hvkGetShapePoint(hvkPrepareSvgShape(hvkPrepareSvg('shapes.svg'), 'flat'), 2)"),
              "err: Point 2 out of range in shape with id: 0");
    EXPECT_EQ(fatalLineOf("hvkGetShapePoint(hvkPrepareSvgShape(hvkPrepareSvg('shapes.svg'), 'flat'), -1)"),
              "err: Point -1 out of range in shape with id: 0");
    EXPECT_EQ(fatalLineOf("hvkPrepareSvg('shapes.svg', {[5] = '1.1'})"),
              "err: hvkPrepareSvg: colour map keys must be colour texts");
    EXPECT_EQ(fatalLineOf("hvkPrepareSvg('missing.svg')"), "err: Could not find svg at path: missing.svg");
    EXPECT_EQ(fatalLineOf("hvkPrepareSvgShape(hvkPrepareSvg('shapes.svg'), 'boat')"),
              "err: Could not find svg path named:: boat");
    EXPECT_EQ(fatalLineOf("hvkSvgShapeInfo(7)"), "err: hvkSvgShapeInfo: no shape 7");
}

TEST(PageTest, ParagraphsTypefacesAndPalettes) {
    BookHarness book(chapterOf(R"(
        lineBefore = hvkGetLineHeight()
        hvkSetTypeface('DejaVuSerif', 2)
        id, height = hvkCreateParagraph("``Quoted,'' she said", 3, 'centre')
        c = hvkNewCanvas(0, 1, 1, 1, 0)
        line = hvkShowParagraph(c, 0, id, 3, height)
        hvkSetPalette({{'102030', 'a0b0c0'}, {'ffffff80'}})
        hvkSetBackgroundColour('1.2', 1)
    )"));
    built(book);
    // The fake typesetter's lines are 10 pixels high: 0.1 script units.
    EXPECT_EQ(book.global("lineBefore"), "0.1");
    EXPECT_EQ(book.platform->typesetterBackend->texts.back(), "\u201CQuoted,\u201D she said");
    // Its paragraphs' aspect is the wrap width over 10 pixels: 300 / 10.
    EXPECT_EQ(book.global("height"), "0.1");
    EXPECT_EQ(book.global("line"), "0");
    EXPECT_EQ(book.global("id"), "1");
    const ColourPalette& palette = book.chapter().palette;
    ASSERT_EQ(palette.rows.size(), 3u);
    EXPECT_EQ(palette.rows[0].size(), 11u);
    EXPECT_EQ(palette.rows[1][1], colourFromHex("a0b0c0").first);
    EXPECT_EQ(palette.rows[2][0].a, 128.0 / 255.0);

    EXPECT_EQ(fatalLineOf("hvkSetPalette({{'ab'}})"), "err: Error when loading palette, empty colour");
    EXPECT_EQ(fatalLineOf("hvkSetPalette({{'zzzzzz'}})"), "err: Error parsing colour: 'zzzzzz'");
    EXPECT_EQ(fatalLineOf("hvkSetPalette({'row'})"), "err: hvkSetPalette: row 1 is not a table of colour texts");
    EXPECT_EQ(fatalLineOf("hvkSetPalette()"), "err: hvkSetPalette: no table of palette rows given");
}

TEST(PageTest, RowsWindBackAndScrollTargetsFindTheirPlace) {
    BookHarness book(chapterOf(R"(
        for i = 1, 4 do hvkNewCanvas(0, 1, 1, 1, 0) hvkNewRow(false) end
        halfway = hvkNewCanvas(0, 1, 1, 1, 0)
    )"));
    built(book);
    ChapterController& chapter = book.chapter();
    EXPECT_EQ(chapter.bookPositionOfScrollTarget(-2, 3, 50), 350);
    EXPECT_EQ(chapter.bookPositionOfScrollTarget(-1, 0, 0), chapter.contentHeight);
    double height = chapter.contentHeight;
    book.run("hvkWindBackRows(0)");
    EXPECT_FALSE(instance(book, 4).active);
    EXPECT_TRUE(instance(book, 3).active);
    EXPECT_EQ(chapter.rows.size(), 5u);
    book.run("hvkWindBackRows(2)");
    EXPECT_FALSE(instance(book, 2).active);
    EXPECT_FALSE(instance(book, 3).active);
    EXPECT_TRUE(instance(book, 1).active);
    EXPECT_EQ(chapter.rows.size(), 3u);
    EXPECT_EQ(chapter.contentHeight, height);
}

TEST(PageTest, StickyCanvasesSlideWithinTheirRows) {
    BookHarness book(chapterOf(R"(
        for i = 1, 6 do hvkSetRowHeight(2) hvkNewRow(false) end
        sticky = hvkNewCanvas(0, 6, 6, 2, 0)   -- 100 view units high, starting at row 6
        hvkSetCanvasSlideDistance(sticky, 1)
        hvkSetRowHeight(3)
        hvkNewRow(false)
        hvkSetRowHeight(2)
        hvkNewRow(false)
    )"));
    built(book);
    ChapterController& chapter = book.chapter();
    PictureInstance& sticky = instance(book, 0);
    // Rows are 200 high; row 6 runs from 1200 to 1500.
    struct Case {
        double scroll;
        double y;
    };
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

TEST(PageTest, RecordingsThatCannotBeginSaySoAndRecordNothing) {
    BookHarness book(chapterOf("hvkRecordCanvas(-1, '/no/such/folder/view.gif', true)"));
    testing::internal::CaptureStderr();
    built(book);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("BookView::startRecording: unable to begin a recording at /no/such/folder/view.gif"),
              std::string::npos)
        << err;
    EXPECT_FALSE(book.view->isRecording());
}

} // namespace
} // namespace hv
