#include "platform/gfxutil/GfxUtilPreprocess.h"

#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlslGuard.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "platform/os/OsFiles.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <unordered_map>

namespace gfx {
namespace {

constexpr std::size_t kMaxIncludeDepth = 16;
constexpr std::size_t kMaxLineGrowth = 16 * 1024; // what macros may add to one line
constexpr int kMaxNesting = 64;                    // conditionals, expansions within expansions, expression depth
constexpr std::size_t kMaxJoinedLines = 64;        // a macro call's arguments over several lines
constexpr std::size_t kMaxMacroParameters = 128;
// Expansion steps (a name, a number, a run of other characters looked at):
// one for each byte read or written, and a few more for a short text. A
// text takes less than one for each byte it writes, while names that expand
// to nothing could take any number: the work stays in proportion to the
// text and what it makes.
constexpr std::uint64_t kFreeSteps = 1u << 18;
// How often the deadline is looked at: in lines read, and in steps.
constexpr std::uint64_t kLinesPerLook = 1024;
constexpr std::uint64_t kStepsPerLook = 4096;

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string FirstWord(std::string_view s) {
    std::size_t a = 0;
    while (a < s.size() && IsSpace(s[a])) ++a;
    std::size_t b = a;
    while (b < s.size() && IsIdentChar(s[b])) ++b;
    return std::string(s.substr(a, b - a));
}

std::string Trimmed(std::string_view s) {
    std::size_t a = 0, b = s.size();
    while (a < b && IsSpace(s[a])) ++a;
    while (b > a && IsSpace(s[b - 1])) --b;
    return std::string(s.substr(a, b - a));
}

bool IsDirective(std::string_view l) {
    std::size_t p = 0;
    while (p < l.size() && IsSpace(l[p])) ++p;
    return p < l.size() && l[p] == '#';
}

// The folder part of a path, with its separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Files saved by Windows editors start with a UTF-8 byte-order mark and may
// end their lines with CR LF or (older Mac editors) a lone CR: the mark is
// dropped and each line end made one '\n', so a lone CR does not join the
// lines it ends (the first "//" would hide the rest of the file) and every
// line keeps its number.
std::string PlainLines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::string out;
    out.reserve(text.size());
    for (std::size_t from = 0; from < text.size();) {
        const std::size_t cr = std::min(text.find('\r', from), text.size());
        out.append(text, from, cr - from);
        if (cr == text.size()) break;
        out += '\n';
        from = cr + (text.compare(cr, 2, "\r\n") == 0 ? 2 : 1);
    }
    return out;
}

// Comments out (a block comment's characters become spaces, so columns and
// line breaks stay), carriage returns dropped, and line continuations
// joined: the joined line keeps the first line's number and the lines it
// took stay as empty lines, so every line keeps its number. `openComment`:
// the line of a comment without its end, 0 when none.
std::string SplitClean(std::string_view text, int& openComment) {
    openComment = 0;
    // Lines are counted only where a comment opens, from where the last
    // count ended: once over the text in all.
    std::size_t counted = 0;
    int line = 1;
    const auto lineAt = [&](std::size_t at) {
        line += static_cast<int>(std::count(text.begin() + static_cast<std::ptrdiff_t>(counted),
                                            text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
        counted = at;
        return line;
    };
    // Plain runs are copied whole: a text of megabytes is looked at byte by
    // byte only in its strings and comments.
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t stop = std::min(text.find_first_of("\"/\r", i), text.size());
        out.append(text.substr(i, stop - i));
        i = stop;
        if (i >= text.size()) break;
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '\r') {
            ++i;
        } else if (c == '"') {
            out += c;
            for (++i; i < text.size();) {
                const char d = text[i++];
                out += d;
                if (d == '\\' && i < text.size() && text[i] != '\n') out += text[i++];
                else if (d == '"' || d == '\n') break;
            }
        } else if (next == '/') {
            i = std::min(text.find('\n', i), text.size()); // the line end stays
        } else if (next == '*') {
            const std::size_t end = text.find("*/", i + 2);
            const std::size_t last = end == std::string_view::npos ? text.size() : end;
            out += "  ";
            for (std::size_t k = i + 2; k < last; ++k)
                if (text[k] == '\n') out += '\n';
                else if (text[k] != '\r') out += ' ';
            if (end == std::string_view::npos) {
                openComment = lineAt(i);
                break;
            }
            out += "  ";
            i = end + 2;
        } else {
            out += c;
            ++i;
        }
    }
    if (out.find('\\') == std::string::npos) return out;
    std::string joined;
    joined.reserve(out.size());
    std::size_t pendingBlank = 0;
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t stop = std::min(out.find_first_of("\\\n", i), out.size());
        joined.append(out, i, stop - i);
        i = stop;
        if (i >= out.size()) break;
        if (out[i] == '\\' && i + 1 < out.size() && out[i + 1] == '\n') {
            ++pendingBlank;
            i += 2;
            continue;
        }
        joined += out[i];
        if (out[i] == '\n') {
            joined.append(pendingBlank, '\n');
            pendingBlank = 0;
        }
        ++i;
    }
    joined.append(pendingBlank, '\n');
    return joined;
}

