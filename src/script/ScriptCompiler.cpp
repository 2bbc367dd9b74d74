#include "script/ScriptCompiler.h"

#include "core/PathProvider.h"
#include "core/ResourcePaths.h"
#include "core/Sha256.h"
#include "core/Text.h"

#include <lua.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <vector>

namespace hv {

namespace {

namespace fs = std::filesystem;

int appendChunk(lua_State*, const void* bytes, size_t size, void* out) {
    static_cast<std::string*>(out)->append(static_cast<const char*>(bytes), size);
    return 0;
}

} // namespace

std::string compiledScriptDigestPath(const std::string& blobsDirectory, const std::string& scriptPath) {
    return joinPath(blobsDirectory, "luac-" + hexBytes(scriptPath));
}

std::string compiledScriptDigest(const void* chunk, size_t size) { return "sha256 " + sha256Hex(chunk, size) + "\n"; }

bool compileScript(const std::string& assetsDirectory, const std::string& folder, const std::string& relative,
                   std::ostream& errors) {
    const std::string root = joinPath(assetsDirectory, folder);
    std::string source, why;
    if (!readWholeFile(joinPath(root, relative), source, why)) {
        errors << "halvane-bake: " << relative << ": cannot read the file: " << why << std::endl;
        return false;
    }
    lua_State* state = luaL_newstate();
    if (!state) {
        errors << "halvane-bake: " << relative << ": cannot make a Lua state" << std::endl;
        return false;
    }
    // "@" makes Lua name the chunk by the path itself in every message.
    std::string chunkName = "@" + relative;
    bool ok = luaL_loadbufferx(state, source.data(), source.size(), chunkName.c_str(), "t") == LUA_OK;
    std::string bytes;
    if (!ok) {
        // A syntax error names the file and line itself; a refusal such as a binary chunk's
        // does not, and gets the file's name in front.
        const char* message = lua_tostring(state, -1);
        std::string line = message ? message : "cannot be loaded";
        if (line.compare(0, relative.size() + 1, relative + ":") != 0) line = relative + ": " + line;
        errors << "halvane-bake: " << line << std::endl;
    } else if (lua_dump(state, appendChunk, &bytes, 0) != 0) {
        errors << "halvane-bake: " << relative << ": cannot dump the compiled chunk" << std::endl;
        ok = false;
    }
    lua_close(state);
    if (!ok) return false;
    std::string target = joinPath(root, relative) + "c";
    if (!replaceFile(target, [&](FILE* file) { return std::fwrite(bytes.data(), bytes.size(), 1, file) == 1; })) {
        errors << "halvane-bake: " << relative << ": cannot write " << target << ": " << std::strerror(errno)
               << std::endl;
        return false;
    }
    const std::string blobs = joinPath(assetsDirectory, "blobs");
    const std::string digestPath = compiledScriptDigestPath(blobs, folder + "/" + relative);
    const std::string digest = compiledScriptDigest(bytes.data(), bytes.size());
    std::error_code error;
    fs::create_directories(blobs, error);
    // The engine refuses a chunk without its digest; the line below says why it will.
    if (!replaceFile(digestPath, [&](FILE* file) { return std::fwrite(digest.data(), digest.size(), 1, file) == 1; })) {
        errors << "halvane-bake: " << relative << ": cannot write " << digestPath << ": " << std::strerror(errno)
               << std::endl;
        return false;
    }
    return true;
}

ScriptCompileSummary compileBookScripts(const std::string& assetsDirectory, std::ostream& errors) {
    ScriptCompileSummary summary;
    for (const std::string folder : {"story", "packin/lua"}) {
        const std::string root = joinPath(assetsDirectory, folder);
        std::error_code error;
        if (!fs::is_directory(root, error)) continue;
        std::vector<std::string> scripts = findFilesBelow(
            root, ".lua",
            [&](const std::string& unlisted, const std::string& why) {
                errors << "halvane-bake: " << unlisted << ": cannot list the directory: " << why << std::endl;
                ++summary.failed;
            },
            [&](const std::string& path, const std::string& what) {
                errors << "halvane-bake: " << path << ": " << what << std::endl;
                ++summary.failed;
            });
        for (const std::string& script : scripts) {
            if (compileScript(assetsDirectory, folder, script, errors)) {
                ++summary.compiled;
            } else {
                ++summary.failed;
            }
        }
    }
    return summary;
}

} // namespace hv
