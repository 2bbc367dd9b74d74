#include "script/ScriptCompiler.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <lua.hpp>

#include <filesystem>
#include <sstream>

namespace hv {
namespace {

TEST(ScriptCompilerTest, CompilesEveryScriptAndNamesTheOnesThatFail) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.file("story/chapters"));
    std::filesystem::create_directories(dir.file("packin/lua"));
    test::writeFile(dir.file("story/book.lua"), "local a = 1\n\nerror('from the book')\n");
    test::writeFile(dir.file("story/chapters/broken.lua"), "x = 1\ny = = 2\n");
    test::writeFile(dir.file("story/chapters/fine.lua"), "z = 3\n");
    test::writeFile(dir.file("packin/lua/lib.lua"), "function helper() end\n");
    std::ostringstream errors;
    ScriptCompileSummary summary = compileBookScripts(dir.path(), errors);
    EXPECT_EQ(summary.compiled, 3u);
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_EQ(errors.str(), "halvane-bake: chapters/broken.lua:2: unexpected symbol near '='\n");
    EXPECT_TRUE(std::filesystem::exists(dir.file("story/chapters/fine.luac")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("packin/lua/lib.luac")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("story/chapters/broken.luac")));

    // The compiled chunk keeps its lines and is named by its path, however it is loaded.
    lua_State* state = luaL_newstate();
    luaL_openlibs(state);
    ASSERT_EQ(luaL_loadfilex(state, dir.file("story/book.luac").c_str(), "b"), LUA_OK);
    ASSERT_NE(lua_pcall(state, 0, 0, 0), LUA_OK);
    EXPECT_STREQ(lua_tostring(state, -1), "book.lua:3: from the book");
    lua_close(state);
}

} // namespace
} // namespace hv