// Integer constant expressions: numbers, names, C's operators.
class Expr {
public:
    using Name = std::function<bool(std::string_view, long long&)>;
    using Defined = std::function<bool(std::string_view)>;
    Expr(std::string_view s, const Name& name, const Defined* defined) : m_s(s), m_name(name), m_defined(defined) {}
    bool Parse(long long& value) {
        value = Ternary();
        Skip();
        if (m_ok && m_i != m_s.size()) Fail("bad expression");
        return m_ok;
    }
    const std::string& Error() const { return m_error; }

private:
    void Skip() {
        while (m_i < m_s.size() && IsSpace(m_s[m_i])) ++m_i;
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
        if (n == 2 && (op[0] == '<' || op[0] == '>') && op[1] == op[0] && m_i + 2 < m_s.size() && m_s[m_i + 2] == '=')
            return false;
        m_i += n;
        return true;
    }
    void Fail(const std::string& why) {
        if (m_ok) m_error = why;
        m_ok = false;
    }
    // Each way of nesting (parentheses, unary operators, the branches of
    // '?:') passes here: a hostile expression cannot run the stack out.
    bool Deeper() {
        if (++m_depth <= kMaxNesting) return true;
        Fail("expression nested too deeply");
        return false;
    }
    long long Ternary() {
        const long long c = Binary(0);
        if (!m_ok || !Eat("?") || !Deeper()) return c;
        const long long a = Ternary();
        if (!Eat(":")) Fail("':' expected");
        const long long b = Ternary();
        --m_depth;
        return c ? a : b;
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
            const std::string_view op = found;
            const auto u = [](long long x) { return static_cast<unsigned long long>(x); };
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
            else if (op == "<<") left = (right < 0 || right > 62) ? 0 : static_cast<long long>(u(left) << right);
            else if (op == ">>") left = (right < 0 || right > 62) ? 0 : left >> right;
            else if (op == "+") left = static_cast<long long>(u(left) + u(right));
            else if (op == "-") left = static_cast<long long>(u(left) - u(right));
            else if (op == "*") left = static_cast<long long>(u(left) * u(right));
            else if (right == 0 || (left == LLONG_MIN && right == -1)) {
                Fail("division by zero");
                return 0;
            } else if (op == "/") left /= right;
            else left %= right;
        }
    }
    long long Unary() {
        if (!Deeper()) return 0;
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
            const long long v = static_cast<long long>(std::strtoull(m_s.c_str() + m_i, &end, 0));
            if (errno == ERANGE) Fail("number out of range");
            m_i = static_cast<std::size_t>(end - m_s.c_str());
            while (m_i < m_s.size() && std::strchr("uUlL", m_s[m_i])) ++m_i;
            return v;
        }
        if (m_i < m_s.size() && IsIdentStart(m_s[m_i])) {
            std::size_t j = m_i;
            while (j < m_s.size() && IsIdentChar(m_s[j])) ++j;
            const std::string word = m_s.substr(m_i, j - m_i);
            m_i = j;
            if (word == "defined" && m_defined) {
                const bool paren = Eat("(");
                Skip();
                std::size_t k = m_i;
                while (k < m_s.size() && IsIdentChar(m_s[k])) ++k;
                const std::string name = m_s.substr(m_i, k - m_i);
                m_i = k;
                if (name.empty()) Fail("defined without a name");
                if (paren && !Eat(")")) Fail("')' expected");
                return (*m_defined)(name) ? 1 : 0;
            }
            long long v = 0;
            if (!m_name(word, v)) Fail("'" + word + "' is no constant");
            return v;
        }
        Fail("bad expression");
        return 0;
    }

    std::string m_s; // owned: numbers are read with strtoull, which wants its end
    const Name& m_name;
    const Defined* m_defined;
    std::size_t m_i = 0;
    bool m_ok = true;
    int m_depth = 0;
    std::string m_error;
};

