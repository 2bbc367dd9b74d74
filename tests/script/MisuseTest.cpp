// Every engine function, with each of its arguments in turn replaced by a value no book should
// pass, either returns or ends the process with one "err: " line: never a signal, a sanitizer
// report or a read out of range.
#include "support/BookHarness.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <set>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace hv {
namespace {

struct Signature {
    const char* name;
    int arguments; // how many it reads, including optional ones
};

const Signature signatures[] = {
    {"hvkCurrentChapterInfo", 0}, {"hvkViewportHeight", 0}, {"hvkNewRow", 1}, {"hvkImport", 1},
    {"hvkSetAnimationDuration", 1}, {"hvkSetAnimationScrollLimits", 5}, {"hvkSetAnimationSlidingBlock", 2},
    {"hvkRowHeight", 1}, {"hvkCurrentRowIndex", 0}, {"hvkRegisterChapter", 2}, {"hvkError", 2}, {"hvkSaveState", 0},
    {"hvkRestoreState", 0}, {"hvkNewContext", 3}, {"hvkBlessGroup", 1}, {"hvkExit", 0}, {"hvkPushContextGroup", 1},
    {"hvkPopContextGroup", 0}, {"hvkSaveString", 1}, {"hvkSetGameTitle", 1}, {"hvkTriggerAchievement", 1},
    {"hvkSetMultisampleEnabled", 1}, {"hvkSetScrollBelowMargin", 1}, {"hvkSetBrightness", 1},
    {"hvkSetCompatibilityVersion", 1}, {"hvkExtendCanvas", 1}, {"hvkLoadString", 0}, {"hvkIsMobile", 0},
    {"hvkBuildType", 0}, {"hvkCurrentContext", 0}, {"hvkSetAnimationEnabled", 1}, {"hvkSignalContext", 1},
    {"hvkWaitContext", 1}, {"hvkTerminateContext", 1}, {"hvkSetRowHeight", 1}, {"hvkGetEnv", 1},
    {"hvkListChapterNames", 0}, {"hvkChooseChapter", 1}, {"hvkLayoutLandscape", 0}, {"hvkNewCanvas", 5},
    {"hvkRemoveCanvas", 1}, {"hvkWindBackRows", 1}, {"hvkSetCanvasSlideDistance", 2}, {"hvkSetCanvasLabel", 2},
    {"hvkSetPictureInteractive", 2}, {"hvkRecordCanvas", 3}, {"hvkStopRecording", 0}, {"hvkCreateChildNode", 2},
    {"hvkSetNodeEnabled", 3}, {"hvkSetNodeCentre", 4}, {"hvkGetNodeProps", 2}, {"hvkMoveToNode", 3}, {"hvkNewPath", 2},
    {"hvkNewPathCommand", 9}, {"hvkPrepareSvg", 2}, {"hvkPrepareSvgShape", 2}, {"hvkSvgSize", 1},
    {"hvkSvgShapeInfo", 1}, {"hvkSvgInsertShape", 5}, {"hvkListSvgShapeNamesAndGroups", 1}, {"hvkGetShapePoint", 2},
    {"hvkCreateParagraph", 3}, {"hvkShowParagraph", 5}, {"hvkSetTypeface", 2}, {"hvkGetLineHeight", 0},
    {"hvkSetPalette", 1}, {"hvkSetBackgroundColour", 2}, {"hvkSleep", 1}, {"hvkSetNodePosition", 4},
    {"hvkSetNodeRotation", 3}, {"hvkSetNodeScale", 4}, {"hvkMovePoint", 6}, {"hvkSetPathFill", 4},
    {"hvkSetAnimationFrame", 3}, {"hvkPathTransition", 7}, {"hvkSetParagraphColour", 5}, {"hvkLoadSound", 1},
    {"hvkPlaySound", 2}, {"hvkSetSoundVolume", 2}, {"hvkSetVolume", 1}, {"hvkCreateActiveRect", 7},
    {"hvkActivateRectHover", 1}, {"hvkActivateRectNotHovered", 2}, {"hvkActivateRectClick", 1},
    {"hvkActivateRectDrag", 1}, {"hvkQueryActiveRect", 1}, {"hvkDragState", 1}, {"hvkCancelDrag", 0},
    {"hvkCreateDragCatcher", 6}, {"hvkSetDragCatcherEnabled", 3}, {"hvkWaitKey", 1}, {"hvkWaitMouseEvent", 0},
    {"hvkGetMouseEvent", 0}, {"hvkSynthesizeMouse", 1}, {"hvkMoveMouse", 4}, {"hvkSetScrollEnabled", 1},
    {"hvkAutoScroll", 3}, {"hvkActivateScrollRow", 1}, {"hvkRevealIndicatorIsShowing", 0}, {"hvkSetScrollScale", 1},
};

// A chapter whose context runs whatever call the test leaves in `misuseCall`, a second context so
// that context 1 exists too, and one of everything else a call can name (canvas, node, path,
// command, paragraph, SVG file, shape, sound, active rect and drag catcher 0, and paragraph 1).
const char* misuseBook = R"(
hvkRegisterChapter("misuse", function()
  spawn(function() while true do nextEvent() end end)
  local canvas = hvkNewCanvas(0, 1, 1, 1, 0)
  hvkNewPathCommand(canvas, hvkNewPath(canvas, 0), 10, 0, 0)
  hvkCreateParagraph("text", 1, "left")
  hvkPrepareSvgShape(hvkPrepareSvg("square.svg"), "square")
  hvkLoadSound("tone.wav")
  hvkCreateActiveRect(canvas, 0, 0, 0, 1, 1, true)
  hvkCreateDragCatcher(canvas, 0, 0, 0, 1, 1)
  while true do
    local call = misuseCall
    misuseCall = nil
    if call then call() end
    nextEvent()
  end
end)
)";

