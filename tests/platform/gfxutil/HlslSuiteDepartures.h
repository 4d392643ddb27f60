#pragma once

// The project's record of where it departs from the conformance suite: one
// line per check, "<file> <check id> <reason>", '#' starting a comment line.
// The runner fails a check that fails and is not listed, and a listed check
// that no longer fails (the record must stay true).

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace hlslsuite {

class HlslSuiteDepartures {
public:
    // False when the file exists but cannot be read; a missing file is an empty record.
    [[nodiscard]] bool Read(const std::string& path);
    void Parse(const std::string& text);
    // The whole record in file order (sorted by file, then check line).
    [[nodiscard]] std::string Write() const;

    // The reason a check is listed with; null when it is not listed.
    [[nodiscard]] const std::string* Find(const std::string& file, const std::string& id) const;
    // The ids listed for `file`.
    [[nodiscard]] std::vector<std::string> IdsOf(const std::string& file) const;
    void Set(const std::string& file, const std::string& id, std::string reason);
    // Every entry of `file` taken out.
    void Clear(const std::string& file);
    [[nodiscard]] std::size_t Size() const { return m_entries.size(); }

private:
    // Ordered by file, then by the check's line number and kind.
    struct Key {
        std::string file;
        int line = 0;
        std::string id;
        bool operator<(const Key& o) const {
            if (file != o.file) return file < o.file;
            if (line != o.line) return line < o.line;
            return id < o.id;
        }
    };
    static Key MakeKey(const std::string& file, const std::string& id);
    std::map<Key, std::string> m_entries;
    std::string m_header;
};

} // namespace hlslsuite