class Preprocessor {
public:
    Preprocessor(const PreprocessOptions& options, const HlslCompileScope& scope, const PreprocessReport& report,
                 PreprocessedText& out)
        : m_what(options.what), m_scope(scope), m_limits(scope.Limits()), m_report(report), m_out(out) {}

    // A caller's macro, as "#define name value" would make it.
    void Define(std::string_view name, std::string_view value) {
        DefineFromText(std::string(name) + " " + std::string(value), 0, 0);
    }

    // `text`, read as files[file] found at `path`, `depth` includes deep.
    void Run(std::string_view text, int file, const std::string& path, std::size_t depth) {
        if (depth == 0) {
            m_bytes += text.size();
            m_top = path;
        }
        text = TextBeforeTrailingNuls(text);
        int openComment = 0;
        std::string plain; // only for text that needs it: most has neither
        if (text.starts_with("\xEF\xBB\xBF") || text.find('\r') != std::string_view::npos) {
            plain = PlainLines(text);
            text = plain;
        }
        const std::string clean = SplitClean(text, openComment);
        if (openComment) Error(file, openComment, "comment without its end");
        struct Cond {
            bool active, taken, parentActive, elseSeen;
            int line;
        };
        std::vector<Cond> conds;
        auto active = [&] { return conds.empty() || conds.back().active; };
        int shown = file;       // the file its lines are told to be in (#line renames it)
        long long shift = 0;    // #line: a line's number less its place
        std::size_t at = 0;     // where the next line starts
        long long index = 0;    // the place of the line read
        const auto take = [&](std::size_t& from) {
            std::size_t end = clean.find('\n', from);
            if (end == std::string::npos) end = clean.size();
            const std::string_view l = std::string_view(clean).substr(from, end - from);
            from = end + 1;
            return l;
        };
        while (at <= clean.size() && !m_stopped) {
            const std::string_view l = take(at);
            const int number = static_cast<int>(++index + shift);
            if (++m_lines % kLinesPerLook == 0 && m_scope.Expired()) {
                Stop(shown, number, TookTooLong());
                return;
            }
            std::size_t p = 0;
            while (p < l.size() && IsSpace(l[p])) ++p;
            if (p >= l.size() || l[p] != '#') {
                if (!active()) continue;
                // A macro call may take its arguments from the lines after it.
                std::string& joined = m_joined; // buffers kept from line to line
                std::string& out = m_expanded;
                joined.assign(l);
                for (std::size_t extra = 0;; ++extra) {
                    std::size_t next = at;
                    const std::string_view following = at > clean.size() ? std::string_view() : take(next);
                    const bool last = extra >= kMaxJoinedLines || at > clean.size() || IsDirective(following);
                    const std::size_t first = following.find_first_not_of(" \t\f\v");
                    const bool opens = first != std::string_view::npos && following[first] == '(';
                    const Expansion e = ExpandLine(joined, shown, number, out, last, opens);
                    if (e != Expansion::Incomplete) break;
                    if (last) {
                        Error(shown, number, "macro call without its ')'");
                        out.clear();
                        break;
                    }
                    joined += ' ';
                    joined += take(at);
                    ++index;
                }
                if (m_stopped) return;
                Emit(out, shown, number);
                continue;
            }
            ++p;
            while (p < l.size() && IsSpace(l[p])) ++p;
            std::size_t q = p;
            while (q < l.size() && IsIdentChar(l[q])) ++q;
            const std::string directive(l.substr(p, q - p));
            const std::string rest(l.substr(q));
            if (directive == "if" || directive == "ifdef" || directive == "ifndef") {
                if (conds.size() >= static_cast<std::size_t>(kMaxNesting)) {
                    Error(shown, number, "conditionals nested too deeply");
                    return;
                }
                bool value = false;
                if (active()) {
                    if (directive == "if") {
                        value = Evaluate(rest, shown, number);
                    } else {
                        const std::string name = FirstWord(rest);
                        if (name.empty()) Error(shown, number, "#" + directive + " without a name");
                        value = (m_macros.count(name) != 0) == (directive == "ifdef");
                    }
                }
                const bool parent = active();
                conds.push_back({parent && value, parent && value, parent, false, number});
            } else if (directive == "elif") {
                if (conds.empty() || conds.back().elseSeen) {
                    Error(shown, number, "#elif without #if");
                    continue;
                }
                Cond& c = conds.back();
                const bool value = c.parentActive && !c.taken && Evaluate(rest, shown, number);
                c.active = value;
                c.taken = c.taken || value;
            } else if (directive == "else") {
                if (conds.empty() || conds.back().elseSeen) {
                    Error(shown, number, "#else without #if");
                    continue;
                }
                Cond& c = conds.back();
                c.active = c.parentActive && !c.taken;
                c.taken = true;
                c.elseSeen = true;
            } else if (directive == "endif") {
                if (conds.empty()) Error(shown, number, "#endif without #if");
                else conds.pop_back();
            } else if (!active()) {
                continue; // other directives in skipped text are not looked at
            } else if (directive == "define") {
                DefineFromText(rest, shown, number);
            } else if (directive == "undef") {
                m_macros.erase(FirstWord(rest));
            } else if (directive == "include") {
                Include(rest, shown, number, path, depth);
            } else if (directive == "line") {
                SetLine(rest, shown, number, index, shift);
            } else if (directive == "pragma") {
                Pragma(rest, shown, number, path);
            } else if (directive == "error") {
                Error(shown, number, "#error " + Trimmed(rest));
            } else if (directive.empty() && Trimmed(rest).empty()) {
                continue; // a lone '#' is an empty directive
            } else {
                Error(shown, number, "unsupported directive '#" + directive + "'");
            }
        }
        if (!conds.empty() && !m_stopped) Error(shown, conds.back().line, "#if without #endif");
    }

private:
    // A macro's body in preprocessing tokens: names, numbers, string and
    // character literals, "##", and single other characters; each notes
    // whether white space came before it, and which parameter it names.
    struct BodyToken {
        std::string text;
        bool spaceBefore = false;
        int param = -1;
    };
    struct Macro {
        std::vector<BodyToken> body; // split once, where it is defined
        std::vector<std::string> params;
        bool function = false;
        bool variadic = false;   // the last parameter is "..." (__VA_ARGS__)
        bool expanding = false;  // being expanded: never again inside its own expansion
    };
    enum class Expansion : std::uint8_t { Done, Incomplete, Failed };

