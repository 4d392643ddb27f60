// Reading an effect text: the preprocessor (includes, object-like and
// function-like macros with '#' and '##', conditionals, pragmas), a tokenizer,
// and the reader of parameters, functions and techniques. Nothing read from the text is trusted: sizes, counts, nesting
// and macro growth are bounded, and every problem is a "file(line): text"
// line rather than a stop.

#include "platform/gfxutil/GfxUtilEffectData.h"
#include "platform/gfxutil/GfxUtilHlslGuard.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "platform/gfx/GfxShaderTokens.h"
#include "platform/os/OsFiles.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace gfx::effect {
namespace {

constexpr std::size_t kMaxIncludeDepth = 16;
constexpr std::size_t kMaxLineGrowth = 16 * 1024;
constexpr std::size_t kMaxErrors = 64;
constexpr std::uint32_t kMaxComponents = 65536; // per parameter
constexpr int kMaxNesting = 64;
constexpr std::size_t kMaxJoinedLines = 64;      // a macro call's arguments over several lines
constexpr std::size_t kMaxMacroParameters = 128;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

struct Line {
    std::string text;
    int file = 0;
    int number = 0;
    std::string pragma; // non-empty: a pragma the reader applies here ("pack_matrix row_major")
};

class Errors {
public:
    explicit Errors(std::vector<std::string>& files) : m_files(files) {}
    void Add(int file, int line, const std::string& text) {
        ++m_count;
        Write(file, line, text);
    }
    // A line in the same buffer that does not refuse the file.
    void Warn(int file, int line, const std::string& text) { Write(file, line, "warning: " + text); }
    [[nodiscard]] bool Any() const { return m_count != 0; }
    [[nodiscard]] const std::string& Text() const { return m_text; }

private:
    void Write(int file, int line, const std::string& text) {
        if (m_lines++ >= kMaxErrors) return;
        m_text += m_files[static_cast<std::size_t>(file)] + "(" + std::to_string(line) + "): " + text + "\n";
    }

    std::vector<std::string>& m_files;
    std::string m_text;
    std::size_t m_count = 0;
    std::size_t m_lines = 0;
};

// ---- preprocessor ---------------------------------------------------------

// Comments out, line continuations joined (the joined line keeps the first
// line's number, later lines stay as empty lines so numbers still match).
std::vector<std::string> SplitClean(const std::string& text, int& openComment) {
    openComment = 0;
    int line = 1;
    std::string out;
    out.reserve(text.size());
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') ++line;
        if (inString) {
            out += c;
            if (c == '\\' && i + 1 < text.size() && text[i + 1] != '\n') out += text[++i];
            else if (c == '"' || c == '\n') inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
            out += c;
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
            while (i < text.size() && text[i] != '\n') ++i;
            if (i < text.size()) out += '\n';
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            i += 2;
            out += ' ';
            if (text.find("*/", i) == std::string::npos) openComment = line;
            while (i < text.size() && !(text[i] == '*' && i + 1 < text.size() && text[i + 1] == '/')) {
                if (text[i] == '\n') {
                    out += '\n';
                    ++line;
                }
                ++i;
            }
            ++i; // past '/'
        } else if (c != '\r') {
            out += c;
        }
    }
    std::vector<std::string> lines;
    std::string current;
    std::size_t pendingBlank = 0;
    for (std::size_t i = 0; i <= out.size(); ++i) {
        if (i == out.size() || out[i] == '\n') {
            if (!current.empty() && current.back() == '\\' && i < out.size()) {
                current.pop_back();
                ++pendingBlank;
                continue;
            }
            lines.push_back(current);
            for (; pendingBlank; --pendingBlank) lines.emplace_back();
            current.clear();
        } else {
            current += out[i];
        }
    }
    return lines;
}

class Preprocessor {
public:
    Preprocessor(std::vector<std::string>& files, Errors& errors) : m_files(files), m_errors(errors) {}

    // A caller's macro: a name and its text, never with parameters.
    void Define(const std::string& name, const std::string& value) {
        Macro m;
        m.body = value;
        m_macros[name] = std::move(m);
    }

    void Run(const std::string& text, int file, std::size_t depth) {
        if (depth == 0) m_bytes += text.size();
        int openComment = 0;
        const std::vector<std::string> lines = SplitClean(text, openComment);
        if (openComment) m_errors.Add(file, openComment, "comment without its end");
        struct Cond {
            bool active, taken, parentActive, elseSeen;
            int line;
        };
        std::vector<Cond> conds;
        auto active = [&] { return conds.empty() || conds.back().active; };
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const int number = static_cast<int>(i) + 1;
            std::string_view l = lines[i];
            std::size_t p = 0;
            while (p < l.size() && std::isspace(static_cast<unsigned char>(l[p]))) ++p;
            if (p >= l.size() || l[p] != '#') {
                if (!active()) continue;
                // A macro call may take its arguments from the lines after it.
                std::string joined(l);
                std::string out;
                for (std::size_t extra = 0;; ++extra) {
                    const bool last = extra >= kMaxJoinedLines || i + 1 >= lines.size() || IsDirective(lines[i + 1]);
                    const Expansion e = ExpandLine(joined, file, number, out, last);
                    if (e != Expansion::Incomplete) break;
                    if (last) {
                        m_errors.Add(file, number, "macro call without its ')'");
                        out.clear();
                        break;
                    }
                    joined += ' ';
                    joined += lines[++i];
                }
                m_out.push_back({std::move(out), file, number, {}});
                continue;
            }
            ++p;
            while (p < l.size() && std::isspace(static_cast<unsigned char>(l[p]))) ++p;
            std::size_t q = p;
            while (q < l.size() && IsIdentChar(l[q])) ++q;
            const std::string directive(l.substr(p, q - p));
            std::string rest(l.substr(q));
            if (directive == "if" || directive == "ifdef" || directive == "ifndef") {
                if (conds.size() >= static_cast<std::size_t>(kMaxNesting)) {
                    m_errors.Add(file, number, "conditionals nested too deeply");
                    return;
                }
                bool value = false;
                if (active()) {
                    if (directive == "if") value = Evaluate(rest, file, number);
                    else {
                        const std::string name = FirstWord(rest);
                        if (name.empty()) m_errors.Add(file, number, "#" + directive + " without a name");
                        value = (m_macros.count(name) != 0) == (directive == "ifdef");
                    }
                }
                const bool parent = active();
                conds.push_back({parent && value, parent && value, parent, false, number});
            } else if (directive == "elif") {
                if (conds.empty() || conds.back().elseSeen) {
                    m_errors.Add(file, number, "#elif without #if");
                    continue;
                }
                Cond& c = conds.back();
                const bool value = c.parentActive && !c.taken && Evaluate(rest, file, number);
                c.active = value;
                c.taken = c.taken || value;
            } else if (directive == "else") {
                if (conds.empty() || conds.back().elseSeen) {
                    m_errors.Add(file, number, "#else without #if");
                    continue;
                }
                Cond& c = conds.back();
                c.active = c.parentActive && !c.taken;
                c.taken = true;
                c.elseSeen = true;
            } else if (directive == "endif") {
                if (conds.empty()) m_errors.Add(file, number, "#endif without #if");
                else conds.pop_back();
            } else if (!active()) {
                continue; // other directives in skipped text are not looked at
            } else if (directive == "define") {
                DefineFromText(rest, file, number);
            } else if (directive == "undef") {
                m_macros.erase(FirstWord(rest));
            } else if (directive == "include") {
                Include(rest, file, number, depth);
            } else if (directive == "pragma") {
                Pragma(rest, file, number);
            } else if (directive == "error") {
                m_errors.Add(file, number, "#error " + Trimmed(rest));
            } else if (directive.empty() && Trimmed(rest).empty()) {
                continue; // a lone '#' is an empty directive
            } else {
                m_errors.Add(file, number, "unsupported directive '#" + directive + "'");
            }
        }
        if (!conds.empty()) m_errors.Add(file, conds.back().line, "#if without #endif");
    }

    std::vector<Line>& Output() { return m_out; }

