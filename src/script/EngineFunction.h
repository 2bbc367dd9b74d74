// How an engine function is written: `ENGINE_FUNCTION(hvkName) { ... }` gives the Lua-facing
// function and hands its body a ScriptArgs that names it in every misuse line.
#pragma once

#include "script/ScriptArgs.h"

struct lua_State;

#define ENGINE_FUNCTION(name)                                                                                         \
    static int name##Body([[maybe_unused]] ::hv::ScriptArgs& args);                                                    \
    int name(lua_State* state) {                                                                                       \
        ::hv::ScriptArgs args(state, #name);                                                                           \
        return name##Body(args);                                                                                       \
    }                                                                                                                  \
    static int name##Body([[maybe_unused]] ::hv::ScriptArgs& args)

namespace hv {

using EngineFunctionPointer = int (*)(lua_State*);

struct EngineFunctionEntry {
    const char* name;
    EngineFunctionPointer function;
};

// Chapters, contexts, timing, environment and platform.
int hvkCurrentChapterInfo(lua_State*);
int hvkImport(lua_State*);
int hvkSetAnimationDuration(lua_State*);
int hvkSetAnimationScrollLimits(lua_State*);
int hvkSetAnimationSlidingBlock(lua_State*);
int hvkRegisterChapter(lua_State*);
int hvkError(lua_State*);
int hvkSaveState(lua_State*);
int hvkRestoreState(lua_State*);
int hvkNewContext(lua_State*);
int hvkBlessGroup(lua_State*);
int hvkExit(lua_State*);
int hvkPushContextGroup(lua_State*);
int hvkPopContextGroup(lua_State*);
int hvkSaveString(lua_State*);
int hvkSetGameTitle(lua_State*);
int hvkTriggerAchievement(lua_State*);
int hvkSetMultisampleEnabled(lua_State*);
int hvkSetBrightness(lua_State*);
int hvkSetCompatibilityVersion(lua_State*);
int hvkLoadString(lua_State*);
int hvkIsMobile(lua_State*);
int hvkBuildType(lua_State*);
int hvkCurrentContext(lua_State*);
int hvkSetAnimationEnabled(lua_State*);
int hvkSignalContext(lua_State*);
int hvkWaitContext(lua_State*);
int hvkTerminateContext(lua_State*);
int hvkGetEnv(lua_State*);
int hvkListChapterNames(lua_State*);
int hvkChooseChapter(lua_State*);
int hvkLayoutLandscape(lua_State*);

// Pointer input, keys and scrolling.
int hvkCreateActiveRect(lua_State*);
int hvkActivateRectHover(lua_State*);
int hvkActivateRectNotHovered(lua_State*);
int hvkActivateRectClick(lua_State*);
int hvkActivateRectDrag(lua_State*);
int hvkQueryActiveRect(lua_State*);
int hvkDragState(lua_State*);
int hvkCancelDrag(lua_State*);
int hvkCreateDragCatcher(lua_State*);
int hvkSetDragCatcherEnabled(lua_State*);
int hvkWaitKey(lua_State*);
int hvkWaitMouseEvent(lua_State*);
int hvkGetMouseEvent(lua_State*);
int hvkSynthesizeMouse(lua_State*);
int hvkMoveMouse(lua_State*);
int hvkSetScrollEnabled(lua_State*);
int hvkAutoScroll(lua_State*);
int hvkActivateScrollRow(lua_State*);
int hvkRevealIndicatorIsShowing(lua_State*);
int hvkSetScrollScale(lua_State*);

// Rows.
int hvkViewportHeight(lua_State*);
int hvkNewRow(lua_State*);
int hvkRowHeight(lua_State*);
int hvkCurrentRowIndex(lua_State*);
int hvkSetScrollBelowMargin(lua_State*);
int hvkExtendCanvas(lua_State*);
int hvkSetRowHeight(lua_State*);

// Rows, canvases, nodes and paths.
int hvkWindBackRows(lua_State*);
int hvkNewCanvas(lua_State*);
int hvkRemoveCanvas(lua_State*);
int hvkSetCanvasSlideDistance(lua_State*);
int hvkSetCanvasLabel(lua_State*);
int hvkSetPictureInteractive(lua_State*);
int hvkRecordCanvas(lua_State*);
int hvkStopRecording(lua_State*);
int hvkCreateChildNode(lua_State*);
int hvkSetNodeEnabled(lua_State*);
int hvkSetNodeCentre(lua_State*);
int hvkGetNodeProps(lua_State*);
int hvkMoveToNode(lua_State*);
int hvkNewPath(lua_State*);
int hvkNewPathCommand(lua_State*);

// SVG shapes, paragraphs, typefaces and colours.
int hvkPrepareSvg(lua_State*);
int hvkPrepareSvgShape(lua_State*);
int hvkSvgSize(lua_State*);
int hvkSvgShapeInfo(lua_State*);
int hvkSvgInsertShape(lua_State*);
int hvkListSvgShapeNamesAndGroups(lua_State*);
int hvkGetShapePoint(lua_State*);
int hvkCreateParagraph(lua_State*);
int hvkShowParagraph(lua_State*);
int hvkSetTypeface(lua_State*);
int hvkGetLineHeight(lua_State*);
int hvkSetPalette(lua_State*);
int hvkSetBackgroundColour(lua_State*);

// Animations and sound.
int hvkSleep(lua_State*);
int hvkSetNodePosition(lua_State*);
int hvkSetNodeRotation(lua_State*);
int hvkSetNodeScale(lua_State*);
int hvkMovePoint(lua_State*);
int hvkSetPathFill(lua_State*);
int hvkSetAnimationFrame(lua_State*);
int hvkPathTransition(lua_State*);
int hvkSetParagraphColour(lua_State*);
int hvkLoadSound(lua_State*);
int hvkPlaySound(lua_State*);
int hvkSetSoundVolume(lua_State*);
int hvkSetVolume(lua_State*);

} // namespace hv