    void Error(int file, int line, const std::string& text) {
        m_failed = true;
        m_report(file, line, text, false);
    }
    void Warn(int file, int line, const std::string& text) { m_report(file, line, text, true); }
    // A problem past which reading on would only cost time: nothing more is read.
    void Stop(int file, int line, const std::string& text) {
        if (!m_stopped) Error(file, line, text);
        m_stopped = true;
    }
    std::string TookTooLong() const { return "the " + std::string(m_what) + " took too long to preprocess"; }

    void Emit(std::string_view line, int file, int number) {
        // The line's end is not counted: a source at the cap whose last line
        // has none gains one here, and must still fit.
        if (m_out.text.size() + line.size() > m_limits.expandedBytes) {
            Stop(file, number, "the " + std::string(m_what) + " with its macros expanded passes " +
                                   std::to_string(m_limits.expandedBytes) + " bytes");
            return;
        }
        m_out.text.append(line);
        m_out.text += '\n';
        m_out.origins.push_back({file, number});
    }

    // `n` more expansion steps; false once the text has taken too many or
    // its time is up.
    bool Step(std::uint64_t n = 1) {
        if (m_stopped) return false;
        m_steps += n;
        if (m_steps > m_bytes + m_out.text.size() + kFreeSteps) {
            Stop(m_file, m_line, "macro expansion takes too many steps");
            return false;
        }
        if (m_steps >= m_nextLook) {
            m_nextLook = m_steps + kStepsPerLook;
            if (m_scope.Expired()) {
                Stop(m_file, m_line, TookTooLong());
                return false;
            }
        }
        return true;
    }