private:
    struct Macro {
        std::string body;
        std::vector<std::string> params;
        bool function = false;
        bool variadic = false; // the last parameter is "..." (__VA_ARGS__)
    };
    enum class Expansion : std::uint8_t { Done, Incomplete, Failed };

    static std::string FirstWord(const std::string& s) {
        std::size_t a = 0;
        while (a < s.size() && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
        std::size_t b = a;
        while (b < s.size() && IsIdentChar(s[b])) ++b;
        return s.substr(a, b - a);
    }
    static std::string Trimmed(std::string_view s) {
        std::size_t a = 0, b = s.size();
        while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
        while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
        return std::string(s.substr(a, b - a));
    }
    static bool IsDirective(std::string_view l) {
        std::size_t p = 0;
        while (p < l.size() && std::isspace(static_cast<unsigned char>(l[p]))) ++p;
        return p < l.size() && l[p] == '#';
    }

    // "#define NAME text" or "#define NAME(a, b, ...) text"; the '(' must
    // follow the name at once to make a function-like macro.
    void DefineFromText(const std::string& rest, int file, int number) {
        std::size_t a = 0;
        while (a < rest.size() && std::isspace(static_cast<unsigned char>(rest[a]))) ++a;
        std::size_t b = a;
        while (b < rest.size() && IsIdentChar(rest[b])) ++b;
        if (a == b || !IsIdentStart(rest[a])) {
            m_errors.Add(file, number, "#define without a name");
            return;
        }
        const std::string name = rest.substr(a, b - a);
        Macro m;
        std::size_t bodyStart = b;
        if (b < rest.size() && rest[b] == '(') {
            m.function = true;
            std::size_t k = b + 1;
            bool expectName = true, closed = false;
            while (k < rest.size()) {
                const char c = rest[k];
                if (std::isspace(static_cast<unsigned char>(c))) {
                    ++k;
                } else if (c == ')' && (!expectName || m.params.empty())) {
                    closed = true;
                    ++k;
                    break;
                } else if (expectName && !m.variadic && rest.compare(k, 3, "...") == 0) {
                    m.variadic = true;
                    m.params.push_back("__VA_ARGS__");
                    expectName = false;
                    k += 3;
                } else if (expectName && !m.variadic && IsIdentStart(c)) {
                    std::size_t e = k;
                    while (e < rest.size() && IsIdentChar(rest[e])) ++e;
                    std::string param = rest.substr(k, e - k);
                    if (std::find(m.params.begin(), m.params.end(), param) != m.params.end()) {
                        m_errors.Add(file, number, "'" + param + "' named twice in the parameters of '" + name + "'");
                        return;
                    }
                    m.params.push_back(std::move(param));
                    expectName = false;
                    k = e;
                } else if (!expectName && !m.variadic && c == ',') {
                    expectName = true;
                    ++k;
                } else {
                    break;
                }
                if (m.params.size() > kMaxMacroParameters) break;
            }
            if (!closed || m.params.size() > kMaxMacroParameters) {
                m_errors.Add(file, number, "bad parameter list in the definition of '" + name + "'");
                return;
            }
            bodyStart = k;
        }
        m.body = Trimmed(std::string_view(rest).substr(bodyStart));
        // '#' in a function-like macro must name a parameter, and '##' needs
        // something on both sides.
        std::string problem;
        const std::vector<BodyToken> tokens = SplitBody(m.body);
        for (std::size_t t = 0; t < tokens.size() && problem.empty(); ++t) {
            if (tokens[t].text == "##" && (t == 0 || t + 1 == tokens.size()))
                problem = "'##' at the edge of the definition of '" + name + "'";
            else if (m.function && tokens[t].text == "#" &&
                     (t + 1 == tokens.size() || ParamIndex(m, tokens[t + 1].text) < 0))
                problem = "'#' not followed by a parameter in the definition of '" + name + "'";
        }
        if (!problem.empty()) {
            m_errors.Add(file, number, problem);
            return;
        }
        m_macros[name] = std::move(m);
    }

    // Pragmas the reader knows are applied; others are let pass with a warning.
    void Pragma(const std::string& rest, int file, int number) {
        const std::string name = FirstWord(rest);
        std::string args = Trimmed(std::string_view(rest).substr(rest.find(name) + name.size()));
        if (name == "once") {
            m_onceFiles.insert(m_files[static_cast<std::size_t>(file)]);
        } else if (name == "pack_matrix") {
            const std::string how = args.size() >= 2 && args.front() == '(' && args.back() == ')'
                                        ? Trimmed(std::string_view(args).substr(1, args.size() - 2))
                                        : std::string();
            if (how == "row_major" || how == "column_major")
                m_out.push_back({std::string(), file, number, "pack_matrix " + how});
            else
                m_errors.Warn(file, number, "#pragma pack_matrix takes row_major or column_major; ignored");
        } else if (name == "warning" || name == "def") {
            // Compiler warning switches: this reader gives no numbered warnings.
        } else if (name == "message") {
            std::string text = args;
            if (text.size() >= 2 && text.front() == '(' && text.back() == ')') text = Trimmed(text.substr(1, text.size() - 2));
            if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
            m_errors.Warn(file, number, "message: " + text);
        } else {
            m_errors.Warn(file, number, "unknown #pragma '" + (name.empty() ? Trimmed(rest) : name) + "' ignored");
        }
    }

    void Include(const std::string& rest, int file, int number, std::size_t depth) {
        std::size_t a = rest.find_first_of("\"<");
        if (a == std::string::npos) {
            m_errors.Add(file, number, "#include without a file name");
            return;
        }
        const char close = rest[a] == '"' ? '"' : '>';
        const std::size_t b = rest.find(close, a + 1);
        if (b == std::string::npos) {
            m_errors.Add(file, number, "#include without a file name");
            return;
        }
        const std::string name = rest.substr(a + 1, b - a - 1);
        if (depth + 1 >= kMaxIncludeDepth) {
            m_errors.Add(file, number, "includes nested too deeply");
            return;
        }
        // Beside the including file, then in the include folders.
        const std::string& including = m_files[static_cast<std::size_t>(file)];
        const std::size_t slash = including.find_last_of("/\\");
        std::vector<std::string> candidates{slash == std::string::npos ? name : including.substr(0, slash + 1) + name};
        for (const std::string& folder : GetIncludeFolders()) candidates.push_back(JoinIncludePath(folder, name));
        std::string path;
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(nullptr, &std::fclose);
        for (const std::string& candidate : candidates) {
            f.reset(os::OpenFile(candidate, "rb"));
            if (f) {
                path = candidate;
                break;
            }
        }
        if (f && m_onceFiles.count(path)) return; // "#pragma once" and already read
        std::string text;
        if (!f) {
            m_errors.Add(file, number, "cannot open include file '" + name + "'");
            return;
        }
        // Files that include each other several times over grow the text
        // exponentially: the count and the bytes are capped as a compile's are.
        const HlslCompileScope* scope = HlslCompileScope::Current();
        const HlslCompileLimits limits = scope ? scope->Limits() : HlslCompileLimits{};
        if (++m_includes > limits.includes) {
            m_errors.Add(file, number, "more than " + std::to_string(limits.includes) + " includes");
            return;
        }
        if (!ReadIncludeText(f.get(), limits.expandedBytes - std::min(m_bytes, limits.expandedBytes), text)) {
            m_errors.Add(file, number,
                         std::ferror(f.get()) ? "cannot read include file '" + name + "'"
                                              : "the text with its includes passes " +
                                                    std::to_string(limits.expandedBytes) + " bytes");
            return;
        }
        m_bytes += text.size();
        m_files.push_back(path);
        Run(text, static_cast<int>(m_files.size() - 1), depth + 1);
    }

    // ---- macro expansion
    // A macro's body in preprocessing tokens: names, numbers, string and
    // character literals, "##", and single other characters; each notes
    // whether white space came before it.
    struct BodyToken {
        std::string text;
        bool spaceBefore = false;
    };
    static std::vector<BodyToken> SplitBody(const std::string& s) {
        std::vector<BodyToken> out;
        bool space = false;
        for (std::size_t i = 0; i < s.size();) {
            const char c = s[i];
            std::size_t j = i + 1;
            if (std::isspace(static_cast<unsigned char>(c))) {
                space = true;
                ++i;
                continue;
            }
            if (IsIdentStart(c)) {
                while (j < s.size() && IsIdentChar(s[j])) ++j;
            } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                       (c == '.' && j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))) {
                while (j < s.size() && (IsIdentChar(s[j]) || s[j] == '.')) ++j;
            } else if (c == '"' || c == '\'') {
                while (j < s.size() && s[j] != c) j += (s[j] == '\\' && j + 1 < s.size()) ? 2 : 1;
                j = std::min(j + 1, s.size());
            } else if (c == '#' && j < s.size() && s[j] == '#') {
                j = i + 2;
            }
            out.push_back({s.substr(i, j - i), space});
            space = false;
            i = j;
        }
        return out;
    }
    static int ParamIndex(const Macro& m, const std::string& name) {
        for (std::size_t k = 0; k < m.params.size(); ++k)
            if (m.params[k] == name) return static_cast<int>(k);
        return -1;
    }
    static std::string Stringize(const std::string& arg) {
        std::string out = "\"";
        char quote = 0;
        bool space = false;
        for (std::size_t i = 0; i < arg.size(); ++i) {
            const char c = arg[i];
            if (!quote && std::isspace(static_cast<unsigned char>(c))) {
                space = out.size() > 1;
                continue;
            }
            if (space) out += ' ';
            space = false;
            if (quote) {
                if (c == '"' || c == '\\') out += '\\';
                out += c;
                if (c == '\\' && i + 1 < arg.size()) {
                    if (arg[i + 1] == '"' || arg[i + 1] == '\\') out += '\\';
                    out += arg[++i];
                } else if (c == quote) {
                    quote = 0;
                }
            } else {
                if (c == '"') out += '\\';
                if (c == '"' || c == '\'') quote = c;
                out += c;
            }
        }
        return out + "\"";
    }

    // Expands the line's macros into out. A function-like macro's name
    // followed by '(' whose ')' the line does not hold leaves it Incomplete,
    // and so does such a name at the very end unless no line can follow.
    Expansion ExpandLine(const std::string& line, int file, int number, std::string& out, bool last) {
        m_file = file;
        m_line = number;
        m_lastLine = last;
        std::vector<std::string> disabled;
        bool incomplete = false;
        out.clear();
        if (!Expand(line, disabled, 0, true, incomplete, out)) {
            out.clear();
            return incomplete ? Expansion::Incomplete : Expansion::Failed;
        }
        return Expansion::Done;
    }

    bool Grown(const std::string& s) {
        if (s.size() <= kMaxLineGrowth) return false;
        m_errors.Add(m_file, m_line, "macro expansion too long");
        return true;
    }

    // The arguments of a call whose '(' is at open: split at the commas
    // outside parentheses and literals; end just past the ')'. False when
    // the text ends first.
    static bool CollectArguments(const std::string& s, std::size_t open, std::vector<std::string>& args,
                                 std::size_t& end) {
        int depth = 0;
        std::string current;
        for (std::size_t i = open + 1; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '"' || c == '\'') {
                std::size_t j = i + 1;
                while (j < s.size() && s[j] != c) j += (s[j] == '\\' && j + 1 < s.size()) ? 2 : 1;
                j = std::min(j, s.size() - 1);
                current.append(s, i, j - i + 1);
                i = j;
                continue;
            }
            if (c == '(') ++depth;
            else if (c == ')' && depth-- == 0) {
                args.push_back(Trimmed(current));
                end = i + 1;
                return true;
            } else if (c == ',' && depth == 0) {
                args.push_back(Trimmed(current));
                current.clear();
                continue;
            }
            current += c;
        }
        return false;
    }

    // Macro names outside literals replaced, each never inside its own
    // expansion (the names in `disabled`); depth and growth bounded.
    bool Expand(const std::string& text, std::vector<std::string>& disabled, int depth, bool topLevel,
                bool& incomplete, std::string& out) {
        if (depth > kMaxNesting) {
            m_errors.Add(m_file, m_line, "macro expansion nested too deeply");
            return false;
        }
        for (std::size_t i = 0; i < text.size();) {
            const char c = text[i];
            if (c == '"' || c == '\'') {
                std::size_t j = i + 1;
                while (j < text.size() && text[j] != c) j += (text[j] == '\\' && j + 1 < text.size()) ? 2 : 1;
                j = std::min(j + 1, text.size());
                out.append(text, i, j - i);
                i = j;
            } else if (std::isdigit(static_cast<unsigned char>(c))) {
                std::size_t j = i;
                while (j < text.size() && (IsIdentChar(text[j]) || text[j] == '.')) ++j;
                out.append(text, i, j - i);
                i = j;
            } else if (IsIdentStart(c)) {
                std::size_t j = i;
                while (j < text.size() && IsIdentChar(text[j])) ++j;
                const std::string word = text.substr(i, j - i);
                const auto it = m_macros.find(word);
                if (it == m_macros.end() ||
                    std::find(disabled.begin(), disabled.end(), word) != disabled.end()) {
                    out += word;
                    i = j;
                    continue;
                }
                const Macro& m = it->second;
                std::string body;
                if (!m.function) {
                    if (!Substitute(m, {}, disabled, depth, body)) return false;
                    i = j;
                } else {
                    std::size_t k = j;
                    while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k]))) ++k;
                    if (k >= text.size() || text[k] != '(') {
                        // Only a name here (or its arguments on the next line).
                        if (topLevel && !m_lastLine && k >= text.size()) {
                            incomplete = true;
                            return false;
                        }
                        out += word;
                        i = j;
                        continue;
                    }
                    std::vector<std::string> args;
                    std::size_t end = 0;
                    if (!CollectArguments(text, k, args, end)) {
                        if (topLevel) incomplete = true;
                        else m_errors.Add(m_file, m_line, "macro call without its ')'");
                        return false;
                    }
                    // "F()" is no argument for a macro without parameters.
                    if (m.params.empty() && args.size() == 1 && args[0].empty()) args.clear();
                    if (m.variadic && args.size() >= m.params.size()) {
                        // The extra arguments, commas and all, are __VA_ARGS__.
                        std::string rest;
                        for (std::size_t a = m.params.size() - 1; a < args.size(); ++a)
                            rest += (a + 1 == m.params.size() ? "" : ", ") + args[a];
                        args.resize(m.params.size() - 1);
                        args.push_back(rest);
                    } else if (m.variadic && args.size() + 1 == m.params.size()) {
                        args.emplace_back();
                    }
                    if (args.size() != m.params.size()) {
                        m_errors.Add(m_file, m_line,
                                     "macro '" + word + "' takes " + std::to_string(m.params.size()) +
                                         " argument" + (m.params.size() == 1 ? "" : "s") + ", " +
                                         std::to_string(args.size()) + " given");
                        return false;
                    }
                    if (!Substitute(m, args, disabled, depth, body)) return false;
                    i = end;
                }
                disabled.push_back(word);
                bool inner = false;
                const bool ok = Expand(body, disabled, depth + 1, false, inner, out);
                disabled.pop_back();
                if (!ok) return false;
            } else {
                out += c;
                ++i;
            }
            if (Grown(out)) return false;
        }
        return true;
    }

    // The body with each parameter replaced: by its argument as written next
    // to '#' (as a string) or '##', else by the argument's own expansion.
    bool Substitute(const Macro& m, const std::vector<std::string>& args, std::vector<std::string>& disabled,
                    int depth, std::string& out) {
        const std::vector<BodyToken> tokens = SplitBody(m.body);
        std::vector<std::string> expanded(args.size());
        std::vector<bool> expandedDone(args.size(), false);
        bool pasteNext = false;
        for (std::size_t t = 0; t < tokens.size(); ++t) {
            const BodyToken& tok = tokens[t];
            if (tok.text == "##") {
                while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back()))) out.pop_back();
                pasteNext = true;
                continue;
            }
            std::string piece;
            if (m.function && tok.text == "#" && t + 1 < tokens.size() && ParamIndex(m, tokens[t + 1].text) >= 0) {
                piece = Stringize(args[static_cast<std::size_t>(ParamIndex(m, tokens[++t].text))]);
            } else if (const int p = m.function ? ParamIndex(m, tok.text) : -1; p >= 0) {
                const auto up = static_cast<std::size_t>(p);
                const bool raw = pasteNext || (t + 1 < tokens.size() && tokens[t + 1].text == "##");
                if (raw) {
                    piece = args[up];
                } else {
                    if (!expandedDone[up]) {
                        bool inner = false;
                        if (!Expand(args[up], disabled, depth + 1, false, inner, expanded[up])) return false;
                        expandedDone[up] = true;
                    }
                    piece = expanded[up];
                }
            } else {
                piece = tok.text;
            }
            if (tok.spaceBefore && !pasteNext && !out.empty()) out += ' ';
            out += piece;
            pasteNext = false;
            if (Grown(out)) return false;
        }
        return true;
    }

    // #if expressions: integers, defined(), C operators.
    class Expr {
    public:
        Expr(const std::string& s, Preprocessor& pp) : m_s(s), m_pp(pp) {}
        bool Parse(long long& value) {
            value = Ternary();
            Skip();
            return m_ok && m_i == m_s.size();
        }
        const std::string& Error() const { return m_error; }

    private:
        void Skip() {
            while (m_i < m_s.size() && std::isspace(static_cast<unsigned char>(m_s[m_i]))) ++m_i;
        }
        bool Eat(const char* op) {
            Skip();
            const std::size_t n = std::strlen(op);
            if (m_s.compare(m_i, n, op) != 0) return false;
            // '&' must not take the first of "&&", nor '<' of "<<" / "<=".
            if (n == 1 && m_i + 1 < m_s.size()) {
                const char next = m_s[m_i + 1];
                if ((op[0] == '&' && next == '&') || (op[0] == '|' && next == '|') ||
                    ((op[0] == '<' || op[0] == '>') && (next == '=' || next == op[0])) ||
                    ((op[0] == '!' || op[0] == '=') && next == '='))
                    return false;
            }
            if (n == 2 && (op[0] == '<' || op[0] == '>') && op[1] == op[0] && m_i + 2 < m_s.size() &&
                m_s[m_i + 2] == '=')
                return false;
            m_i += n;
            return true;
        }
        void Fail(const std::string& why) {
            if (m_ok) m_error = why;
            m_ok = false;
        }
        long long Ternary() {
            const long long c = Binary(0);
            if (Eat("?")) {
                const long long a = Ternary();
                if (!Eat(":")) Fail("':' expected");
                const long long b = Ternary();
                return c ? a : b;
            }
            return c;
        }
        long long Binary(int level) {
            static const std::vector<std::vector<const char*>> levels = {
                {"||"}, {"&&"}, {"|"}, {"^"}, {"&"}, {"==", "!="}, {"<=", ">=", "<", ">"}, {"<<", ">>"},
                {"+", "-"}, {"*", "/", "%"}};
            if (level >= static_cast<int>(levels.size())) return Unary();
            long long left = Binary(level + 1);
            for (;;) {
                const char* found = nullptr;
                for (const char* op : levels[static_cast<std::size_t>(level)])
                    if (Eat(op)) {
                        found = op;
                        break;
                    }
                if (!found || !m_ok) return left;
                const long long right = Binary(level + 1);
                const std::string op = found;
                if (op == "||") left = left || right;
                else if (op == "&&") left = left && right;
                else if (op == "|") left |= right;
                else if (op == "^") left ^= right;
                else if (op == "&") left &= right;
                else if (op == "==") left = left == right;
                else if (op == "!=") left = left != right;
                else if (op == "<=") left = left <= right;
                else if (op == ">=") left = left >= right;
                else if (op == "<") left = left < right;
                else if (op == ">") left = left > right;
                else if (op == "<<") left = (right < 0 || right > 62) ? 0 : static_cast<long long>(static_cast<unsigned long long>(left) << right);
                else if (op == ">>") left = (right < 0 || right > 62) ? 0 : left >> right;
                else if (op == "+") left = static_cast<long long>(static_cast<unsigned long long>(left) + static_cast<unsigned long long>(right));
                else if (op == "-") left = static_cast<long long>(static_cast<unsigned long long>(left) - static_cast<unsigned long long>(right));
                else if (op == "*") left = static_cast<long long>(static_cast<unsigned long long>(left) * static_cast<unsigned long long>(right));
                else if (right == 0 || (left == INT64_MIN && right == -1)) {
                    Fail("division by zero");
                    return 0;
                } else if (op == "/") left /= right;
                else left %= right;
            }
        }
        long long Unary() {
            if (++m_depth > kMaxNesting) {
                Fail("expression nested too deeply");
                return 0;
            }
            long long v = 0;
            if (Eat("!")) v = !Unary();
            else if (Eat("-")) v = static_cast<long long>(0ull - static_cast<unsigned long long>(Unary()));
            else if (Eat("+")) v = Unary();
            else if (Eat("~")) v = ~Unary();
            else v = Primary();
            --m_depth;
            return v;
        }
        long long Primary() {
            Skip();
            if (Eat("(")) {
                const long long v = Ternary();
                if (!Eat(")")) Fail("')' expected");
                return v;
            }
            if (m_i < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_i]))) {
                errno = 0;
                char* end = nullptr;
                const long long v = std::strtoll(m_s.c_str() + m_i, &end, 0);
                if (errno == ERANGE) Fail("number out of range");
                m_i = static_cast<std::size_t>(end - m_s.c_str());
                while (m_i < m_s.size() && (m_s[m_i] == 'u' || m_s[m_i] == 'U' || m_s[m_i] == 'l' || m_s[m_i] == 'L')) ++m_i;
                return v;
            }
            if (m_i < m_s.size() && IsIdentStart(m_s[m_i])) {
                std::size_t j = m_i;
                while (j < m_s.size() && IsIdentChar(m_s[j])) ++j;
                const std::string word = m_s.substr(m_i, j - m_i);
                m_i = j;
                if (word == "defined") {
                    const bool paren = Eat("(");
                    Skip();
                    std::size_t k = m_i;
                    while (k < m_s.size() && IsIdentChar(m_s[k])) ++k;
                    const std::string name = m_s.substr(m_i, k - m_i);
                    m_i = k;
                    if (name.empty()) Fail("defined without a name");
                    if (paren && !Eat(")")) Fail("')' expected");
                    return m_pp.m_macros.count(name) ? 1 : 0;
                }
                // Macros are expanded before the expression is read: a name
                // left is not a macro here, and counts as 0.
                return 0;
            }
            Fail("bad expression");
            return 0;
        }

        const std::string& m_s;
        Preprocessor& m_pp;
        std::size_t m_i = 0;
        bool m_ok = true;
        int m_depth = 0;
        std::string m_error;
    };

    // "defined NAME" and "defined(NAME)" answered first, then the macros
    // expanded, then the expression read.
    bool Evaluate(const std::string& text, int file, int number) {
        std::string answered;
        for (std::size_t i = 0; i < text.size();) {
            if (!IsIdentStart(text[i])) {
                answered += text[i++];
                continue;
            }
            std::size_t j = i;
            while (j < text.size() && IsIdentChar(text[j])) ++j;
            const std::string word = text.substr(i, j - i);
            i = j;
            if (word != "defined") {
                answered += word;
                continue;
            }
            std::size_t k = i;
            while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k]))) ++k;
            const bool paren = k < text.size() && text[k] == '(';
            if (paren) ++k;
            while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k]))) ++k;
            std::size_t e = k;
            while (e < text.size() && IsIdentChar(text[e])) ++e;
            const std::string name = text.substr(k, e - k);
            while (paren && e < text.size() && std::isspace(static_cast<unsigned char>(text[e]))) ++e;
            if (name.empty() || (paren && (e >= text.size() || text[e] != ')'))) {
                m_errors.Add(file, number, name.empty() ? "#if: defined without a name" : "#if: ')' expected");
                return false;
            }
            answered += m_macros.count(name) ? " 1 " : " 0 ";
            i = paren ? e + 1 : e;
        }
        std::string expanded;
        const Expansion x = ExpandLine(answered, file, number, expanded, true);
        if (x == Expansion::Incomplete) m_errors.Add(file, number, "macro call without its ')'");
        if (x != Expansion::Done) return false;
        Expr e(expanded, *this);
        long long v = 0;
        if (!e.Parse(v)) {
            m_errors.Add(file, number, "#if: " + (e.Error().empty() ? std::string("bad expression") : e.Error()));
            return false;
        }
        return v != 0;
    }

    std::vector<std::string>& m_files;
    Errors& m_errors;
    std::map<std::string, Macro> m_macros;
    std::set<std::string> m_onceFiles;
    std::uint32_t m_includes = 0; // files included so far
    std::uint64_t m_bytes = 0;    // text read so far, included files and all
    std::vector<Line> m_out;
    int m_file = 0; // where the expansion under way reports its problems
    int m_line = 0;
    bool m_lastLine = false; // no line can follow to bring a call's arguments
};