const char* squareSvg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">
<rect inkscape:label="square" x="1" y="1" width="8" height="8" fill="#336699"/></svg>)";

class MisuseTest : public ::testing::TestWithParam<Signature> {};

TEST_P(MisuseTest, BadArgumentsEndCleanly) {
    const Signature& signature = GetParam();
    test::BookHarness harness(misuseBook);
    harness.addStoryFile("square.svg", squareSvg);
    harness.start();
    harness.tick();
    // hvkError reports the script's text and then its own ending, both as "err: " lines.
    size_t errLines = std::string(signature.name) == "hvkError" ? 2 : 1;
    for (int position = 1; position <= std::max(signature.arguments, 1); ++position) {
        for (const char* bad : {"nil", "{}", "0/0", "-1", "2^40"}) {
            std::string source = std::string("misuseCall = function() ") + signature.name + "(";
            for (int i = 1; i <= signature.arguments; ++i) {
                source += std::string(i > 1 ? ", " : "") + (i == position ? bad : "0");
            }
            source += ") end";
            test::ChildWatch watch;
            watch.limit = std::chrono::seconds(30);
            test::ChildResult result = test::runInChild(
                [&] {
                    // A call's writes (a save, a recording named "0") fail instead of landing in
                    // the user's data or the test's folder: the child may write no byte.
                    if (chdir(harness.dir.path().c_str()) != 0) return;
                    signal(SIGXFSZ, SIG_IGN);
                    rlimit none{0, 0};
                    setrlimit(RLIMIT_FSIZE, &none);
                    harness.run(source);
                    for (int i = 0; i < 3; ++i) harness.tick();
                },
                watch);
            if (result.exitStatus == 0) continue;
            const std::string what = source + "\n" + result.err;
            EXPECT_EQ(result.exitStatus, 1) << what;
            EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << what;
            EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << what;
            const std::string err = "\n" + result.err;
            size_t lines = 0;
            for (size_t at = err.find("\nerr: "); at != std::string::npos; at = err.find("\nerr: ", at + 1)) ++lines;
            EXPECT_EQ(lines, errLines) << what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EngineFunctions, MisuseTest, ::testing::ValuesIn(signatures),
                         [](const ::testing::TestParamInfo<Signature>& info) { return std::string(info.param.name); });

TEST(MisuseTableTest, CoversExactlyTheRegisteredFunctions) {
    test::BookHarness harness("hvkRegisterChapter('a', function() end)");
    ASSERT_TRUE(harness.init());
    std::set<std::string> registered = test::registeredEngineFunctions(harness.lua());
    EXPECT_EQ(registered.size(), 100u);
    std::set<std::string> listed;
    for (const Signature& s : signatures) listed.insert(s.name);
    EXPECT_EQ(registered, listed);
}

} // namespace
} // namespace hv