    // "#line number" and "#line number "name"": the next line takes that
    // number, in a file of that name.
    void SetLine(const std::string& rest, int& shown, int number, long long index, long long& shift) {
        const std::string text = Trimmed(rest);
        std::size_t digits = 0;
        while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
        const long long value = digits == 0 || digits > 9 ? 0 : std::atoll(text.substr(0, digits).c_str());
        const std::string after = Trimmed(std::string_view(text).substr(digits));
        const bool named = after.size() >= 2 && after.front() == '"' && after.back() == '"';
        if (value < 1 || (!after.empty() && !named)) {
            Error(shown, number, "bad #line");
            return;
        }
        shift = value - (index + 1);
        if (!named) return;
        const std::string name = after.substr(1, after.size() - 2);
        if (name != m_out.files[static_cast<std::size_t>(shown)]) {
            m_out.files.push_back(name);
            shown = static_cast<int>(m_out.files.size() - 1);
        }
    }

    // "#define NAME text" or "#define NAME(a, b, ...) text"; the '(' must
    // follow the name at once to make a function-like macro.
    void DefineFromText(const std::string& rest, int file, int number) {
        std::size_t a = 0;
        while (a < rest.size() && IsSpace(rest[a])) ++a;
        std::size_t b = a;
        while (b < rest.size() && IsIdentChar(rest[b])) ++b;
        if (a == b || !IsIdentStart(rest[a])) {
            Error(file, number, "#define without a name");
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
                if (IsSpace(c)) {
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
                        Error(file, number, "'" + param + "' named twice in the parameters of '" + name + "'");
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
                Error(file, number, "bad parameter list in the definition of '" + name + "'");
                return;
            }
            bodyStart = k;
        }
        m.body = SplitBody(std::string_view(rest).substr(bodyStart));
        if (m.function)
            for (BodyToken& t : m.body) t.param = ParamIndex(m, t.text);
        // '#' in a function-like macro must name a parameter, and '##' needs
        // something on both sides.
        std::string problem;
        const std::vector<BodyToken>& tokens = m.body;
        for (std::size_t t = 0; t < tokens.size() && problem.empty(); ++t) {
            if (tokens[t].text == "##" && (t == 0 || t + 1 == tokens.size()))
                problem = "'##' at the edge of the definition of '" + name + "'";
            else if (m.function && tokens[t].text == "#" && (t + 1 == tokens.size() || tokens[t + 1].param < 0))
                problem = "'#' not followed by a parameter in the definition of '" + name + "'";
        }
        if (!problem.empty()) {
            Error(file, number, problem);
            return;
        }
        m_macros[name] = std::move(m);
    }

    // Pragmas this system knows are applied; others are let pass with a warning.
    void Pragma(const std::string& rest, int file, int number, const std::string& path) {
        const std::string name = FirstWord(rest);
        const std::string args = Trimmed(std::string_view(rest).substr(rest.find(name) + name.size()));
        if (name == "once") {
            m_onceFiles.insert(path);
        } else if (name == "pack_matrix") {
            const std::string how = args.size() >= 2 && args.front() == '(' && args.back() == ')'
                                        ? Trimmed(std::string_view(args).substr(1, args.size() - 2))
                                        : std::string();
            if (how == "row_major" || how == "column_major") Emit("#pragma pack_matrix(" + how + ")", file, number);
            else Warn(file, number, "#pragma pack_matrix takes row_major or column_major; ignored");
        } else if (name == "warning" || name == "def") {
            // Compiler warning switches: no numbered warnings are given.
        } else if (name == "message") {
            std::string text = args;
            if (text.size() >= 2 && text.front() == '(' && text.back() == ')')
                text = Trimmed(std::string_view(text).substr(1, text.size() - 2));
            if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
            Warn(file, number, "message: " + text);
        } else {
            Warn(file, number, "unknown #pragma '" + (name.empty() ? Trimmed(rest) : name) + "' ignored");
        }
    }