// ---- tokens ------------------------------------------------------------------

enum class Tok : std::uint8_t { Ident, Number, String, Punct, Asm, Pragma, End };

struct Token {
    Tok kind = Tok::End;
    std::string text;
    int file = 0;
    int line = 0;
    // Where it stands in the preprocessed lines (the end is exclusive), so
    // the text the compiler sees can be cut from the same lines.
    std::size_t li = 0, col = 0, endLi = 0, endCol = 0;
};

std::vector<Token> Tokenize(const std::vector<Line>& lines, Errors& errors) {
    std::vector<Token> tokens;
    for (std::size_t li = 0; li < lines.size(); ++li) {
        const std::string& s = lines[li].text;
        const int file = lines[li].file, line = lines[li].number;
        if (!lines[li].pragma.empty()) tokens.push_back({Tok::Pragma, lines[li].pragma, file, line});
        for (std::size_t i = 0; i < s.size();) {
            const char c = s[i];
            const std::size_t tokenCount = tokens.size(), tokenStart = i;
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
            } else if (IsIdentStart(c)) {
                std::size_t j = i;
                while (j < s.size() && IsIdentChar(s[j])) ++j;
                std::string word = s.substr(i, j - i);
                i = j;
                if (Lower(word) == "asm") {
                    // The block's raw text, to its matching '}' (maybe lines on).
                    std::size_t l2 = li, k = i;
                    auto at = [&](std::size_t L, std::size_t K) { return K < lines[L].text.size() ? lines[L].text[K] : '\n'; };
                    while (l2 < lines.size() && (k >= lines[l2].text.size() || std::isspace(static_cast<unsigned char>(at(l2, k))))) {
                        if (k >= lines[l2].text.size()) {
                            ++l2;
                            k = 0;
                        } else {
                            ++k;
                        }
                    }
                    if (l2 < lines.size() && at(l2, k) == '{') {
                        std::string body;
                        int depth = 1;
                        ++k;
                        while (l2 < lines.size() && depth > 0) {
                            if (k >= lines[l2].text.size()) {
                                body += '\n';
                                ++l2;
                                k = 0;
                                continue;
                            }
                            const char d = lines[l2].text[k++];
                            if (d == '{') ++depth;
                            else if (d == '}' && --depth == 0) break;
                            body += d;
                        }
                        if (depth != 0) {
                            errors.Add(file, line, "asm block without its '}'");
                            tokens.push_back({Tok::End, "", file, line});
                            return tokens;
                        }
                        tokens.push_back({Tok::Asm, body, file, line, li, tokenStart, l2, k});
                        li = l2;
                        // continue on the closing line after the brace
                        const std::string& rest = lines[li].text;
                        std::vector<Line> tail{{rest.substr(k), lines[li].file, lines[li].number, {}}};
                        std::vector<Token> more = Tokenize(tail, errors);
                        more.pop_back(); // its end
                        for (Token& m : more) {
                            m.li = m.endLi = li;
                            m.col += k;
                            m.endCol += k;
                        }
                        tokens.insert(tokens.end(), more.begin(), more.end());
                        goto nextLine;
                    }
                }
                tokens.push_back({Tok::Ident, word, file, line});
            } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                       (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
                std::size_t j = i;
                if (c == '0' && j + 1 < s.size() && (s[j + 1] == 'x' || s[j + 1] == 'X')) {
                    j += 2;
                    while (j < s.size() && std::isxdigit(static_cast<unsigned char>(s[j]))) ++j;
                } else {
                    while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
                    if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
                        std::size_t k = j + 1;
                        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
                        if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
                            j = k;
                            while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
                        }
                    }
                }
                while (j < s.size() && std::strchr("fFhHlLuU", s[j])) ++j;
                tokens.push_back({Tok::Number, s.substr(i, j - i), file, line});
                i = j;
            } else if (c == '"') {
                std::string text;
                std::size_t j = i + 1;
                bool closed = false;
                while (j < s.size()) {
                    char d = s[j++];
                    if (d == '"') {
                        closed = true;
                        break;
                    }
                    if (d == '\\' && j < s.size()) {
                        d = s[j++];
                        if (d == 'n') d = '\n';
                        else if (d == 't') d = '\t';
                    }
                    text += d;
                }
                if (!closed) errors.Add(file, line, "string without its closing quote");
                tokens.push_back({Tok::String, text, file, line});
                i = j;
            } else {
                static const char* kTwo[] = {"<=", ">=", "==", "!=", "&&", "||", "::", "++", "--", "+=", "-=", "*=", "/="};
                std::string p(1, c);
                for (const char* two : kTwo)
                    if (s.compare(i, 2, two) == 0) p = two;
                tokens.push_back({Tok::Punct, p, file, line});
                i += p.size();
            }
            if (tokens.size() == tokenCount + 1) {
                Token& t = tokens.back();
                t.li = t.endLi = li;
                t.col = tokenStart;
                t.endCol = i;
            }
        }
    nextLine:;
    }
    const int file = lines.empty() ? 0 : lines.back().file;
    const int line = lines.empty() ? 1 : lines.back().number;
    tokens.push_back({Tok::End, "", file, line});
    return tokens;
}

