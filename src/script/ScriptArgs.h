// The one layer through which every engine function reads its arguments and names the engine
// objects a script hands over. A misuse ends the process with one "err: " line that names the
// function and the value.
#pragma once

#include "core/PaletteColour.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct lua_State;

namespace hv {

class ScriptArgs {
public:
    ScriptArgs(lua_State* state, const char* function) : state_(state), function_(function) {}

    lua_State* state() const { return state_; }
    const char* function() const { return function_; }
    int count() const;
    // Only an explicit nil, or a missing argument, is nil.
    bool isNil(int i) const;

    [[noreturn]] void misuse(const std::string& message) const;

    // An integer; a missing argument, another type or a number with a fraction reads 0.
    int64_t integer(int i) const;
    // An integer that must fit 32 bits, for indices whose range the operation checks itself.
    int32_t int32(int i) const;
    // The value read from argument i, which must fit 32 bits.
    int32_t int32(int i, int64_t value) const;
    // A number truncated toward zero; NaN and infinities are misuse.
    int64_t truncated(int i) const;
    // A number; a missing argument reads 0.
    double number(int i) const;
    // A number that must be finite: lengths, sizes, positions, durations.
    double finite(int i) const;
    bool boolean(int i) const;
    // A string or a number (as its text), copied with its length; anything else is misuse.
    std::string string(int i) const;
    // nil (or a missing argument) gives nothing; otherwise as `string`.
    std::optional<std::string> optionalString(int i) const;
    // Misuse unless the argument is a table.
    void requireTable(int i) const;
    // A sequence 1..n of strings, each as `string` reads it.
    std::vector<std::string> stringSequence(int i) const;

    // An index into something with `count` entries, checked as a 64-bit value before it is
    // narrowed: misuse "no <what> <value>" when it is negative or not below the count.
    // With `truncate`, a number with a fraction is cut toward zero instead of reading 0.
    int32_t index(int i, uint64_t count, const char* what, bool truncate = false) const;

    // A count from 0 to `largest`: misuse "<what> out of range: <value>" otherwise.
    int64_t count(int i, int64_t largest, const char* what) const;

    // Engine objects, each checked against what exists now.
    int32_t chapter(int i) const;
    int32_t context(int i) const;
    int32_t group(int i) const;
    // A canvas that is still on the page (a removed one has no picture).
    int32_t canvas(int i, bool truncate = false) const;
    // A canvas made in this chapter, on the page or removed since: the operation skips a removed
    // one with a line, as an animation skips a target that is gone.
    int32_t canvasOrRemoved(int i) const;
    // A node or path of the canvas; on a removed canvas, which has none left to check against,
    // any 32-bit value.
    int32_t node(int i, int32_t canvas, bool truncate = false) const;
    int32_t path(int i, int32_t canvas) const;
    int32_t command(int i, int32_t canvas, int32_t path) const;
    // A 1-based paragraph id of the book view.
    int32_t paragraph(int i) const;
    int32_t svgFile(int i, bool truncate = false) const;
    int32_t shape(int i, bool truncate = false) const;
    // An active rect of the chapter: an id outside the rects (negative included) ends the
    // process with the rects' own line, "Could not find active rect with id <value>".
    int32_t activeRect(int i) const;
    int32_t dragCatcher(int i) const;
    // The context the scheduler is running; misuse when none runs (the book's start-up scripts).
    uint64_t runningContext() const;

private:
    lua_State* state_;
    const char* function_;
};

// Helpers the engine functions share.
// Reads a colour from slots i (a palette text, a row number, or a raw hexadecimal text) and
// i + 1 (its opacity).
PaletteColour colourFromStack(lua_State* state, int i);
int32_t convertHAlign(const std::string& name);
std::string curlyQuotes(const std::string& text);
void pushStringList(lua_State* state, const std::vector<std::string>& strings);
void printTraceback(lua_State* state);

// Set by hvkSetCompatibilityVersion: colours are raw hexadecimal texts, not palette colours.
extern bool rawColourMode;

} // namespace hv
