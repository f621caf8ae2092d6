#include "platform/locale_pattern.h"

#include <algorithm>

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

std::string cldrToPattern(std::string_view pattern) {
    // CLDR puts a narrow or plain no-break space before "AM"; people type a
    // plain one, and parsing must take what formatting gives.
    std::string spaced(pattern);
    text::replaceAll(spaced, "\xE2\x80\xAF", " ");
    text::replaceAll(spaced, "\xC2\xA0", " ");
    const std::string_view p = spaced;
    std::string out;
    for (std::size_t i = 0; i < p.size();) {
        const char c = p[i];
        if (c == '\'') {
            // Quoted text, with '' for a quote, is the same in both forms.
            std::size_t end = i + 1;
            while (end < p.size()) {
                if (p[end] == '\'' && end + 1 < p.size() && p[end + 1] == '\'') {
                    end += 2;
                    continue;
                }
                if (p[end] == '\'')
                    break;
                ++end;
            }
            out.append(p.substr(i, std::min(end + 1, p.size()) - i));
            i = end + 1;
            continue;
        }
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            out += c;
            ++i;
            continue;
        }
        std::size_t n = 1;
        while (i + n < p.size() && p[i + n] == c)
            ++n;
        i += n;
        auto counted = [&](char letter, std::size_t most) { out.append(std::min(n, most), letter); };
        switch (c) {
        case 'y': case 'Y': case 'u': out += "yyyy"; break;
        case 'M': case 'L': counted('M', 4); break;
        case 'd': counted('d', 2); break;
        case 'E': case 'c': case 'e': out += n >= 4 ? "dddd" : "ddd"; break;
        case 'H': case 'k': counted('H', 2); break;
        case 'h': case 'K': counted('h', 2); break;
        case 'm': counted('m', 2); break;
        case 's': counted('s', 2); break;
        case 'a': case 'b': case 'B': out += "tt"; break;
        default: break;  // eras, zones, fractions, weeks: no place in a value
        }
    }
    return text::trim(out);
}

std::string strftimeToPattern(std::string_view format, std::string_view ampmFormat) {
    std::string out;
    convert(out, format, ampmFormat, 0);
    // A dropped zone field leaves its blanks behind.
    return text::trim(out);
}

}  // namespace qv::platform
