// A small JSON writer for the command line's output.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace qv::cli {

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out, bool pretty = true) : m_out(out), m_pretty(pretty) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(std::string_view name);
    void value(std::string_view s);
    void value(const char* s) { value(std::string_view(s)); }
    void value(bool b);
    void value(std::int64_t n);
    // A finite number in the shortest form that reads back as the same.
    void value(double d);
    void null();

    static std::string quote(std::string_view s);

private:
    void separate();
    void newline();

    std::ostream& m_out;
    bool m_pretty;
    std::vector<bool> m_first;  // per open container: nothing written yet
    bool m_afterKey = false;
};

// The "error" (its message) and "errorCode" (its stable name) of a file's
// outcome, both null when there is none.
void writeError(JsonWriter& w, const Error* error);

}  // namespace qv::cli
