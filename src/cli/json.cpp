#include "cli/json.h"

#include <cmath>
#include <cstdio>

#include "base/text.h"

namespace qv::cli {

std::string JsonWriter::quote(std::string_view raw) {
    std::string s = text::sanitizeUtf8(raw);
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                out += buf;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

void JsonWriter::newline() {
    if (!m_pretty)
        return;
    m_out << '\n';
    for (std::size_t i = 0; i < m_first.size(); ++i)
        m_out << "  ";
}

void JsonWriter::separate() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_first.empty()) {
        if (!m_first.back())
            m_out << ',';
        m_first.back() = false;
        newline();
    }
}

void JsonWriter::beginObject() {
    separate();
    m_out << '{';
    m_first.push_back(true);
}

void JsonWriter::endObject() {
    bool empty = m_first.back();
    m_first.pop_back();
    if (!empty)
        newline();
    m_out << '}';
    if (m_first.empty())
        m_out << '\n';
}

void JsonWriter::beginArray() {
    separate();
    m_out << '[';
    m_first.push_back(true);
}

void JsonWriter::endArray() {
    bool empty = m_first.back();
    m_first.pop_back();
    if (!empty)
        newline();
    m_out << ']';
    if (m_first.empty())
        m_out << '\n';
}

void JsonWriter::key(std::string_view name) {
    separate();
    m_out << quote(name) << (m_pretty ? ": " : ":");
    m_afterKey = true;
}

void JsonWriter::value(std::string_view s) {
    separate();
    m_out << quote(s);
}

void JsonWriter::value(bool b) {
    separate();
    m_out << (b ? "true" : "false");
}

void JsonWriter::value(std::int64_t n) {
    separate();
    m_out << n;
}

void JsonWriter::value(double d) {
    separate();
    const std::string text = std::isfinite(d) ? text::formatReal(d) : std::string();
    // JSON has no form for these; a number with a point keeps its type.
    if (text.empty())
        m_out << "null";
    else if (text.find_first_of(".eE") == std::string::npos)
        m_out << text << ".0";
    else
        m_out << text;
}

void JsonWriter::null() {
    separate();
    m_out << "null";
}

void writeError(JsonWriter& w, const Error* error) {
    w.key("error");
    if (error)
        w.value(error->message);
    else
        w.null();
    w.key("errorCode");
    if (error)
        w.value(errorCodeName(error->code));
    else
        w.null();
}

}  // namespace qv::cli
