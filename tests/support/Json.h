#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hv::test {

// A small JSON value, enough for test data files: numbers, strings, arrays and objects (true,
// false and null are read as numbers 1, 0 and 0).
struct JsonValue {
    enum Kind { Number, String, Array, Object };
    Kind kind = Number;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    const JsonValue* member(const std::string& name) const;
};

// Parses a whole document; false (with `error` set) on malformed input.
bool parseJson(const std::string& source, JsonValue& out, std::string* error = nullptr);

// Reads and parses a file; fails the same way, or when the file cannot be read.
bool readJsonFile(const std::string& path, JsonValue& out, std::string* error = nullptr);

} // namespace hv::test
