#include "platform/gfxutil/hlsl/GfxUtilHlslTextureObjects.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <utility>
#include <vector>

namespace gfx::hlsl {
namespace {

// A texture object's type, the combined sampler it becomes and the lookup
// that reads that; `padding` fills the coordinates out to the three
// components before the level of a lod or bias lookup.
struct Kind {
    std::string_view type;
    const char* sampler;
    const char* lookup;
    const char* padding;
};
constexpr Kind kKinds[] = {{"Texture1D", "sampler1D", "tex1D", "0, 0, "},
                           {"Texture2D", "sampler2D", "tex2D", "0, "},
                           {"Texture3D", "sampler3D", "tex3D", ""},
                           {"TextureCube", "samplerCUBE", "texCUBE", ""}};

// The D3D9 compiler reads its texture type words in any case (`texture2D`,
// `Texture2D`, `textureCUBE`, `TextureCube`), as it reads `texture`: each
// spelling names the same object.
const Kind* KindOf(std::string_view type) {
    for (const Kind& k : kKinds)
        if (EqualNoCase(k.type, type)) return &k;
    return nullptr;
}

bool StorageWord(const Token& t) {
    return Is(t, "uniform") || Is(t, "extern") || Is(t, "shared") || Is(t, "static") || Is(t, "const");
}

bool SamplerWord(const Token& t) {
    return Is(t, "sampler") || Is(t, "sampler1D") || Is(t, "sampler2D") || Is(t, "sampler3D") ||
           Is(t, "samplerCUBE") || Is(t, "SamplerState");
}

struct TextureObject {
    const Kind* kind = nullptr;
    std::size_t declBegin = 0, declEnd = 0; // the declaration, storage words to ';'
    bool read = false;
};

struct Edit {
    std::size_t begin = 0, end = 0;
    std::string text;
};

// The arguments of the call whose '(' is at `open`: token ranges split at
// the commas outside any bracket.
std::vector<std::pair<std::size_t, std::size_t>> Arguments(const std::vector<Token>& t, std::size_t open) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    const std::size_t close = t[open].close;
    std::size_t from = open + 1;
    for (std::size_t k = open + 1; k < close && k < t.size() && Step(); ++k) {
        if ((Is(t[k], "(") || Is(t[k], "[") || Is(t[k], "{")) && t[k].close > k) {
            k = t[k].close;
            continue;
        }
        if (Is(t[k], ",")) {
            out.emplace_back(from, k);
            from = k + 1;
        }
    }
    if (from < close) out.emplace_back(from, close);
    return out;
}

// The ';' of a texture's declarator from `at` (past its name): any
// `: SEMANTIC`, `: register(tN)` or `: packoffset(...)`, then annotations;
// t.size() when the declarator is not of that form.
std::size_t DeclarationEnd(const std::vector<Token>& t, std::size_t at) {
    while (at + 1 < t.size() && Is(t[at], ":") && IdentStart(t[at + 1].text[0])) {
        at += 2;
        if (at < t.size() && Is(t[at], "(")) at = t[at].close + 1;
    }
    if (at < t.size() && Is(t[at], "<")) {
        // Annotations: typed values, each to its ';', to the '>'.
        while (++at < t.size() && !Is(t[at], ">") && Step())
            if ((Is(t[at], "{") || Is(t[at], "(") || Is(t[at], "[")) && t[at].close < t.size()) at = t[at].close;
        ++at;
    }
    return at < t.size() && Is(t[at], ";") ? at : t.size();
}

} // namespace

