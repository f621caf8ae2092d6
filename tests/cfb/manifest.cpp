#include "base/sha256.h"
#include "manifest.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "base/text.h"

namespace qv::test {

const Json& Json::operator[](const std::string& key) const {
    static const Json null;
    auto it = object.find(key);
    return it == object.end() ? null : it->second;
}

namespace {

struct Parser {
    const std::string& s;
    std::size_t i = 0;

    void ws() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t'))
            ++i;
    }
    [[noreturn]] void fail() { throw std::runtime_error("bad JSON at " + std::to_string(i)); }
    void expect(char c) {
        ws();
        if (i >= s.size() || s[i] != c)
            fail();
        ++i;
    }
    unsigned hex4() {
        if (i + 4 > s.size())
            fail();
        unsigned v = static_cast<unsigned>(std::stoul(s.substr(i, 4), nullptr, 16));
        i += 4;
        return v;
    }
    std::string str() {
        expect('"');
        std::u16string units;
        std::string out;
        auto flush = [&] {
            out += text::utf16ToUtf8(units);
            units.clear();
        };
        while (i < s.size() && s[i] != '"') {
            if (s[i] == '\\') {
                char e = s[++i];
                ++i;
                if (e == 'u') {
                    units.push_back(static_cast<char16_t>(hex4()));
                    continue;
                }
                flush();
                switch (e) {
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                default: out += e; break;
                }
            } else {
                flush();
                out += s[i++];
            }
        }
        flush();
        expect('"');
        return out;
    }
    Json value() {
        ws();
        Json j;
        if (i >= s.size())
            fail();
        char c = s[i];
        if (c == '{') {
            j.kind = Json::Kind::Object;
            ++i;
            ws();
            if (s[i] == '}') {
                ++i;
                return j;
            }
            while (true) {
                std::string k = str();
                expect(':');
                j.object[k] = value();
                ws();
                if (s[i] == ',') {
                    ++i;
                    continue;
                }
                expect('}');
                return j;
            }
        }
        if (c == '[') {
            j.kind = Json::Kind::Array;
            ++i;
            ws();
            if (s[i] == ']') {
                ++i;
                return j;
            }
            while (true) {
                j.array.push_back(value());
                ws();
                if (s[i] == ',') {
                    ++i;
                    continue;
                }
                expect(']');
                return j;
            }
        }
        if (c == '"') {
            j.kind = Json::Kind::String;
            j.string = str();
            return j;
        }
        if (s.compare(i, 4, "null") == 0) {
            i += 4;
            return j;
        }
        if (s.compare(i, 4, "true") == 0) {
            i += 4;
            j.kind = Json::Kind::Bool;
            j.boolean = true;
            return j;
        }
        if (s.compare(i, 5, "false") == 0) {
            i += 5;
            j.kind = Json::Kind::Bool;
            return j;
        }
        char* end = nullptr;
        j.number = std::strtod(s.c_str() + i, &end);
        if (end == s.c_str() + i)
            fail();
        i = static_cast<std::size_t>(end - s.c_str());
        j.kind = Json::Kind::Number;
        return j;
    }
};

}  // namespace

Json parseJson(const std::string& text) {
    Parser p{text};
    return p.value();
}

std::string sha256Hex(const std::string& bytes) {
    Sha256 hash;
    hash.add(bytes);
    return hash.hex();
}

}  // namespace qv::test