    void Include(const std::string& rest, int file, int number, const std::string& including, std::size_t depth) {
        const std::size_t a = rest.find_first_of("\"<");
        const std::size_t b = a == std::string::npos ? a : rest.find(rest[a] == '"' ? '"' : '>', a + 1);
        if (b == std::string::npos) {
            Error(file, number, "#include without a file name");
            return;
        }
        const std::string name = rest.substr(a + 1, b - a - 1);
        if (depth + 1 > kMaxIncludeDepth) {
            Error(file, number, "includes nested too deeply");
            return;
        }
        if (m_scope.Expired()) {
            Stop(file, number, TookTooLong());
            return;
        }
        // Beside the file that includes it, then beside the first file (a
        // header's own includes may be written from the top file's folder),
        // then in the include folders and from the working folder.
        std::vector<std::string> candidates{FolderOf(including) + name};
        if (FolderOf(m_top) != FolderOf(including)) candidates.push_back(FolderOf(m_top) + name);
        for (const std::string& folder : GetIncludeFolders()) candidates.push_back(JoinIncludePath(folder, name));
        candidates.push_back(name);
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(nullptr, &std::fclose);
        std::string path;
        os::FileError why = os::FileError::CannotOpen;
        for (const std::string& candidate : candidates) {
            f.reset(os::OpenFile(candidate, "rb", &why));
            // A name that is there but no file (a FIFO, a device) is refused
            // as such, not passed over for a file of the name further on.
            if (f || why == os::FileError::NotRegular) {
                path = candidate;
                break;
            }
        }
        if (!f) {
            Error(file, number, why == os::FileError::NotRegular ? "include file " + os::DescribeFileError(path, why)
                                                                 : "cannot open include file '" + name + "'");
            return;
        }
        if (m_onceFiles.count(path)) return; // "#pragma once" and already read
        // Files that include each other several times over grow the text
        // exponentially: the count and the bytes are capped.
        if (++m_includes > m_limits.includes) {
            Error(file, number, "more than " + std::to_string(m_limits.includes) + " includes");
            return;
        }
        std::string text;
        if (!ReadIncludeText(f.get(), m_limits.expandedBytes - std::min(m_bytes, m_limits.expandedBytes), text)) {
            Error(file, number,
                  std::ferror(f.get()) ? "cannot read include file '" + name + "'"
                                       : "the " + std::string(m_what) + " with its includes passes " +
                                             std::to_string(m_limits.expandedBytes) + " bytes");
            return;
        }
        f.reset();
        m_bytes += text.size();
        m_out.files.push_back(path);
        Run(text, static_cast<int>(m_out.files.size() - 1), path, depth + 1);
    }