// ---- reader ------------------------------------------------------------------

struct TypeInfo {
    std::uint32_t cls = 0, type = 0, rows = 0, columns = 0;
    bool known = false;
};

class Reader {
public:
    Reader(std::vector<Token> tokens, Errors& errors, EffectData& out) : m_errors(errors), m_out(out) {
        // Pragmas take effect from where they stand: kept aside by position.
        m_t.reserve(tokens.size());
        for (Token& t : tokens) {
            if (t.kind == Tok::Pragma) m_rowMajorFrom.emplace_back(m_t.size(), t.text == "pack_matrix row_major");
            else m_t.push_back(std::move(t));
        }
    }

    void Run() {
        while (!AtEnd() && m_fatal == false) {
            const std::size_t before = m_i;
            TopLevel();
            if (m_i == before) Next(); // never stand still on bad input
        }
    }

private:
    // -- token access
    const Token& Peek(std::size_t ahead = 0) const {
        const std::size_t k = std::min(m_i + ahead, m_t.size() - 1);
        return m_t[k];
    }
    bool AtEnd() const { return Peek().kind == Tok::End; }
    const Token& Next() {
        const Token& t = Peek();
        if (m_i < m_t.size() - 1) ++m_i;
        return t;
    }
    bool Is(const char* punct, std::size_t ahead = 0) const {
        const Token& t = Peek(ahead);
        return t.kind == Tok::Punct && t.text == punct;
    }
    bool IsWord(const char* word) const {
        return Peek().kind == Tok::Ident && Lower(Peek().text) == Lower(word);
    }
    bool Accept(const char* punct) {
        if (!Is(punct)) return false;
        Next();
        return true;
    }
    void Error(const Token& at, const std::string& text) {
        m_errors.Add(at.file, at.line, text);
        if (m_errors.Any() && ++m_errorCount > 32) m_fatal = true;
    }
    bool Expect(const char* punct) {
        if (Accept(punct)) return true;
        Error(Peek(), std::string("'") + punct + "' expected" +
                          (AtEnd() ? std::string(" at the end") : " before '" + Peek().text + "'"));
        return false;
    }
    // Skips to after the next ';' at this nesting (or a closing brace).
    void Recover() {
        int depth = 0;
        while (!AtEnd()) {
            if (Is("{") || Is("(") || Is("[")) ++depth;
            else if (Is("}") || Is(")") || Is("]")) {
                if (depth == 0) return;
                --depth;
            } else if (Is(";") && depth == 0) {
                Next();
                return;
            }
            Next();
        }
    }
    // Skips a balanced group starting at the opening token, collecting identifiers.
    bool SkipGroup(const char* open, const char* close, std::set<std::string>* idents) {
        if (!Expect(open)) return false;
        int depth = 1;
        while (!AtEnd()) {
            const Token& t = Next();
            if (t.kind == Tok::Punct && t.text == open) ++depth;
            else if (t.kind == Tok::Punct && t.text == close) {
                if (--depth == 0) return true;
            } else if (t.kind == Tok::Ident && idents) {
                idents->insert(t.text);
            }
        }
        Error(Peek(), std::string("'") + close + "' expected at the end");
        return false;
    }

