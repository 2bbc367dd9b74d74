#include "support/Json.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace hv::test {

const JsonValue* JsonValue::member(const std::string& name) const {
    auto it = members.find(name);
    return it == members.end() ? nullptr : &it->second;
}

namespace {

class Parser {
public:
    explicit Parser(const std::string& s) : s_(s) {}

    bool document(JsonValue& out) {
        if (!value(out, 0)) return false;
        skip();
        return at_ == s_.size() || fail("trailing characters");
    }
    std::string error;

private:
    bool fail(const std::string& what) {
        error = what + " at offset " + std::to_string(at_);
        return false;
    }
    void skip() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t')) ++at_;
    }
    bool literal(const char* word, double number, JsonValue& out) {
        std::string w(word);
        if (s_.compare(at_, w.size(), w) != 0) return fail("unknown literal");
        at_ += w.size();
        out.kind = JsonValue::Number;
        out.number = number;
        return true;
    }
    bool string(std::string& out) {
        ++at_; // opening quote
        while (at_ < s_.size() && s_[at_] != '"') {
            char c = s_[at_++];
            if (c == '\\') {
                if (at_ >= s_.size()) break;
                char e = s_[at_++];
                switch (e) {
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': return fail("unicode escapes are not supported");
                default: out += e; break;
                }
            } else {
                out += c;
            }
        }
        if (at_ >= s_.size()) return fail("unterminated string");
        ++at_;
        return true;
    }
    bool value(JsonValue& out, int depth) {
        if (depth > 200) return fail("nesting too deep");
        skip();
        if (at_ >= s_.size()) return fail("unexpected end");
        char c = s_[at_];
        if (c == '[') {
            out.kind = JsonValue::Array;
            ++at_;
            skip();
            if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
            for (;;) {
                out.items.emplace_back();
                if (!value(out.items.back(), depth + 1)) return false;
                skip();
                if (at_ < s_.size() && s_[at_] == ',') { ++at_; continue; }
                if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
                return fail("expected , or ]");
            }
        }
        if (c == '{') {
            out.kind = JsonValue::Object;
            ++at_;
            skip();
            if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
            for (;;) {
                skip();
                if (at_ >= s_.size() || s_[at_] != '"') return fail("expected a member name");
                std::string name;
                if (!string(name)) return false;
                skip();
                if (at_ >= s_.size() || s_[at_] != ':') return fail("expected :");
                ++at_;
                if (!value(out.members[name], depth + 1)) return false;
                skip();
                if (at_ < s_.size() && s_[at_] == ',') { ++at_; continue; }
                if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
                return fail("expected , or }");
            }
        }
        if (c == '"') {
            out.kind = JsonValue::String;
            return string(out.text);
        }
        if (c == 't') return literal("true", 1, out);
        if (c == 'f') return literal("false", 0, out);
        if (c == 'n') return literal("null", 0, out);
        const char* begin = s_.c_str() + at_;
        char* end = nullptr;
        out.kind = JsonValue::Number;
        out.number = std::strtod(begin, &end);
        if (end == begin) return fail("expected a value");
        at_ += size_t(end - begin);
        return true;
    }

    const std::string& s_;
    size_t at_ = 0;
};

} // namespace

bool parseJson(const std::string& source, JsonValue& out, std::string* error) {
    Parser parser(source);
    out = JsonValue();
    bool ok = parser.document(out);
    if (!ok && error) *error = parser.error;
    return ok;
}

bool readJsonFile(const std::string& path, JsonValue& out, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseJson(text.str(), out, error);
}

} // namespace hv::test