    // ---- macro expansion
    static std::vector<BodyToken> SplitBody(std::string_view s) {
        std::vector<BodyToken> out;
        bool space = false;
        for (std::size_t i = 0; i < s.size();) {
            const char c = s[i];
            std::size_t j = i + 1;
            if (IsSpace(c)) {
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
            out.push_back({std::string(s.substr(i, j - i)), space});
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
            if (!quote && IsSpace(c)) {
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
    // and so does such a name at the very end when the next line can follow
    // and `opens` with '('.
    Expansion ExpandLine(const std::string& line, int file, int number, std::string& out, bool last,
                         bool opens = false) {
        m_file = file;
        m_line = number;
        m_lastLine = last || !opens;
        m_lineLimit = line.size() + kMaxLineGrowth;
        bool incomplete = false;
        out.clear();
        if (!Expand(line, 0, true, incomplete, out)) {
            out.clear();
            return incomplete ? Expansion::Incomplete : Expansion::Failed;
        }
        return Expansion::Done;
    }

    bool Grown(const std::string& s) {
        if (s.size() <= m_lineLimit) return false;
        Error(m_file, m_line, "macro expansion too long");
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
        end = s.size();
        return false;
    }

    // Macro names outside literals replaced, each never inside its own
    // expansion; depth, growth and steps bounded.
    bool Expand(const std::string& text, int depth, bool topLevel, bool& incomplete, std::string& out) {
        if (depth > kMaxNesting) {
            Error(m_file, m_line, "macro expansion nested too deeply");
            return false;
        }
        for (std::size_t i = 0; i < text.size();) {
            if (!Step()) return false;
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
                const std::string_view word(text.data() + i, j - i);
                const auto it = m_macros.find(word);
                if (it == m_macros.end() || it->second.expanding) {
                    out += word;
                    i = j;
                    continue;
                }
                Macro& m = it->second;
                std::string body;
                if (!m.function) {
                    if (!Substitute(m, {}, depth, body)) return false;
                    i = j;
                } else {
                    std::size_t k = j;
                    while (k < text.size() && IsSpace(text[k])) ++k;
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
                    const bool closed = CollectArguments(text, k, args, end);
                    if (!Step(end - k)) return false;
                    if (!closed) {
                        if (topLevel) incomplete = true;
                        else Error(m_file, m_line, "macro call without its ')'");
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
                        Error(m_file, m_line,
                              "macro '" + std::string(word) + "' takes " + std::to_string(m.params.size()) +
                                  " argument" + (m.params.size() == 1 ? "" : "s") + ", " +
                                  std::to_string(args.size()) + " given");
                        return false;
                    }
                    if (!Substitute(m, args, depth, body)) return false;
                    i = end;
                }
                m.expanding = true;
                bool inner = false;
                const bool ok = Expand(body, depth + 1, false, inner, out);
                m.expanding = false;
                if (!ok) return false;
            } else {
                // Up to the next name, number or literal at once.
                std::size_t j = i + 1;
                while (j < text.size() && !IsIdentChar(text[j]) && text[j] != '"' && text[j] != '\'') ++j;
                out.append(text, i, j - i);
                i = j;
            }
            if (Grown(out)) return false;
        }
        return true;
    }

    // The body with each parameter replaced: by its argument as written next
    // to '#' (as a string), else by the argument's own expansion. The D3D9
    // compiler expands an operand of '##' too before it pastes: with
    // `#define PICK(a, b) a##b`, `PICK(TINT, _colour)` pastes what TINT
    // stands for, not its name.
    bool Substitute(const Macro& m, const std::vector<std::string>& args, int depth, std::string& out) {
        const std::vector<BodyToken>& tokens = m.body;
        std::vector<std::string> expanded; // each argument expanded once, when the body first needs it
        std::vector<bool> expandedDone;
        if (!args.empty()) {
            expanded.resize(args.size());
            expandedDone.assign(args.size(), false);
        }
        bool pasteNext = false;
        for (std::size_t t = 0; t < tokens.size(); ++t) {
            if (!Step()) return false;
            const BodyToken& tok = tokens[t];
            if (tok.text == "##") {
                while (!out.empty() && IsSpace(out.back())) out.pop_back();
                pasteNext = true;
                continue;
            }
            if (tok.spaceBefore && !pasteNext && !out.empty()) out += ' ';
            if (m.function && tok.text == "#" && t + 1 < tokens.size() && tokens[t + 1].param >= 0) {
                out += Stringize(args[static_cast<std::size_t>(tokens[++t].param)]);
            } else if (tok.param >= 0) {
                const auto up = static_cast<std::size_t>(tok.param);
                if (!expandedDone[up]) {
                    bool inner = false;
                    if (!Expand(args[up], depth + 1, false, inner, expanded[up])) return false;
                    expandedDone[up] = true;
                }
                out += expanded[up];
            } else {
                out += tok.text;
            }
            pasteNext = false;
            if (Grown(out)) return false;
        }
        return true;
    }

    // "defined NAME" and "defined(NAME)" answered first, then the macros
    // expanded, then the expression read; a name left is no macro and counts as 0.
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
            while (k < text.size() && IsSpace(text[k])) ++k;
            const bool paren = k < text.size() && text[k] == '(';
            if (paren) ++k;
            while (k < text.size() && IsSpace(text[k])) ++k;
            std::size_t e = k;
            while (e < text.size() && IsIdentChar(text[e])) ++e;
            const std::string name = text.substr(k, e - k);
            while (paren && e < text.size() && IsSpace(text[e])) ++e;
            if (name.empty() || (paren && (e >= text.size() || text[e] != ')'))) {
                Error(file, number, name.empty() ? "#if: defined without a name" : "#if: ')' expected");
                return false;
            }
            answered += m_macros.count(name) ? " 1 " : " 0 ";
            i = paren ? e + 1 : e;
        }
        std::string expanded;
        const Expansion x = ExpandLine(answered, file, number, expanded, true);
        if (x == Expansion::Incomplete) Error(file, number, "macro call without its ')'");
        if (x != Expansion::Done) return false;
        const Expr::Name zero = [](std::string_view, long long& v) {
            v = 0;
            return true;
        };
        const Expr::Defined defined = [&](std::string_view name) { return m_macros.count(name) != 0; };
        Expr e(expanded, zero, &defined);
        long long v = 0;
        if (!e.Parse(v)) {
            Error(file, number, "#if: " + e.Error());
            return false;
        }
        return v != 0;
    }

    const std::string_view m_what;
    const HlslCompileScope& m_scope;
    const HlslCompileLimits m_limits;
    const PreprocessReport& m_report;
    PreprocessedText& m_out;
    // By name, looked up for every word of the text.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, Macro, NameHash, std::equal_to<>> m_macros;
    std::set<std::string> m_onceFiles;
    std::string m_top;            // the path of the first file, whose folder its includes search too
    std::uint32_t m_includes = 0; // files included so far
    std::uint64_t m_bytes = 0;    // text read so far, included files and all
    std::uint64_t m_lines = 0;    // lines read so far
    std::uint64_t m_steps = 0, m_nextLook = kStepsPerLook;
    bool m_failed = false;
    bool m_stopped = false;
    int m_file = 0; // where the expansion under way reports its problems
    int m_line = 0;
    std::string m_joined, m_expanded; // the line under way, and what it expands to
    bool m_lastLine = false;      // no line follows to bring a call's arguments
    std::size_t m_lineLimit = 0;  // what the line under way may grow to

public:
    [[nodiscard]] bool Failed() const { return m_failed; }
};

} // namespace