    // -- types
    TypeInfo ParseType(const std::string& word) {
        TypeInfo ti;
        const std::string w = Lower(word);
        auto numeric = [&](const std::string& base, std::uint32_t type) -> bool {
            if (w.compare(0, base.size(), base) != 0) return false;
            const std::string rest = w.substr(base.size());
            if (rest.empty()) {
                ti = {D3DXPC_SCALAR, type, 1, 1, true};
                return true;
            }
            if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
                ti = {D3DXPC_VECTOR, type, 1, static_cast<std::uint32_t>(rest[0] - '0'), true};
                return true;
            }
            if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' &&
                rest[2] <= '4') {
                ti = {D3DXPC_MATRIX_COLUMNS, type, static_cast<std::uint32_t>(rest[0] - '0'),
                      static_cast<std::uint32_t>(rest[2] - '0'), true};
                return true;
            }
            return false;
        };
        if (word.rfind("bool", 0) == 0 && numeric("bool", D3DXPT_BOOL)) return ti;
        if (word.rfind("int", 0) == 0 && numeric("int", D3DXPT_INT)) return ti;
        if (word.rfind("uint", 0) == 0 && numeric("uint", D3DXPT_INT)) return ti;
        if (word == "dword" || word == "DWORD") return {D3DXPC_SCALAR, D3DXPT_INT, 1, 1, true};
        if (word.rfind("float", 0) == 0 && numeric("float", D3DXPT_FLOAT)) return ti;
        if (word.rfind("half", 0) == 0 && numeric("half", D3DXPT_FLOAT)) return ti;
        if (word.rfind("double", 0) == 0 && numeric("double", D3DXPT_FLOAT)) return ti;
        if (word == "vector" || word == "matrix") {
            std::uint32_t type = D3DXPT_FLOAT, r = word == "matrix" ? 4u : 1u, c = 4;
            if (Is("<")) {
                Next();
                const TypeInfo inner = ParseType(Next().text);
                if (inner.known) type = inner.type;
                std::vector<std::uint32_t> dims;
                while (Accept(",")) {
                    const Token& n = Next();
                    dims.push_back(static_cast<std::uint32_t>(std::strtoul(n.text.c_str(), nullptr, 10)));
                }
                Expect(">");
                if (word == "vector" && dims.size() == 1) c = dims[0];
                if (word == "matrix" && dims.size() == 2) {
                    r = dims[0];
                    c = dims[1];
                }
                if (r < 1 || r > 4 || c < 1 || c > 4) {
                    Error(Peek(), "bad " + word + " size");
                    r = c = 1;
                }
            }
            return {word == "matrix" ? D3DXPC_MATRIX_COLUMNS : D3DXPC_VECTOR, type, r, c, true};
        }
        if (w == "string") return {D3DXPC_OBJECT, D3DXPT_STRING, 0, 0, true};
        if (w == "texture") return {D3DXPC_OBJECT, D3DXPT_TEXTURE, 0, 0, true};
        if (w == "texture1d") return {D3DXPC_OBJECT, D3DXPT_TEXTURE1D, 0, 0, true};
        if (w == "texture2d") return {D3DXPC_OBJECT, D3DXPT_TEXTURE2D, 0, 0, true};
        if (w == "texture3d") return {D3DXPC_OBJECT, D3DXPT_TEXTURE3D, 0, 0, true};
        if (w == "texturecube") return {D3DXPC_OBJECT, D3DXPT_TEXTURECUBE, 0, 0, true};
        if (w == "sampler") return {D3DXPC_OBJECT, D3DXPT_SAMPLER, 0, 0, true};
        if (w == "sampler1d") return {D3DXPC_OBJECT, D3DXPT_SAMPLER1D, 0, 0, true};
        if (w == "sampler2d") return {D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 0, 0, true};
        if (w == "sampler3d") return {D3DXPC_OBJECT, D3DXPT_SAMPLER3D, 0, 0, true};
        if (w == "samplercube") return {D3DXPC_OBJECT, D3DXPT_SAMPLERCUBE, 0, 0, true};
        if (w == "vertexshader") return {D3DXPC_OBJECT, D3DXPT_VERTEXSHADER, 0, 0, true};
        if (w == "pixelshader") return {D3DXPC_OBJECT, D3DXPT_PIXELSHADER, 0, 0, true};
        if (word == "void") return {D3DXPC_OBJECT, D3DXPT_VOID, 0, 0, true};
        return ti;
    }

    // -- top level
    void TopLevel() {
        if (Accept(";")) return;
        const std::size_t start = m_i;
        if (IsWord("technique")) {
            Next();
            Technique();
            Hide(start, m_i);
            return;
        }
        if (Peek().kind == Tok::Ident && (Peek().text == "struct" || Peek().text == "typedef")) {
            const bool isStruct = Peek().text == "struct";
            Next();
            if (isStruct && Peek().kind == Tok::Ident) m_structs.insert(Next().text);
            if (isStruct && Is("{")) SkipGroup("{", "}", nullptr);
            Recover();
            return;
        }
        bool isStatic = false, rowMajor = false, columnMajor = false;
        for (;;) {
            const Token& t = Peek();
            if (t.kind != Tok::Ident) break;
            if (t.text == "static") isStatic = true;
            else if (t.text == "row_major") rowMajor = true;
            else if (t.text == "column_major") columnMajor = true;
            else if (t.text != "uniform" && t.text != "extern" && t.text != "shared" && t.text != "const" &&
                     t.text != "volatile" && t.text != "inline")
                break;
            Next();
        }
        // `uniform struct { ... } name;`: a struct global, as above.
        if (Peek().kind == Tok::Ident && Peek().text == "struct") {
            Next();
            if (Peek().kind == Tok::Ident) m_structs.insert(Next().text);
            if (Is("{")) SkipGroup("{", "}", nullptr);
            Recover();
            return;
        }
        const Token& typeToken = Next();
        if (typeToken.kind != Tok::Ident) {
            Error(typeToken, "unexpected '" + typeToken.text + "'");
            Recover();
            return;
        }
        const bool isStructType = m_structs.count(typeToken.text) != 0;
        TypeInfo ti = isStructType ? TypeInfo{} : ParseType(typeToken.text);
        if (!ti.known && !isStructType) {
            Error(typeToken, "unknown type '" + typeToken.text + "'");
            Recover();
            return;
        }
        // Without a word of its own a matrix takes the packing the last
        // "#pragma pack_matrix" before it asked for.
        bool rowsByDefault = false;
        for (const auto& [at, rows] : m_rowMajorFrom)
            if (at <= m_i) rowsByDefault = rows;
        if (ti.cls == D3DXPC_MATRIX_COLUMNS && !columnMajor && (rowMajor || rowsByDefault)) ti.cls = D3DXPC_MATRIX_ROWS;
        const Token& nameToken = Next();
        if (nameToken.kind != Tok::Ident) {
            Error(nameToken, "name expected after '" + typeToken.text + "'");
            Recover();
            return;
        }
        if (Is("(")) {
            Function f;
            f.name = nameToken.text;
            SkipGroup("(", ")", &f.identifiers);
            while (Accept(":")) {
                if (Peek().kind == Tok::Ident) Next();
                if (Is("(")) SkipGroup("(", ")", nullptr);
            }
            if (Is("{")) SkipGroup("{", "}", &f.identifiers);
            else Expect(";");
            if (!m_fatal) m_out.functions.push_back(std::move(f));
            return;
        }
        const Token* name = &nameToken;
        for (;;) {
            Parameter p;
            p.name = name->text;
            p.cls = ti.cls;
            p.type = ti.type;
            p.rows = ti.rows;
            p.columns = ti.columns;
            Declarator(p, *name);
            if (!isStatic && !isStructType && !m_fatal) {
                if (m_out.ParameterIndex(p.name) >= 0) Error(*name, "'" + p.name + "' declared twice");
                else m_out.parameters.push_back(std::move(p));
            }
            if (!Accept(",")) break;
            name = &Next();
            if (name->kind != Tok::Ident) {
                Error(*name, "name expected");
                Recover();
                return;
            }
        }
        Expect(";");
        // Objects only the effect has: the compiler never sees them.
        if (ti.type == D3DXPT_STRING || (ti.type >= D3DXPT_TEXTURE && ti.type <= D3DXPT_TEXTURECUBE) ||
            ti.type == D3DXPT_VERTEXSHADER || ti.type == D3DXPT_PIXELSHADER)
            Hide(start, m_i);
    }

    void Declarator(Parameter& p, const Token& at) {
        if (Accept("[")) {
            const Token& n = Next();
            const unsigned long count = std::strtoul(n.text.c_str(), nullptr, 0);
            if (n.kind != Tok::Number || count == 0 || count > kMaxComponents) Error(n, "bad array size");
            else p.elements = static_cast<std::uint32_t>(count);
            Expect("]");
        }
        while (Accept(":")) {
            const Token& s = Next();
            if (s.kind != Tok::Ident) {
                Error(s, "semantic expected");
                continue;
            }
            if (s.text == "register" && Is("(")) SkipGroup("(", ")", nullptr);
            else p.semantic = s.text;
        }
        if (p.Components() > kMaxComponents) {
            Error(at, "parameter too large");
            p.elements = 0;
        }
        if (p.Numeric()) p.data.assign(p.Components(), 0);
        if (Is("<")) {
            const std::size_t open = m_i;
            Annotations(p.annotations);
            Hide(open, m_i);
        }
        if (Accept("=")) Initialiser(p, at);
        // A sampler's states may follow its name without `= sampler_state`.
        else if (p.type >= D3DXPT_SAMPLER && p.type <= D3DXPT_SAMPLERCUBE && Is("{"))
            StateBlock(p.samplerStates, true);
    }

    void Annotations(std::vector<Parameter>& out) {
        Expect("<");
        while (!AtEnd() && !Is(">") && !m_fatal) {
            const Token& typeToken = Next();
            TypeInfo ti = ParseType(typeToken.text);
            if (!ti.known || (ti.type != D3DXPT_STRING && ti.type != D3DXPT_BOOL && ti.type != D3DXPT_INT &&
                              ti.type != D3DXPT_FLOAT)) {
                Error(typeToken, "bad annotation type '" + typeToken.text + "'");
                while (!AtEnd() && !Is(">") && !Accept(";")) Next();
                continue;
            }
            const Token& nameToken = Next();
            Parameter a;
            a.name = nameToken.text;
            a.cls = ti.cls;
            a.type = ti.type;
            a.rows = ti.rows;
            a.columns = ti.columns;
            if (nameToken.kind != Tok::Ident) Error(nameToken, "annotation name expected");
            if (a.Numeric()) a.data.assign(a.Components(), 0);
            if (Accept("=")) Initialiser(a, nameToken);
            Expect(";");
            out.push_back(std::move(a));
        }
        Expect(">");
    }

    // Flattens literals, constructors and braces into numbers.
    bool Values(std::vector<double>& out, int depth) {
        if (depth > kMaxNesting) {
            Error(Peek(), "initialiser nested too deeply");
            return false;
        }
        if (Is("{")) {
            Next();
            while (!Is("}") && !AtEnd()) {
                if (!Values(out, depth + 1)) return false;
                if (!Accept(",")) break;
            }
            return Expect("}");
        }
        if (Peek().kind == Tok::Ident && ParseType(Peek().text).known && Is("(", 1)) {
            Next();
            Next();
            while (!Is(")") && !AtEnd()) {
                if (!Values(out, depth + 1)) return false;
                if (!Accept(",")) break;
            }
            return Expect(")");
        }
        bool negative = false;
        while (Is("-") || Is("+")) negative ^= Next().text == "-";
        const Token& t = Peek();
        if (t.kind == Tok::Ident && (t.text == "true" || t.text == "false" || t.text == "TRUE" || t.text == "FALSE")) {
            out.push_back(Upper(t.text) == "TRUE" ? 1.0 : 0.0);
            Next();
            return true;
        }
        if (t.kind != Tok::Number) {
            Error(t, "value expected" + (t.text.empty() ? std::string() : " before '" + t.text + "'"));
            return false;
        }
        Next();
        double v = 0;
        if (t.text.size() > 2 && t.text[0] == '0' && (t.text[1] == 'x' || t.text[1] == 'X'))
            v = static_cast<double>(std::strtoull(t.text.c_str(), nullptr, 16));
        else
            v = std::strtod(t.text.c_str(), nullptr);
        out.push_back(negative ? -v : v);
        if (out.size() > kMaxComponents) {
            Error(t, "initialiser too long");
            return false;
        }
        return true;
    }

    static std::uint32_t Bits(std::uint32_t type, double v) {
        if (type == D3DXPT_FLOAT) return std::bit_cast<std::uint32_t>(static_cast<float>(v));
        if (type == D3DXPT_BOOL) return v != 0.0 ? 1u : 0u;
        if (!(v > -2147483649.0 && v < 4294967296.0)) return 0; // NaN or out of range
        return v < 0 ? static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) : static_cast<std::uint32_t>(v);
    }

    void Initialiser(Parameter& p, const Token& at) {
        if (p.type == D3DXPT_STRING) {
            const Token& s = Next();
            if (s.kind != Tok::String) Error(s, "string expected");
            else p.text = s.text;
            return;
        }
        if (p.type >= D3DXPT_SAMPLER && p.type <= D3DXPT_SAMPLERCUBE) {
            // `sampler_state`, or a sampler type word as the DX9 syntax allows
            // (`sampler s = sampler2D { ... }`).
            const std::string word = Peek().kind == Tok::Ident ? Lower(Peek().text) : std::string();
            if (word != "sampler_state" && word != "sampler" && word != "sampler1d" && word != "sampler2d" &&
                word != "sampler3d" && word != "samplercube") {
                Error(Peek(), "sampler_state expected");
                return;
            }
            Next();
            StateBlock(p.samplerStates, true);
            return;
        }
        if (p.type == D3DXPT_VERTEXSHADER || p.type == D3DXPT_PIXELSHADER) {
            p.shader.name = p.type == D3DXPT_VERTEXSHADER ? "VertexShader" : "PixelShader";
            p.shader.info = FindState(p.shader.name);
            p.shader.line = at.line;
            if (p.elements == 0) {
                std::vector<Token> value;
                CollectValue(value);
                Value(p.shader, value);
                return;
            }
            // An array: one program per element, in braces.
            if (!Expect("{")) return;
            while (!AtEnd() && !Is("}") && !m_fatal) {
                State element = p.shader;
                element.line = Peek().line;
                std::vector<Token> value;
                for (int depth = 0; !AtEnd(); ) {
                    if (depth == 0 && (Is(",") || Is("}") || Is(";"))) break;
                    if (Is("(") || Is("{") || Is("[")) ++depth;
                    if (Is(")") || Is("}") || Is("]")) --depth;
                    value.push_back(Next());
                }
                Value(element, value);
                p.shaders.push_back(std::move(element));
                if (!Accept(",")) break;
            }
            Expect("}");
            if (p.shaders.size() != p.elements)
                Error(at, "'" + p.name + "' has " + std::to_string(p.shaders.size()) + " programs, " +
                              std::to_string(p.elements) + " expected");
            return;
        }
        if (!p.Numeric()) {
            Error(at, "'" + p.name + "' takes no initialiser");
            Recover();
            return;
        }
        std::vector<double> values;
        if (!Values(values, 0)) return;
        const std::uint32_t n = p.Components();
        if (values.size() == 1) values.assign(n, values[0]);
        if (values.size() != n) {
            Error(at, "'" + p.name + "' has " + std::to_string(values.size()) + " initial values, " +
                          std::to_string(n) + " expected");
            return;
        }
        for (std::uint32_t i = 0; i < n; ++i) p.data[i] = Bits(p.type, values[i]);
    }

    // -- techniques and states
    void Technique() {
        ::gfx::effect::Technique t;
        if (Peek().kind == Tok::Ident) t.name = Next().text;
        if (Is("<")) Annotations(t.annotations);
        if (!Expect("{")) {
            Recover();
            return;
        }
        while (!AtEnd() && !Is("}") && !m_fatal) {
            if (!IsWord("pass")) {
                Error(Peek(), "pass expected");
                Recover();
                continue;
            }
            Next();
            Pass pass;
            if (Peek().kind == Tok::Ident) pass.name = Next().text;
            if (Is("<")) Annotations(pass.annotations);
            StateBlock(pass.states, false);
            t.passes.push_back(std::move(pass));
        }
        Expect("}");
        Accept(";");
        if (!m_fatal) m_out.techniques.push_back(std::move(t));
    }

    void StateBlock(std::vector<State>& out, bool inSampler) {
        if (!Expect("{")) return;
        while (!AtEnd() && !Is("}") && !m_fatal) {
            const Token& nameToken = Next();
            if (nameToken.kind != Tok::Ident) {
                Error(nameToken, "state name expected");
                Recover();
                continue;
            }
            State s;
            s.name = nameToken.text;
            s.line = nameToken.line;
            s.info = FindState(s.name);
            if (Accept("[")) {
                const Token& n = Next();
                const unsigned long index = std::strtoul(n.text.c_str(), nullptr, 0);
                if (n.kind != Tok::Number) Error(n, "index expected");
                s.index = static_cast<std::uint32_t>(std::min<unsigned long>(index, 0xFFFFFFFFul));
                Expect("]");
            }
            if (!Expect("=")) {
                Recover();
                continue;
            }
            std::vector<Token> value;
            CollectValue(value);
            Expect(";");
            if (!s.info) {
                s.error = "unknown state '" + s.name + "'";
            } else if (inSampler && s.info->kind != StateKind::Sampler && s.info->kind != StateKind::Texture) {
                s.error = "'" + s.name + "' is not a sampler state";
            } else if (s.info->indices ? s.index >= s.info->indices : s.index != 0) {
                s.error = "'" + s.name + "' has no index " + std::to_string(s.index);
            }
            Value(s, value);
            out.push_back(std::move(s));
        }
        Expect("}");
    }

    // The value's tokens up to the ';' (not eaten).
    void CollectValue(std::vector<Token>& out) {
        int depth = 0;
        while (!AtEnd()) {
            if (depth == 0 && (Is(";") || Is("}"))) return;
            if (Is("(") || Is("{") || Is("[")) ++depth;
            if (Is(")") || Is("}") || Is("]")) --depth;
            out.push_back(Next());
        }
    }

    void Value(State& s, const std::vector<Token>& v) {
        const Token& first = v.empty() ? Peek() : v.front();
        if (v.empty()) {
            Error(first, "value expected for '" + s.name + "'");
            return;
        }
        const StateKind kind = s.info ? s.info->kind : StateKind::Unknown;
        // asm { }
        if (v.size() == 1 && v[0].kind == Tok::Asm) {
            s.source = State::Source::Asm;
            ID3DXBuffer* code = nullptr;
            ID3DXBuffer* errors = nullptr;
            const HRESULT hr = D3DXAssembleShader(v[0].text.data(), static_cast<std::uint32_t>(v[0].text.size()), 0,
                                                  &code, &errors);
            if (FAILED(hr)) {
                std::string text = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
                while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
                Error(v[0], "asm: " + text);
            } else {
                const auto* words = static_cast<const std::uint32_t*>(code->GetBufferPointer());
                s.code.assign(words, words + code->GetBufferSize() / 4);
                const std::uint32_t kindBits = s.code.empty() ? 0 : s.code[0] & 0xFFFF0000u;
                if ((kind == StateKind::VertexShader && kindBits != 0xFFFE0000u) ||
                    (kind == StateKind::PixelShader && kindBits != 0xFFFF0000u))
                    Error(v[0], "asm: program of the other kind for '" + s.name + "'");
                else if (kind != StateKind::VertexShader && kind != StateKind::PixelShader && s.error.empty())
                    s.error = "'" + s.name + "' takes no program";
            }
            if (code) code->Release();
            if (errors) errors->Release();
            return;
        }
        // compile profile entry(args)
        if (v[0].kind == Tok::Ident && v[0].text == "compile") {
            s.source = State::Source::Compile;
            if (v.size() < 4 || v[1].kind != Tok::Ident || v[2].kind != Tok::Ident || v[3].text != "(") {
                Error(v[0], "compile: profile and entry expected");
                return;
            }
            const std::string profile = Lower(v[1].text);
            std::uint32_t major = 0, minor = 0;
            const bool vs = profile.rfind("vs_", 0) == 0, ps = profile.rfind("ps_", 0) == 0;
            if ((vs || ps) && profile.size() == 6 && std::isdigit(static_cast<unsigned char>(profile[3])) &&
                profile[4] == '_') {
                major = static_cast<std::uint32_t>(profile[3] - '0');
                minor = profile[5] == 'x' ? 1 : static_cast<std::uint32_t>(profile[5] - '0');
            } else {
                Error(v[1], "compile: unknown profile '" + v[1].text + "'");
                return;
            }
            if ((kind == StateKind::VertexShader && !vs) || (kind == StateKind::PixelShader && !ps))
                Error(v[1], "compile: profile '" + v[1].text + "' does not fit '" + s.name + "'");
            // Until compiled: the profile's version alone.
            s.code = {vs ? D3DVS_VERSION(major, minor) : D3DPS_VERSION(major, minor), D3DSIO_END};
            s.entry = v[2].text;
            s.profile = profile;
            std::size_t close = 4;
            for (int depth = 1; close < v.size(); ++close) {
                if (v[close].text == "(") ++depth;
                else if (v[close].text == ")" && --depth == 0) break;
            }
            for (std::size_t i = 4; i < close; ++i) {
                if (v[i].kind == Tok::Ident) s.arguments.insert(v[i].text);
                if (!s.callArguments.empty() && v[i].text != "," && v[i - 1].text != "," && v[i - 1].text != "(" &&
                    v[i].text != ")" && v[i - 1].text != "-")
                    s.callArguments += ' ';
                s.callArguments += v[i].kind == Tok::String ? "\"" + v[i].text + "\"" : v[i].text;
            }
            if (close + 1 < v.size()) Error(v[close < v.size() ? close : 0], "compile: unexpected text after the call");
            return;
        }
        if (v.size() == 1 && v[0].kind == Tok::Ident && Upper(v[0].text) == "NULL") {
            s.source = State::Source::Null;
            if (kind != StateKind::VertexShader && kind != StateKind::PixelShader && kind != StateKind::Texture &&
                s.error.empty())
                s.error = "'" + s.name + "' cannot be NULL";
            return;
        }
        // (Shaders[Picks[Which]]): an element of a shader array, picked
        // when the pass begins.
        if (kind == StateKind::VertexShader || kind == StateKind::PixelShader) {
            std::size_t first = 0, end = v.size();
            if (end >= 2 && v[0].text == "(" && v[end - 1].text == ")") ++first, --end;
            if (end - first >= 4 && v[first].kind == Tok::Ident && v[first + 1].text == "[") {
                Selector(s, v, first, end);
                return;
            }
        }
        // <name>, (name), or a bare parameter name
        std::string ref;
        if (v.size() == 3 && ((v[0].text == "<" && v[2].text == ">") || (v[0].text == "(" && v[2].text == ")")) &&
            v[1].kind == Tok::Ident)
            ref = v[1].text;
        else if (v.size() == 1 && v[0].kind == Tok::Ident && m_out.ParameterIndex(v[0].text) >= 0)
            ref = v[0].text;
        if (!ref.empty()) {
            s.source = State::Source::Parameter;
            s.parameter = m_out.ParameterIndex(ref);
            if (s.parameter < 0) {
                Error(v[0], "unknown parameter '" + ref + "'");
                return;
            }
            if (s.error.empty()) s.error = ParameterFits(kind, m_out.parameters[static_cast<std::size_t>(s.parameter)]);
            return;
        }
        s.source = State::Source::Literal;
        const ValueType type = s.info ? s.info->value : ValueType::Dword;
        // Shader constants: numbers (constructors, braces) in registers of four.
        if (kind >= StateKind::VertexConstantF && kind <= StateKind::PixelConstantB) {
            std::vector<double> values;
            const std::size_t save = m_i;
            std::vector<Token> tokens = v;
            tokens.push_back({Tok::End, "", v.back().file, v.back().line});
            std::swap(m_t, tokens);
            m_i = 0;
            const bool ok = Values(values, 0) && AtEnd();
            std::swap(m_t, tokens);
            m_i = save;
            if (!ok) {
                Error(v[0], "bad value for '" + s.name + "'");
                return;
            }
            const bool isBool = kind == StateKind::VertexConstantB || kind == StateKind::PixelConstantB;
            while (!isBool && values.size() % 4) values.push_back(0.0);
            const bool isFloat = kind == StateKind::VertexConstantF || kind == StateKind::PixelConstantF;
            for (const double d : values) s.literal.push_back(Bits(isFloat ? D3DXPT_FLOAT : D3DXPT_INT, d));
            return;
        }
        // Numbers or words joined by '|'.
        std::uint32_t bits = 0;
        bool negative = false;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Token& t = v[i];
            if (t.text == "|" && i > 0 && i + 1 < v.size()) continue;
            if (t.text == "-" && i + 1 < v.size() && v[i + 1].kind == Tok::Number) {
                negative = true;
                continue;
            }
            if (t.kind == Tok::Number) {
                const bool hex = t.text.size() > 2 && t.text[0] == '0' && (t.text[1] == 'x' || t.text[1] == 'X');
                const double d = hex ? static_cast<double>(std::strtoull(t.text.c_str(), nullptr, 16))
                                     : std::strtod(t.text.c_str(), nullptr);
                bits |= Bits(type == ValueType::Float ? D3DXPT_FLOAT : D3DXPT_INT, negative ? -d : d);
                negative = false;
            } else if (t.kind == Tok::Ident) {
                std::uint32_t number = 0;
                if (type == ValueType::TexCoordIndex && FindValueWord(type, t.text, number)) bits |= number;
                else if (FindValueWord(type, t.text, number)) bits |= number;
                else if (type == ValueType::Dword && (Upper(t.text) == "TRUE" || Upper(t.text) == "FALSE"))
                    bits |= Upper(t.text) == "TRUE" ? 1u : 0u;
                else if (s.error.empty()) s.error = "bad value '" + t.text + "' for '" + s.name + "'";
            } else if (s.error.empty()) {
                s.error = "bad value '" + t.text + "' for '" + s.name + "'";
            }
        }
        if (type == ValueType::Object && s.error.empty()) s.error = "'" + s.name + "' needs a parameter or a program";
        s.literal = {bits};
    }

    // `Name[Index[...[Last]]]` in tokens [first, end) of a shader state's
    // value: the shader array, the int arrays indexing it, and the last
    // index, an int parameter or a number.
    void Selector(State& s, const std::vector<Token>& v, std::size_t first, std::size_t end) {
        s.source = State::Source::Selected;
        std::size_t i = first;
        std::size_t closes = 0;
        for (;;) {
            if (i >= end || v[i].kind != Tok::Ident) break;
            const int index = m_out.ParameterIndex(v[i].text);
            if (index < 0) {
                Error(v[i], "unknown parameter '" + v[i].text + "'");
                return;
            }
            const Parameter& p = m_out.parameters[static_cast<std::size_t>(index)];
            const bool outermost = s.selector.empty();
            if (outermost ? (p.type != (s.info->kind == StateKind::VertexShader ? D3DXPT_VERTEXSHADER
                                                                                 : D3DXPT_PIXELSHADER) ||
                             p.elements == 0)
                          : (p.type != D3DXPT_INT && p.type != D3DXPT_FLOAT && p.type != D3DXPT_BOOL) ||
                                p.rows != 1 || p.columns != 1) {
                Error(v[i], "'" + p.name + "' cannot pick the program of '" + s.name + "'");
                return;
            }
            s.selector.push_back(index);
            ++i;
            if (i < end && v[i].text == "[") {
                if (!outermost && p.elements == 0) break;
                ++closes;
                ++i;
                continue;
            }
            if (outermost || p.elements != 0) break; // an array without its index
            // The innermost index: a scalar parameter.
            while (closes > 0 && i < end && v[i].text == "]") --closes, ++i;
            if (closes == 0 && i == end) return;
            break;
        }
        // The innermost index written as a number.
        if (i < end && v[i].kind == Tok::Number && !s.selector.empty() &&
            m_out.parameters[static_cast<std::size_t>(s.selector.back())].elements != 0) {
            const unsigned long n = std::strtoul(v[i].text.c_str(), nullptr, 0);
            s.selectorIndex = static_cast<std::int64_t>(std::min<unsigned long>(n, 0x7FFFFFFFul));
            ++i;
            while (closes > 0 && i < end && v[i].text == "]") --closes, ++i;
            if (closes == 0 && i == end) return;
        }
        Error(v[first], "bad program expression for '" + s.name + "'");
        s.selector.clear();
    }

    static std::string ParameterFits(StateKind kind, const Parameter& p) {
        const bool texture = p.type >= D3DXPT_TEXTURE && p.type <= D3DXPT_TEXTURECUBE;
        const bool sampler = p.type >= D3DXPT_SAMPLER && p.type <= D3DXPT_SAMPLERCUBE;
        bool fits = true;
        switch (kind) {
        case StateKind::Texture: fits = texture; break;
        case StateKind::SamplerObject: fits = sampler; break;
        case StateKind::VertexShader: fits = p.type == D3DXPT_VERTEXSHADER; break;
        case StateKind::PixelShader: fits = p.type == D3DXPT_PIXELSHADER; break;
        case StateKind::Transform: fits = p.type == D3DXPT_FLOAT && p.rows == 4 && p.columns == 4; break;
        case StateKind::Unknown: break;
        default: fits = p.Numeric(); break;
        }
        return fits ? std::string() : "parameter '" + p.name + "' does not fit its state";
    }

