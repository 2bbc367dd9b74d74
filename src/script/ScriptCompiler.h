// Precompiles a book's Lua scripts with the engine's own Lua library, the way the engine loads
// them: unstripped, each chunk named by its path relative to its root, so messages read
// "book.lua:12: ...".
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>

namespace hv {

struct ScriptCompileSummary {
    size_t compiled = 0;
    size_t failed = 0;
};

// Compiles `root`/`relative` to the same path with "c" appended. False, with one line on
// `errors` naming the file (and, for a syntax error, its line), when it cannot.
bool compileScript(const std::string& root, const std::string& relative, std::ostream& errors);

// Every ".lua" file below ASSETS/story and ASSETS/packin/lua; a failed file does not stop the
// others.
ScriptCompileSummary compileBookScripts(const std::string& assetsDirectory, std::ostream& errors);

} // namespace hv
