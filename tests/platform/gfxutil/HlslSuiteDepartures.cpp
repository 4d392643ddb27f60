#include "tests/platform/gfxutil/HlslSuiteDepartures.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace hlslsuite {

HlslSuiteDepartures::Key HlslSuiteDepartures::MakeKey(const std::string& file, const std::string& id) {
    return Key{file, std::atoi(id.c_str()), id};
}

bool HlslSuiteDepartures::Read(const std::string& path) {
    m_entries.clear();
    m_header.clear();
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return !error; // no record yet: nothing departs
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    Parse(text.str());
    return true;
}

void HlslSuiteDepartures::Parse(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    bool leading = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') {
            // The comment block at the top is kept when the record is rewritten.
            if (leading) m_header += line + "\n";
            continue;
        }
        leading = false;
        std::istringstream words(line);
        std::string file, id;
        words >> file >> id;
        std::string reason;
        std::getline(words, reason);
        const std::size_t start = reason.find_first_not_of(" \t");
        reason = start == std::string::npos ? std::string() : reason.substr(start);
        if (!file.empty() && !id.empty()) Set(file, id, reason);
    }
}

std::string HlslSuiteDepartures::Write() const {
    std::string out = m_header;
    for (const auto& [key, reason] : m_entries) out += key.file + " " + key.id + " " + reason + "\n";
    return out;
}

const std::string* HlslSuiteDepartures::Find(const std::string& file, const std::string& id) const {
    const auto it = m_entries.find(MakeKey(file, id));
    return it == m_entries.end() ? nullptr : &it->second;
}

std::vector<std::string> HlslSuiteDepartures::IdsOf(const std::string& file) const {
    std::vector<std::string> ids;
    for (const auto& [key, reason] : m_entries)
        if (key.file == file) ids.push_back(key.id);
    return ids;
}

void HlslSuiteDepartures::Set(const std::string& file, const std::string& id, std::string reason) {
    m_entries[MakeKey(file, id)] = std::move(reason);
}

void HlslSuiteDepartures::Clear(const std::string& file) {
    for (auto it = m_entries.begin(); it != m_entries.end();)
        it = it->first.file == file ? m_entries.erase(it) : std::next(it);
}

} // namespace hlslsuite
