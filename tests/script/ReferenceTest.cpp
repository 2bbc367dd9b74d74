// The authors' reference documents exactly the engine functions a book sees.
#include "support/BookHarness.h"

#include <gtest/gtest.h>

#include <lua.hpp>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace hv {
namespace {

TEST(ReferenceTest, DocumentsEveryRegisteredFunctionAndNoOther) {
    test::BookHarness book("hvkRegisterChapter('a', function() end)");
    ASSERT_TRUE(book.init());
    std::set<std::string> registered = test::registeredEngineFunctions(book.lua());
    EXPECT_EQ(registered.size(), 100u);

    std::ifstream file(std::string(HV_SOURCE_DIR) + "/docs/engine-functions.md");
    ASSERT_TRUE(file.good());
    std::stringstream text;
    text << file.rdbuf();
    const std::string doc = text.str();
    std::set<std::string> headed, named;
    const std::regex heading("^### `(hvk[A-Za-z]+)`", std::regex::multiline);
    for (std::sregex_iterator it(doc.begin(), doc.end(), heading), end; it != end; ++it) {
        EXPECT_TRUE(headed.insert((*it)[1]).second) << (*it)[1] << " has two entries";
    }
    const std::regex word("\\bhvk[A-Z][A-Za-z]*");
    for (std::sregex_iterator it(doc.begin(), doc.end(), word), end; it != end; ++it) named.insert(it->str());
    EXPECT_EQ(headed, registered);
    for (const std::string& name : named) EXPECT_TRUE(registered.count(name)) << name << " is not an engine function";
}

} // namespace
} // namespace hv
