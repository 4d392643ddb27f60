#include "platform/gfxutil/hlsl/GfxUtilHlslTextureObjects.h"

#include "platform/gfxutil/hlsl/GfxUtilHlslText.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>
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
    int unit = -1;                          // its `register(tN)`
    bool read = false;
};

// A global sampler's declaration: where its name is, the unit its
// `register(sN)` binds (-1 when none) and how many units it spans.
struct SamplerDeclaration {
    std::size_t nameAt = 0;
    int unit = -1;
    int count = 1;
};

// A texture read through a sampler: the combined sampler it becomes.
struct Combined {
    std::string name;
    const Kind* kind = nullptr;
    std::string_view sampler, texture;
    int unit = -1;
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

// The unit of `letter`'s register set (`s` or `t`) a declarator binds from
// `at`, past its name and array sizes: `: register(s1)` or
// `: register(ps, s1)` among its other `: ...` parts; -1 when none (or past
// the sixteen sampler units).
int BoundUnit(const std::vector<Token>& t, std::size_t at, char letter) {
    while (at + 1 < t.size() && Is(t[at], ":") && IdentStart(t[at + 1].text[0])) {
        const bool binding = Is(t[at + 1], "register");
        at += 2;
        if (at >= t.size() || !Is(t[at], "(")) continue;
        const std::size_t close = std::min(t[at].close, t.size());
        for (std::size_t k = at + 1; binding && k < close; ++k) {
            const std::string_view w = t[k].text;
            if (w.size() < 2 || w.size() > 3 || (w[0] != letter && w[0] != letter - ('a' - 'A'))) continue;
            int unit = 0;
            for (const char c : w.substr(1)) unit = c >= '0' && c <= '9' ? unit * 10 + (c - '0') : 99;
            return unit < 16 ? unit : -1;
        }
        at = close + 1;
    }
    return -1;
}

// The units the combined samplers are bound to. A pair is a sampler of its
// own, a constant of the sampler register set, so the binding the author
// wrote in that set, the sampler state's `register(sN)`, binds it. A
// texture's `register(tN)` names a set shader models 2 and 3 do not have;
// where the sampler state is unbound it says at which unit the texture is
// meant to be set, and binds the pair there rather than leaving it to
// whatever unit is free. Sampler states claim before textures, in the order
// the pairs are first read, and a unit is bound once: a pair whose unit
// another sampler holds (a second texture read through one bound sampler
// state, or a sampler state read on its own too, which keeps its register)
// is left unbound, and the allocation gives it a free unit past those bound.
void BindCombined(const std::vector<Token>& t, const std::map<std::string_view, TextureObject>& textures,
                  const std::map<std::string_view, SamplerDeclaration>& samplers, const std::vector<Edit>& reads,
                  std::vector<Combined>& combined) {
    // The samplers read on their own, outside the reads made combined: they
    // stay constants and hold their registers.
    std::set<std::string_view> own;
    std::size_t read = 0;
    for (std::size_t k = 0; k < t.size() && Step(); ++k) {
        while (read < reads.size() && reads[read].end <= t[k].begin) ++read;
        if (read < reads.size() && reads[read].begin <= t[k].begin) continue;
        const auto s = samplers.find(t[k].text);
        if (s != samplers.end() && s->second.nameAt != k && !(k > 0 && Is(t[k - 1], "."))) own.insert(t[k].text);
    }
    std::set<int> taken;
    for (const auto& [name, s] : samplers)
        if (own.count(name) && s.unit >= 0)
            for (int u = s.unit; u < s.unit + s.count; ++u) taken.insert(u);
    for (const bool bySampler : {true, false})
        for (Combined& c : combined) {
            if (c.unit >= 0) continue;
            int unit = -1;
            if (bySampler) {
                const auto s = samplers.find(c.sampler);
                if (s != samplers.end() && !own.count(c.sampler)) unit = s->second.unit;
            } else {
                unit = textures.at(c.texture).unit;
            }
            if (unit >= 0 && taken.insert(unit).second) c.unit = unit;
        }
}

} // namespace

std::string CombineTextureObjects(std::string_view source) {
    if (source.find(".Sample") == std::string_view::npos) return std::string(source);
    const std::vector<Token> t = Tokenize(source);
    std::map<std::string_view, TextureObject> textures;
    std::map<std::string_view, SamplerDeclaration> samplerDeclarations;
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
        if (SamplerWord(t[i]) && statement < t.size()) {
            insertAt = std::min(insertAt, t[statement].begin);
            if (i + 1 < t.size() && IdentStart(t[i + 1].text[0])) {
                SamplerDeclaration& d = samplerDeclarations[t[i + 1].text];
                d.nameAt = i + 1;
                std::size_t at = i + 2;
                for (; at < t.size() && Is(t[at], "[") && t[at].close < t.size(); at = t[at].close + 1)
                    if (t[at].close == at + 2) d.count *= std::max(1, int(Number(t[at + 1].text)));
                d.unit = BoundUnit(t, at, 's');
            }
        }
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
        object.unit = BoundUnit(t, i + 2, 't');
        i = end - 1; // the ';' ends the statement
    }
    if (textures.empty()) return std::string(source);

    // The reads, each pair of texture and sampler one combined sampler.
    std::map<std::pair<std::string_view, std::string_view>, std::string> pairs;
    std::vector<Combined> declared; // in order of first read
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
            declared.push_back({name, object.kind, sampler, texture, -1});
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
    BindCombined(t, textures, samplerDeclarations, edits, declared);
    std::string samplers;
    for (const Combined& c : declared) {
        samplers += std::string(c.kind->sampler) + " " + c.name;
        if (c.unit >= 0) samplers += " : register(s" + std::to_string(c.unit) + ")";
        samplers += "; ";
    }
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
