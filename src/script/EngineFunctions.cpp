// The engine functions a book sees, in the order they are registered.
#include "script/BookController.h"
#include "script/EngineFunction.h"

#include <lua.hpp>

#include <iterator>

namespace hv {

namespace {

// All 100 in registration order; an entry without a function is not built yet.
const EngineFunctionEntry engineFunctions[] = {
    {"hvkCurrentChapterInfo", hvkCurrentChapterInfo},
    {"hvkViewportHeight", hvkViewportHeight},
    {"hvkNewRow", hvkNewRow},
    {"hvkShowParagraph", hvkShowParagraph},
    {"hvkSvgSize", hvkSvgSize},
    {"hvkNewCanvas", hvkNewCanvas},
    {"hvkSetCanvasSlideDistance", hvkSetCanvasSlideDistance},
    {"hvkRecordCanvas", hvkRecordCanvas},
    {"hvkStopRecording", hvkStopRecording},
    {"hvkNewPathCommand", hvkNewPathCommand},
    {"hvkMovePoint", hvkMovePoint},
    {"hvkImport", hvkImport},
    {"hvkSetPathFill", hvkSetPathFill},
    {"hvkNewPath", hvkNewPath},
    {"hvkSetAnimationDuration", hvkSetAnimationDuration},
    {"hvkSetAnimationScrollLimits", hvkSetAnimationScrollLimits},
    {"hvkSetAnimationSlidingBlock", hvkSetAnimationSlidingBlock},
    {"hvkSetScrollEnabled", hvkSetScrollEnabled},
    {"hvkRowHeight", hvkRowHeight},
    {"hvkCreateParagraph", hvkCreateParagraph},
    {"hvkSetParagraphColour", hvkSetParagraphColour},
    {"hvkSetNodeEnabled", hvkSetNodeEnabled},
    {"hvkMoveToNode", hvkMoveToNode},
    {"hvkPathTransition", hvkPathTransition},
    {"hvkCreateActiveRect", hvkCreateActiveRect},
    {"hvkActivateScrollRow", hvkActivateScrollRow},
    {"hvkWindBackRows", hvkWindBackRows},
    {"hvkCurrentRowIndex", hvkCurrentRowIndex},
    {"hvkRegisterChapter", hvkRegisterChapter},
    {"hvkError", hvkError},
    {"hvkSleep", hvkSleep},
    {"hvkSaveState", hvkSaveState},
    {"hvkRestoreState", hvkRestoreState},
    {"hvkNewContext", hvkNewContext},
    {"hvkBlessGroup", hvkBlessGroup},
    {"hvkExit", hvkExit},
    {"hvkPushContextGroup", hvkPushContextGroup},
    {"hvkPopContextGroup", hvkPopContextGroup},
    {"hvkActivateRectHover", hvkActivateRectHover},
    {"hvkActivateRectNotHovered", hvkActivateRectNotHovered},
    {"hvkQueryActiveRect", hvkQueryActiveRect},
    {"hvkSaveString", hvkSaveString},
    {"hvkSynthesizeMouse", hvkSynthesizeMouse},
    {"hvkSetCanvasLabel", hvkSetCanvasLabel},
    {"hvkLoadSound", hvkLoadSound},
    {"hvkSetGameTitle", hvkSetGameTitle},
    {"hvkTriggerAchievement", hvkTriggerAchievement},
    {"hvkPlaySound", hvkPlaySound},
    {"hvkSetAnimationFrame", hvkSetAnimationFrame},
    {"hvkSetMultisampleEnabled", hvkSetMultisampleEnabled},
    {"hvkSetSoundVolume", hvkSetSoundVolume},
    {"hvkSetScrollBelowMargin", hvkSetScrollBelowMargin},
    {"hvkSetBrightness", hvkSetBrightness},
    {"hvkSetCompatibilityVersion", hvkSetCompatibilityVersion},
    {"hvkSetVolume", hvkSetVolume},
    {"hvkExtendCanvas", hvkExtendCanvas},
    {"hvkSetScrollScale", hvkSetScrollScale},
    {"hvkMoveMouse", hvkMoveMouse},
    {"hvkWaitKey", hvkWaitKey},
    {"hvkRevealIndicatorIsShowing", hvkRevealIndicatorIsShowing},
    {"hvkLoadString", hvkLoadString},
    {"hvkGetMouseEvent", hvkGetMouseEvent},
    {"hvkWaitMouseEvent", hvkWaitMouseEvent},
    {"hvkIsMobile", hvkIsMobile},
    {"hvkBuildType", hvkBuildType},
    {"hvkAutoScroll", hvkAutoScroll},
    {"hvkPrepareSvg", hvkPrepareSvg},
    {"hvkPrepareSvgShape", hvkPrepareSvgShape},
    {"hvkSvgShapeInfo", hvkSvgShapeInfo},
    {"hvkSvgInsertShape", hvkSvgInsertShape},
    {"hvkSetNodeCentre", hvkSetNodeCentre},
    {"hvkGetNodeProps", hvkGetNodeProps},
    {"hvkSetNodePosition", hvkSetNodePosition},
    {"hvkCancelDrag", hvkCancelDrag},
    {"hvkSetNodeRotation", hvkSetNodeRotation},
    {"hvkSetNodeScale", hvkSetNodeScale},
    {"hvkCurrentContext", hvkCurrentContext},
    {"hvkSetAnimationEnabled", hvkSetAnimationEnabled},
    {"hvkSignalContext", hvkSignalContext},
    {"hvkWaitContext", hvkWaitContext},
    {"hvkTerminateContext", hvkTerminateContext},
    {"hvkSetPictureInteractive", hvkSetPictureInteractive},
    {"hvkSetTypeface", hvkSetTypeface},
    {"hvkCreateChildNode", hvkCreateChildNode},
    {"hvkDragState", hvkDragState},
    {"hvkSetRowHeight", hvkSetRowHeight},
    {"hvkGetLineHeight", hvkGetLineHeight},
    {"hvkSetPalette", hvkSetPalette},
    {"hvkSetBackgroundColour", hvkSetBackgroundColour},
    {"hvkGetEnv", hvkGetEnv},
    {"hvkActivateRectDrag", hvkActivateRectDrag},
    {"hvkActivateRectClick", hvkActivateRectClick},
    {"hvkListSvgShapeNamesAndGroups", hvkListSvgShapeNamesAndGroups},
    {"hvkGetShapePoint", hvkGetShapePoint},
    {"hvkListChapterNames", hvkListChapterNames},
    {"hvkChooseChapter", hvkChooseChapter},
    {"hvkRemoveCanvas", hvkRemoveCanvas},
    {"hvkLayoutLandscape", hvkLayoutLandscape},
    {"hvkCreateDragCatcher", hvkCreateDragCatcher},
    {"hvkSetDragCatcherEnabled", hvkSetDragCatcherEnabled},
};

} // namespace

void registerEngineFunctions(lua_State* state) {
    static_assert(std::size(engineFunctions) == 100);
    for (const EngineFunctionEntry& entry : engineFunctions) {
        if (!entry.function) continue;
        lua_pushcclosure(state, entry.function, 0);
        lua_setglobal(state, entry.name);
    }
}

} // namespace hv
