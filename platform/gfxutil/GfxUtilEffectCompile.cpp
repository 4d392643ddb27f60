// The `compile` passes of an effect: each distinct profile, entry and
// argument list is compiled once from the effect's own text, and its
// constants are tied to the parameters of their names.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffectData.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslCompile.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/GfxUtilPreprocess.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace gfx::effect {
namespace {

bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The text split at the commas outside brackets, each piece trimmed.
std::vector<std::string> SplitTopLevel(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    int depth = 0;
    for (const char c : text) {
        if (c == '(' || c == '[' || c == '{') ++depth;
        if (c == ')' || c == ']' || c == '}') --depth;
        if (c == ',' && depth == 0) {
            out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    out.push_back(current);
    for (std::string& s : out) {
        const std::size_t a = s.find_first_not_of(" \t\n");
        const std::size_t b = s.find_last_not_of(" \t\n");
        s = a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
    }
    if (out.size() == 1 && out[0].empty()) out.clear();
    return out;
}

bool HasWord(const std::string& text, const char* word) {
    const std::size_t n = std::strlen(word);
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        if ((at == 0 || !IdentChar(text[at - 1])) && (at + n >= text.size() || !IdentChar(text[at + n]))) return true;
    return false;
}

// A parameter's name: the last word before its semantic, array size or
// default value.
std::string ParameterName(const std::string& declaration) {
    const std::size_t cut = declaration.find_first_of(":=[");
    const std::string head = declaration.substr(0, cut);
    std::size_t end = head.size();
    while (end > 0 && !IdentChar(head[end - 1])) --end;
    std::size_t begin = end;
    while (begin > 0 && IdentChar(head[begin - 1])) --begin;
    return head.substr(begin, end - begin);
}

// The cast that gives an argument its uniform parameter's numeric type, as
// the compiler converts a `compile` call's arguments (`-L` of a float4 for a
// float3, the literal 0 for a float3); empty for a struct, an array or a
// type with template arguments, which are passed as written.
std::string ArgumentCast(const std::string& declaration) {
    const std::size_t cut = declaration.find_first_of(":=");
    const std::string head = declaration.substr(0, cut);
    if (head.find_first_of("[<") != std::string::npos) return {};
    std::vector<std::string> words;
    for (std::size_t i = 0; i < head.size();) {
        if (!IdentChar(head[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < head.size() && IdentChar(head[j])) ++j;
        words.push_back(head.substr(i, j - i));
        i = j;
    }
    if (words.size() < 2) return {};
    const std::string& type = words[words.size() - 2];
    static constexpr const char* kBases[] = {"float", "half", "double", "int", "uint", "bool", "min16float",
                                             "min10float", "min16int"};
    for (const char* base : kBases) {
        const std::size_t n = std::strlen(base);
        if (type.compare(0, n, base) != 0) continue;
        const std::string rest = type.substr(n);
        const bool vector = rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4';
        const bool matrix = rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' &&
                            rest[2] <= '4';
        if (rest.empty() || vector || matrix) return "(" + type + ")";
    }
    return {};
}

// An entry called with arguments (`compile ps_2_0 PS(true)`) gives its
// uniform parameters those values: a new entry taking only the others calls
// it, in `wrapped`, a line to put after the source. False with `error` when
// the entry or the argument count is wrong.
bool WrapEntry(const std::string& source, const std::string& entry, const std::string& callArguments,
               std::string& wrapped, std::string& newEntry, std::string& error) {
    // The entry's definition: at brace depth 0, its name then '(' ... ')' then
    // an optional semantic, then '{'.
    int depth = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        const char c = source[i];
        if (c == '{') ++depth;
        if (c == '}') --depth;
        if (depth != 0 || source.compare(i, entry.size(), entry) != 0 || (i > 0 && IdentChar(source[i - 1])) ||
            (i + entry.size() < source.size() && IdentChar(source[i + entry.size()])))
            continue;
        std::size_t open = i + entry.size();
        while (open < source.size() && std::isspace(static_cast<unsigned char>(source[open]))) ++open;
        if (open >= source.size() || source[open] != '(') continue;
        std::size_t close = open;
        for (int d = 0; close < source.size(); ++close) {
            if (source[close] == '(') ++d;
            else if (source[close] == ')' && --d == 0) break;
        }
        const std::size_t body = source.find_first_of("{;", close);
        if (close >= source.size() || body == std::string::npos || source[body] != '{') continue;
        // The return type: the word before the name.
        std::size_t typeEnd = i;
        while (typeEnd > 0 && std::isspace(static_cast<unsigned char>(source[typeEnd - 1]))) --typeEnd;
        std::size_t typeBegin = typeEnd;
        while (typeBegin > 0 && IdentChar(source[typeBegin - 1])) --typeBegin;
        const std::string returnType = source.substr(typeBegin, typeEnd - typeBegin);
        const std::string semantic = source.substr(close + 1, body - close - 1);
        const std::vector<std::string> parameters = SplitTopLevel(source.substr(open + 1, close - open - 1));
        const std::vector<std::string> values = SplitTopLevel(callArguments);
        std::string kept, call;
        std::size_t used = 0;
        for (const std::string& p : parameters) {
            if (!call.empty()) call += ", ";
            if (HasWord(p, "uniform")) {
                if (used >= values.size()) break;
                call += ArgumentCast(p) + "(" + values[used++] + ")";
                continue;
            }
            if (!kept.empty()) kept += ", ";
            kept += p;
            call += ParameterName(p);
        }
        std::size_t uniforms = 0;
        for (const std::string& p : parameters) uniforms += HasWord(p, "uniform") ? 1 : 0;
        if (uniforms != values.size()) {
            error = "'" + entry + "' takes " + std::to_string(uniforms) + " uniform argument" +
                    (uniforms == 1 ? "" : "s") + ", " + std::to_string(values.size()) + " given";
            return false;
        }
        newEntry = "fx_" + entry + "_call";
        wrapped = returnType + " " + newEntry + "(" + kept + ")" + semantic + " { " +
                  (returnType == "void" ? "" : "return ") + entry + "(" + call + "); }\n";
        return true;
    }
    error = "no definition of '" + entry + "'";
    return false;
}

// The compiler's "name(k,col): error: text" lines with k turned into the
// effect file's own line.
std::string Relocate(const std::string& errors, const std::string& name, const std::vector<SourceLine>& where,
                     std::string& firstReason) {
    std::string out;
    std::size_t at = 0;
    while (at < errors.size()) {
        std::size_t end = errors.find('\n', at);
        if (end == std::string::npos) end = errors.size();
        std::string line = errors.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        std::string file = name;
        int number = 0;
        std::string text = line;
        if (line.compare(0, name.size() + 1, name + "(") == 0) {
            const std::size_t close = line.find("): ", name.size());
            if (close != std::string::npos) {
                const long k = std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
                if (k >= 1 && static_cast<std::size_t>(k) <= where.size()) {
                    file = where[static_cast<std::size_t>(k - 1)].file;
                    number = where[static_cast<std::size_t>(k - 1)].line;
                }
                text = line.substr(close + 3);
                if (text.compare(0, 7, "error: ") == 0) text = text.substr(7);
            }
        }
        if (firstReason.empty()) firstReason = text;
        out += file + "(" + std::to_string(number) + "): warning: " + text + "\n";
    }
    return out;
}

// The effect's source, already preprocessed, as the preprocessor gives a
// text, in a file named `name` (which is how the messages are read back:
// Relocate): its lines that hold more than white space, each numbered as it
// stands in the source. What the reader blanked (techniques, annotations,
// the effect's own objects) leaves whole lines of spaces, as many as the
// effect's passes; every compile would step through them all.
PreprocessedText WithoutBlankLines(const std::string& text, const std::string& name) {
    PreprocessedText lines;
    lines.files.push_back(name);
    lines.text.reserve(text.size());
    std::int32_t number = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        ++number;
        if (text.find_first_not_of(" \t\r", at) < end) {
            lines.text.append(text, at, end - at).push_back('\n');
            lines.origins.push_back({0, number});
        }
        at = end + 1;
    }
    return lines;
}

// `base` with the lines of `more` (each ended by '\n') after it, numbered
// from `first`.
PreprocessedText WithLines(const PreprocessedText& base, const std::string& more, std::int32_t first) {
    PreprocessedText lines = base;
    lines.text += more;
    const auto count = static_cast<std::size_t>(std::count(more.begin(), more.end(), '\n'));
    for (std::size_t k = 0; k < count; ++k) lines.origins.push_back({0, first + static_cast<std::int32_t>(k)});
    return lines;
}

} // namespace

bool CompileEffectShaders(EffectData& d, const std::string& source, const std::vector<SourceLine>& where,
                          const std::string& name, std::string& messages, std::uint8_t majority) {
    // One deadline covers the effect's load: once it has passed, no pass
    // starts its compile (each would still run the text passes over the
    // whole text before looking at the clock), and the effect fails rather
    // than load without the programs it names.
    const HlslCompileScope* scope = HlslCompileScope::Current();
    bool late = false;
    struct Result {
        std::vector<std::uint32_t> code;
        std::string error;
    };
    std::map<std::string, Result> done; // by profile, entry and arguments
    const PreprocessedText compact = WithoutBlankLines(source, name);
    const auto afterLast = static_cast<std::int32_t>(std::count(source.begin(), source.end(), '\n') +
                                                     (source.empty() || source.back() == '\n' ? 1 : 2));
    auto compile = [&](State& s) {
        if (s.source != State::Source::Compile || !s.error.empty() || s.profile.empty()) return;
        const std::string key = s.profile + " " + s.entry + "(" + s.callArguments + ")";
        auto it = done.find(key);
        if (it == done.end()) {
            if (late || (scope && scope->Expired())) {
                late = true;
                s.error = "compile " + key + ": not compiled, the effect took too long to load";
                s.code.clear();
                return;
            }
            Result r;
            std::string wrapper, entry = s.entry, error;
            if (!s.callArguments.empty() && !WrapEntry(compact.text, s.entry, s.callArguments, wrapper, entry, error)) {
                r.error = error;
                messages += name + "(0): warning: compile " + key + ": " + error + "\n";
            } else {
                std::vector<std::uint8_t> code;
                std::string errors;
                // The wrapper's line stands after the source's last.
                if (hlsl::CompilePreprocessed(wrapper.empty() ? compact : WithLines(compact, wrapper, afterLast),
                                              name.c_str(), entry.c_str(), s.profile.c_str(), code, errors,
                                              majority)) {
                    r.code.resize(code.size() / 4);
                    std::memcpy(r.code.data(), code.data(), r.code.size() * 4);
                } else {
                    std::string reason;
                    messages += Relocate(errors, name, where, reason);
                    r.error = reason.empty() ? std::string("the compiler gave no reason") : reason;
                }
            }
            it = done.emplace(key, std::move(r)).first;
        }
        if (!it->second.error.empty()) {
            // No program: the pass describes none, rather than the profile's
            // version alone, which no reader of programs takes.
            s.error = "compile " + key + ": " + it->second.error;
            s.code.clear();
            return;
        }
        ShaderContainer c;
        if (!ReadShaderContainer(it->second.code.data(), it->second.code.size() * 4, c)) {
            s.error = "compile " + key + ": unreadable program";
            s.code.clear();
            return;
        }
        s.code = it->second.code;
        s.bindings.clear();
        for (ShaderConstantRecord& k : c.constants) {
            // A struct member's name is its struct's, not the effect's: no
            // parameter of that name feeds it.
            if (k.parent != -1) continue;
            const std::size_t joint = k.registerSet == D3DXRS_SAMPLER ? k.name.find('+') : std::string::npos;
            if (joint != std::string::npos) {
                const int sampler = d.ParameterIndex(k.name.substr(0, joint));
                const int texture = d.ParameterIndex(k.name.substr(joint + 1));
                s.bindings.push_back({sampler, std::move(k), texture});
                continue;
            }
            const int parameter = d.ParameterIndex(k.name);
            s.bindings.push_back({parameter, std::move(k)});
        }
    };
    for (Parameter& p : d.parameters) {
        if (p.shader) compile(*p.shader);
        for (State& element : p.shaders) compile(element);
    }
    for (Technique& t : d.techniques)
        for (Pass& pass : t.passes)
            for (State& s : pass.states) compile(s);
    // A compile may have been cut short by the deadline too.
    return !late && !(scope && scope->Expired());
}

} // namespace gfx::effect
