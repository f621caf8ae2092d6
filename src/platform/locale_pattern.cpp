#include "platform/locale_pattern.h"

#include "base/text.h"

namespace qv::platform {

namespace {

void appendLiteral(std::string& out, char c) {
    // Letters are pattern letters, so literal letters go between quotes.
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (c == '\'') {
        out += "''";
    } else if (letter) {
        out += '\'';
        out += c;
        out += '\'';
    } else {
        out += c;
    }
}

void convert(std::string& out, std::string_view f, std::string_view ampm, int depth) {
    for (std::size_t i = 0; i < f.size(); ++i) {
        char c = f[i];
        if (c != '%' || i + 1 >= f.size()) {
            appendLiteral(out, c);
            continue;
        }
        char k = f[++i];
        // Flags and modifiers: padding flags, field width, E and O.
        bool noPad = false;
        while ((k == '-' || k == '_' || k == '0' || k == '^' || k == '#' || (k >= '1' && k <= '9') || k == 'E' ||
                k == 'O') &&
               i + 1 < f.size()) {
            if (k == '-')
                noPad = true;
            k = f[++i];
        }
        switch (k) {
        case 'Y': case 'y': case 'G': case 'g': case 'C': out += "yyyy"; break;
        case 'm': out += noPad ? "M" : "MM"; break;
        case 'd': out += noPad ? "d" : "dd"; break;
        case 'e': out += "d"; break;
        case 'b': case 'h': out += "MMM"; break;
        case 'B': out += "MMMM"; break;
        case 'a': out += "ddd"; break;
        case 'A': out += "dddd"; break;
        case 'H': out += noPad ? "H" : "HH"; break;
        case 'k': out += "H"; break;
        case 'I': out += noPad ? "h" : "hh"; break;
        case 'l': out += "h"; break;
        case 'M': out += noPad ? "m" : "mm"; break;
        case 'S': out += noPad ? "s" : "ss"; break;
        case 'p': case 'P': out += "tt"; break;
        case 'n': case 't': out += ' '; break;
        case '%': out += '%'; break;
        case 'r':
            if (depth < 2)
                convert(out, ampm.empty() ? std::string_view("%I:%M:%S %p") : ampm, ampm, depth + 1);
            break;
        case 'T': convert(out, "%H:%M:%S", ampm, depth + 1); break;
        case 'R': convert(out, "%H:%M", ampm, depth + 1); break;
        case 'D': convert(out, "%m/%d/%y", ampm, depth + 1); break;
        case 'F': convert(out, "%Y-%m-%d", ampm, depth + 1); break;
        case 'Z': case 'z': break;  // a zone never belongs in a value
        default: break;              // fields without a place in a date-time text
        }
    }
}

}  // namespace

std::string strftimeToPattern(std::string_view format, std::string_view ampmFormat) {
    std::string out;
    convert(out, format, ampmFormat, 0);
    // A dropped zone field leaves its blanks behind.
    return text::trim(out);
}

}  // namespace qv::platform
