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

// Compiles ASSETS/`folder`/`relative` to the same path with "c" appended, and writes the
// compiled chunk's digest into ASSETS/blobs. False, with one line on `errors` naming the file
// (and, for a syntax error, its line), when it cannot.
bool compileScript(const std::string& assetsDirectory, const std::string& folder, const std::string& relative,
                   std::ostream& errors);

// Lua loads compiled chunks without checking them, so the engine loads only those whose digest
// the bake wrote: a file in the blobs folder named "luac-" and the hexadecimal bytes of the
// script's path below the assets folder ("story/book.lua"), holding this text.
std::string compiledScriptDigestPath(const std::string& blobsDirectory, const std::string& scriptPath);
std::string compiledScriptDigest(const void* chunk, size_t size);

// Every ".lua" file below ASSETS/story and ASSETS/packin/lua; a failed file does not stop the
// others.
ScriptCompileSummary compileBookScripts(const std::string& assetsDirectory, std::ostream& errors);

} // namespace hv