public:
    // Spans of the preprocessed lines the compiler must not see: techniques,
    // annotations and the effect's own object declarations.
    struct Span {
        std::size_t li, col, endLi, endCol;
    };
    [[nodiscard]] const std::vector<Span>& Hidden() const { return m_hidden; }

private:
    // Tokens [first, end) hidden.
    void Hide(std::size_t first, std::size_t end) {
        if (end <= first || end > m_t.size() || m_t[end - 1].kind == Tok::End) return;
        m_hidden.push_back({m_t[first].li, m_t[first].col, m_t[end - 1].endLi, m_t[end - 1].endCol});
    }

    std::vector<Span> m_hidden;
    std::vector<Token> m_t;
    std::vector<std::pair<std::size_t, bool>> m_rowMajorFrom; // token index, rows from there on
    std::size_t m_i = 0;
    Errors& m_errors;
    EffectData& m_out;
    std::set<std::string> m_structs;
    int m_errorCount = 0;
    bool m_fatal = false;
};

} // namespace

bool ReadEffect(const std::string& text, const std::string& fileName, const D3DXMACRO* defines, EffectData& out,
                std::string& errorText) {
    // One deadline for all the compiles of the effect's programs; its
    // includes capped as a compile's are.
    const HlslCompileScope scope;
    std::vector<std::string> files{fileName.empty() ? std::string("memory") : fileName};
    Errors errors(files);
    Preprocessor pp(files, errors);
    for (const D3DXMACRO* d = defines; d && d->Name; ++d) pp.Define(d->Name, d->Definition ? d->Definition : "");
    pp.Run(text, 0, 0);
    std::string messages;
    if (!errors.Any()) {
        Reader reader(Tokenize(pp.Output(), errors), errors, out);
        reader.Run();
        if (!errors.Any()) {
            // The compiler reads the same preprocessed lines, one for one,
            // with what only the effect knows blanked out.
            std::vector<std::string> lines;
            std::vector<SourceLine> where;
            for (const Line& l : pp.Output()) {
                // The packing pragmas reach the compiler as written.
                const std::string kPack = "pack_matrix ";
                if (l.pragma.rfind(kPack, 0) == 0) lines.push_back("#pragma pack_matrix(" + l.pragma.substr(kPack.size()) + ")");
                else lines.push_back(l.text);
                where.push_back({files[static_cast<std::size_t>(l.file)], l.number});
            }
            for (const Reader::Span& h : reader.Hidden())
                for (std::size_t li = h.li; li <= h.endLi && li < lines.size(); ++li) {
                    std::string& t = lines[li];
                    const std::size_t from = li == h.li ? h.col : 0;
                    const std::size_t to = li == h.endLi ? std::min(h.endCol, t.size()) : t.size();
                    for (std::size_t c = from; c < to; ++c) t[c] = ' ';
                }
            std::string source;
            for (const std::string& l : lines) source += l + "\n";
            CompileEffectShaders(out, source, where, files[0], messages);
        }
    }
    errorText = errors.Text() + messages;
    return !errors.Any();
}

} // namespace gfx::effect
