#include "platform/gfxutil/hlsl/GfxUtilHlslFlattenWords.h"

#include <cctype>
#include <set>

namespace gfx::hlsl::flatten {

std::string_view Canon(std::string_view base) {
    if (base == "half" || base == "min16float" || base == "min10float") return "float";
    if (base == "dword" || base == "min16uint") return "uint";
    if (base == "min16int" || base == "min12int") return "int";
    return base;
}

bool NumericWord(std::string_view w, Shape& s) {
    static constexpr std::string_view kBases[] = {"float",      "half",     "double",   "int",
                                                  "uint",       "bool",     "dword",    "min16float",
                                                  "min10float", "min16int", "min12int", "min16uint"};
    for (std::string_view base : kBases) {
        if (!w.starts_with(base)) continue;
        const std::string_view rest = w.substr(base.size());
        const auto digit = [](char c) { return c >= '1' && c <= '4'; };
        Shape r;
        r.kind = Shape::Kind::Numeric;
        r.base = std::string(base);
        if (rest.size() == 1 && digit(rest[0])) {
            r.cols = rest[0] - '0';
        } else if (rest.size() == 3 && digit(rest[0]) && rest[1] == 'x' && digit(rest[2])) {
            r.rows = rest[0] - '0';
            r.cols = rest[2] - '0';
            r.matrix = true;
        } else if (!rest.empty()) {
            continue;
        }
        s = r;
        return true;
    }
    return false;
}

bool IsQualifier(std::string_view w) {
    static const std::set<std::string_view> kWords = {
        "static",      "const",    "uniform",       "extern", "volatile",  "precise",      "shared",
        "groupshared", "in",       "out",           "inout",  "row_major", "column_major", "nointerpolation",
        "linear",      "centroid", "noperspective", "sample", "snorm",     "unorm",        "inline"};
    return kWords.count(w) > 0;
}

bool IsControlWord(std::string_view w) {
    return w == "if" || w == "for" || w == "while" || w == "do" || w == "else" || w == "switch" || w == "case" ||
           w == "default" || w == "return" || w == "break" || w == "continue" || w == "discard";
}

bool IsNumber(std::string_view w) {
    return !w.empty() && (std::isdigit(static_cast<unsigned char>(w[0])) || (w[0] == '.' && w.size() > 1));
}

bool IsIntegerLiteral(std::string_view w) {
    if (!IsNumber(w) || w.find_first_of(".eE") != std::string_view::npos)
        return w.starts_with("0x") || w.starts_with("0X");
    const char last = w.back();
    return last != 'f' && last != 'F' && last != 'h' && last != 'H';
}

bool MayHoldComponentForms(std::string_view source) {
    if (source.find_first_of('[') != std::string_view::npos || source.find("struct") != std::string_view::npos ||
        source.find("typedef") != std::string_view::npos)
        return true;
    for (std::size_t at = source.find('x', 1); at != std::string_view::npos; at = source.find('x', at + 1))
        if (at + 1 < source.size() && std::isdigit(static_cast<unsigned char>(source[at - 1])) &&
            std::isdigit(static_cast<unsigned char>(source[at + 1])))
            return true;
    // An out or inout parameter: its arguments may need writing back.
    for (std::size_t at = source.find("out"); at != std::string_view::npos; at = source.find("out", at + 1)) {
        const bool startsWord = at == 0 || !(std::isalnum(static_cast<unsigned char>(source[at - 1])) ||
                                             source[at - 1] == '_') ||
                                (at >= 2 && source.substr(at - 2, 2) == "in" &&
                                 (at == 2 || !(std::isalnum(static_cast<unsigned char>(source[at - 3])) ||
                                               source[at - 3] == '_')));
        const bool endsWord = at + 3 < source.size() && std::isspace(static_cast<unsigned char>(source[at + 3]));
        if (startsWord && endsWord) return true;
    }
    for (std::size_t at = source.find('{'); at != std::string_view::npos; at = source.find('{', at + 1)) {
        std::size_t before = at;
        while (before > 0 && std::isspace(static_cast<unsigned char>(source[before - 1]))) --before;
        if (before > 0 && source[before - 1] == '=') return true;
    }
    return false;
}

} // namespace gfx::hlsl::flatten
