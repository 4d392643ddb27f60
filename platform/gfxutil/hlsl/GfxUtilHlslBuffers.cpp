#include "platform/gfxutil/hlsl/GfxUtilHlslBuffers.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <set>
#include <string_view>
#include <vector>

namespace gfx::hlsl {

std::string OpenConstantBuffers(std::string_view source) {
    if (source.find("buffer") == std::string_view::npos) return std::string(source);
    const std::vector<Token> t = Tokenize(source);
    std::string out(source);
    // `single` made a type name by a typedef is no modifier.
    bool singleIsType = false;
    for (std::size_t i = 0; i + 1 < t.size(); ++i)
        if (Is(t[i], "typedef"))
            for (std::size_t k = i + 1; k + 1 < t.size() && !Is(t[k], ";"); ++k)
                singleIsType = singleIsType || (Is(t[k], "single") && Is(t[k + 1], ";"));
    // The names of static consts: a member's initial value may name them.
    std::set<std::string_view> staticConsts;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!Is(t[i], "static") && !Is(t[i], "const")) continue;
        bool isStatic = false, isConst = false;
        std::size_t k = i;
        for (; k < t.size() && (Is(t[k], "static") || Is(t[k], "const")); ++k) {
            isStatic = isStatic || Is(t[k], "static");
            isConst = isConst || Is(t[k], "const");
        }
        if (!isStatic || !isConst) continue;
        // The type's words, then the name before its initialiser or end.
        std::size_t name = 0;
        for (; k < t.size() && !Is(t[k], "=") && !Is(t[k], ";") && !Is(t[k], "[") && !Is(t[k], ":"); ++k)
            if (Is(t[k], "<")) {
                while (k < t.size() && !Is(t[k], ">")) ++k;
            } else if (IdentStart(t[k].text.front())) {
                name = k;
            }
        if (name > i) staticConsts.insert(t[name].text);
        i = k;
    }
    for (std::size_t i = 0; i + 2 < t.size(); ++i) {
        if (!Is(t[i], "cbuffer") && !Is(t[i], "tbuffer")) continue;
        // fx_5_0's `single` in front means nothing here.
        const std::size_t start = i > 0 && Is(t[i - 1], "single") && !singleIsType ? i - 1 : i;
        // A statement of its own: after another, or first in a namespace.
        const bool first = start >= 3 && Is(t[start - 1], "{") && Is(t[start - 3], "namespace");
        if (start > 0 && !Is(t[start - 1], ";") && !Is(t[start - 1], "}") && !first) continue;
        if (!IdentStart(t[i + 1].text.front())) continue;
        std::size_t open = i + 2;
        if (open + 3 < t.size() && Is(t[open], ":") && Is(t[open + 1], "register") && Is(t[open + 2], "("))
            open = MatchClose(t, open + 2) + 1;
        if (open < t.size() && Is(t[open], "<")) {
            while (open < t.size() && !Is(t[open], ">")) ++open;
            ++open;
        }
        if (open >= t.size() || !Is(t[open], "{")) continue;
        const std::size_t close = MatchClose(t, open);
        if (close >= t.size()) continue;
        // A member's initial value is a literal expression, or names static
        // consts; one naming another constant stays in the buffer, which is
        // then refused.
        bool literal = true;
        for (std::size_t k = open + 1; k < close; ++k) {
            if (!Is(t[k], "=")) continue;
            for (++k; k < close && !Is(t[k], ";"); ++k) {
                const std::string_view w = t[k].text;
                if (IdentStart(w.front()) && w != "true" && w != "false" && !w.starts_with("float") &&
                    !w.starts_with("int") && !w.starts_with("uint") && !w.starts_with("bool") &&
                    !w.starts_with("half") && !w.starts_with("double") && !staticConsts.count(w))
                    literal = false;
            }
        }
        if (!literal) continue;
        Blank(out, t[start].begin, TokenEnd(t[open]));
        std::size_t end = TokenEnd(t[close]);
        if (close + 1 < t.size() && Is(t[close + 1], ";")) end = TokenEnd(t[close + 1]);
        Blank(out, t[close].begin, end);
        for (std::size_t k = open + 1; k + 3 < close; ++k)
            if (Is(t[k], ":") && Is(t[k + 1], "packoffset") && Is(t[k + 2], "(") && t[k + 3].text.size() >= 2 &&
                (t[k + 3].text[0] == 'c' || t[k + 3].text[0] == 'C') && k + 4 < close && Is(t[k + 4], ")"))
                out.replace(t[k + 1].begin, t[k + 1].text.size(), "register  ");
        i = close;
    }
    return out;
}

} // namespace gfx::hlsl
