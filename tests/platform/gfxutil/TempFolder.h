#pragma once

// A folder of its own under /tmp for the files one test writes, removed with
// everything in it when the test ends.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace gfx::test {

class TempFolder {
public:
    // `prefix` names the folder after the suite that left it, should removal fail.
    explicit TempFolder(const std::string& prefix) {
        std::string name = "/tmp/" + prefix + "-XXXXXX";
        if (::mkdtemp(name.data())) m_path = name;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when the folder could not be made.
    [[nodiscard]] const std::string& Path() const { return m_path; }
    [[nodiscard]] std::string At(const std::string& name) const { return m_path + "/" + name; }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(At(name), std::ios::binary) << text;
        return At(name);
    }
    std::string Fifo(const std::string& name) const {
        EXPECT_EQ(::mkfifo(At(name).c_str(), 0600), 0);
        return At(name);
    }
    [[nodiscard]] std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_path))
            names.push_back(entry.path().filename().string());
        return names;
    }

private:
    std::string m_path;
};

// The process's working folder moved to `to` while it lives, and put back
// when it ends, whatever the test asserted in between.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& to) {
        std::error_code error;
        m_before = std::filesystem::current_path(error);
        m_moved = !error && ::chdir(to.c_str()) == 0;
    }
    ~WorkingFolder() {
        if (m_moved) {
            EXPECT_EQ(::chdir(m_before.c_str()), 0);
        }
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    [[nodiscard]] bool Moved() const { return m_moved; }

private:
    std::filesystem::path m_before;
    bool m_moved = false;
};

} // namespace gfx::test