std::string_view TextBeforeTrailingNuls(std::string_view text) {
    const std::size_t nul = text.find('\0');
    if (nul == std::string_view::npos) return text;
    for (std::size_t i = nul; i < text.size(); ++i)
        if (text[i] != '\0' && !IsSpace(text[i]) && text[i] != '\n' && text[i] != '\r') return text;
    return text.substr(0, nul);
}

PreprocessedText::Origin PreprocessedText::At(std::size_t line) const {
    if (origins.empty()) return {};
    return origins[std::min(std::max<std::size_t>(line, 1), origins.size()) - 1];
}

bool PreprocessText(std::string_view source, const std::string& name, const PreprocessOptions& options,
                    const HlslCompileScope& scope, const PreprocessReport& report, PreprocessedText& out) {
    out = PreprocessedText{};
    out.files.push_back(name.empty() ? std::string("memory") : name);
    Preprocessor pp(options, scope, report, out);
    for (const D3DXMACRO* d = options.defines; d && d->Name; ++d)
        pp.Define(d->Name, d->Definition ? d->Definition : "");
    pp.Run(source, 0, name, 0);
    return !pp.Failed();
}

bool EvaluateIntegerExpression(std::string_view text, const std::function<bool(std::string_view, long long&)>& name,
                               long long& value, std::string& error) {
    Expr e(text, name, nullptr);
    if (e.Parse(value)) return true;
    error = e.Error();
    return false;
}

} // namespace gfx