std::string CombineTextureObjects(std::string_view source) {
    if (source.find(".Sample") == std::string_view::npos) return std::string(source);
    const std::vector<Token> t = Tokenize(source);
    std::map<std::string_view, TextureObject> textures;
    std::size_t insertAt = source.size(); // before the first global sampler or texture read
    // The global declarations: `[storage] Texture2D name;` and the first
    // statement that declares a sampler.
    std::size_t statement = 0, type = 0; // where the statement and its type begin
    bool isStatic = false;
    int depth = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!Step()) return std::string(source);
        if (Is(t[i], "{")) ++depth;
        if (Is(t[i], "}") && depth > 0) --depth;
        if (depth == 0 && (Is(t[i], ";") || Is(t[i], "}"))) {
            statement = type = i + 1;
            isStatic = false;
            continue;
        }
        if (depth != 0) continue;
        if (i == type && StorageWord(t[i])) {
            isStatic = isStatic || Is(t[i], "static");
            ++type;
            continue;
        }
        if (i != type) continue;
        if (SamplerWord(t[i]) && statement < t.size()) insertAt = std::min(insertAt, t[statement].begin);
        const Kind* kind = KindOf(t[i].text);
        if (!kind || i + 2 >= t.size() || !IdentStart(t[i + 1].text[0])) continue;
        const std::size_t end = DeclarationEnd(t, i + 2);
        if (end >= t.size()) continue;
        // A static texture is no texture the program is given: refused as it was.
        if (isStatic) continue;
        TextureObject& object = textures[t[i + 1].text];
        object.kind = kind;
        object.declBegin = t[statement].begin;
        object.declEnd = TokenEnd(t[end]);
        i = end - 1; // the ';' ends the statement
    }
    if (textures.empty()) return std::string(source);

    // The reads, each pair of texture and sampler one combined sampler.
    std::map<std::pair<std::string_view, std::string_view>, std::string> pairs;
    std::vector<std::pair<std::string, const Kind*>> declared; // in order of first read
    std::vector<Edit> edits;
    std::size_t lastEnd = 0;
    for (std::size_t i = 0; i + 3 < t.size(); ++i) {
        if (!Step()) return std::string(source);
        const auto found = textures.find(t[i].text);
        if (found == textures.end() || !Is(t[i + 1], ".") || !Is(t[i + 3], "(") || t[i].begin < lastEnd) continue;
        if (i > 0 && Is(t[i - 1], ".")) continue; // a member of something else
        const std::string_view method = t[i + 2].text;
        const std::size_t wanted = method == "Sample"       ? 2
                                   : method == "SampleLevel" ? 3
                                   : method == "SampleBias"  ? 3
                                   : method == "SampleGrad"  ? 4
                                                             : 0;
        const std::size_t close = t[i + 3].close;
        if (wanted == 0 || close >= t.size()) continue;
        const auto args = Arguments(t, i + 3);
        if (args.size() != wanted || args[0].second != args[0].first + 1 || !IdentStart(t[args[0].first].text[0]))
            continue;
        const std::string_view texture = t[i].text, sampler = t[args[0].first].text;
        TextureObject& object = found->second;
        std::string& name = pairs[{texture, sampler}];
        if (name.empty()) {
            name.assign(kCombinedSampler).append(sampler).append(kCombinedJoint).append(texture);
            declared.emplace_back(name, object.kind);
        }
        object.read = true;
        const auto text = [&](std::size_t a) {
            const auto [from, to] = args[a];
            return std::string(source.substr(t[from].begin, TokenEnd(t[to - 1]) - t[from].begin));
        };
        const Kind& kind = *object.kind;
        std::string call;
        if (method == "Sample")
            call = std::string(kind.lookup) + "(" + name + ", " + text(1) + ")";
        else if (method == "SampleGrad")
            call = std::string(kind.lookup) + "grad(" + name + ", " + text(1) + ", " + text(2) + ", " + text(3) + ")";
        else
            call = std::string(kind.lookup) + (method == "SampleLevel" ? "lod" : "bias") + "(" + name + ", float4(" +
                   text(1) + ", " + kind.padding + text(2) + "))";
        // The line breaks between the sampler and the coordinates go after
        // the lookup: the lines after it stay where they were.
        const std::string_view replaced = source.substr(t[i].begin, TokenEnd(t[close]) - t[i].begin);
        const auto breaks = [](std::string_view s) { return std::count(s.begin(), s.end(), '\n'); };
        call.append(std::size_t(std::max<std::ptrdiff_t>(0, breaks(replaced) - breaks(call))), '\n');
        edits.push_back({t[i].begin, TokenEnd(t[close]), std::move(call)});
        lastEnd = TokenEnd(t[close]);
    }
    if (declared.empty()) return std::string(source);

    // The texture a sampler now stands for is declared no more; the samplers
    // come before every other, in the order they are first read.
    std::string samplers;
    for (const auto& [name, kind] : declared) samplers += std::string(kind->sampler) + " " + name + "; ";
    for (const auto& [name, object] : textures) {
        if (!object.read) continue;
        insertAt = std::min(insertAt, object.declBegin);
        std::string blank(source.substr(object.declBegin, object.declEnd - object.declBegin));
        for (char& c : blank)
            if (c != '\n') c = ' ';
        edits.push_back({object.declBegin, object.declEnd, std::move(blank)});
    }
    edits.push_back({insertAt, insertAt, samplers});
    std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
    });
    std::string out;
    out.reserve(source.size() + samplers.size());
    std::size_t at = 0;
    for (const Edit& e : edits) {
        if (e.begin < at) continue;
        out.append(source.substr(at, e.begin - at));
        out += e.text;
        at = e.end;
    }
    out.append(source.substr(at));
    return out;
}

std::string CombinedSamplerTableName(std::string_view word) {
    if (!word.starts_with(kCombinedSampler)) return std::string(word);
    word.remove_prefix(kCombinedSampler.size());
    const std::size_t joint = word.find(kCombinedJoint);
    if (joint == std::string_view::npos) return std::string(word);
    return std::string(word.substr(0, joint)) + "+" + std::string(word.substr(joint + kCombinedJoint.size()));
}

} // namespace gfx::hlsl
