// The published HLSL conformance suite, one test per file, through the
// project's compiler and the gl device (HlslSuiteRunner). A check fails the
// test when it fails and is not in HlslSuiteDepartures.txt, or when it is
// listed there and no longer fails.
//
// Environment:
//   ORVANE_HLSL_SUITE_REPORT=<path>  every failing check with its cause and
//                                    the compiler's or probe's message, and
//                                    every check not run with the reason
//   ORVANE_HLSL_SUITE_REWRITE=1      rewrites the departures file from this
//                                    run's failures (reasons of entries still
//                                    failing kept; files not run keep theirs)
//   ORVANE_HLSL_SUITE_SM3=1          a second pass of every file at 3.0,
//                                    printed and reported, not counted

#include "tests/platform/gfx/GfxTestUtil.h"
#include "tests/platform/gfxutil/HlslSuiteDepartures.h"
#include "tests/platform/gfxutil/HlslSuiteFile.h"
#include "tests/platform/gfxutil/HlslSuiteRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace hlslsuite;

namespace {

namespace fs = std::filesystem;

const char* Env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

bool SuitePresent() { return fs::is_directory(HLSL_SUITE_DIR "/tests/hlsl"); }

// The files with a program Direct3D 9 can run: the suite holds files for
// later models only too. A file that cannot be read is kept, so its test
// says so.
std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(HLSL_SUITE_DIR "/tests/hlsl", ec)) {
        if (e.path().extension() != ".shader_test") continue;
        HlslSuiteFile file;
        if (file.Read(e.path().string()) && !file.HasProgramAt(20) && !file.HasProgramAt(30)) continue;
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

const char* OutcomeName(Outcome o) {
    switch (o) {
    case Outcome::Passed: return "passed";
    case Outcome::Failed: return "failed";
    case Outcome::TodoFailed: return "todo-failed";
    case Outcome::NotRun: return "not run";
    }
    return "?";
}

// The device, runner and record every file's test shares, and the totals.
class SuiteEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        gfxtest::UseDriverFor(gfx::BackendKind::Gl);
        m_d3d = gfx::Direct3DCreate9(gfx::D3D_SDK_VERSION, gfx::BackendKind::Gl);
        if (!m_d3d) return;
        gfx::D3DPRESENT_PARAMETERS p = gfxtest::Windowed(64, 64, gfx::D3DFMT_X8R8G8B8, true, false);
        if (gfx::FAILED(m_d3d->CreateDevice(0, gfx::D3DDEVTYPE_HAL, nullptr, gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING, &p,
                                       &m_device)))
            return;
        m_runner = HlslSuiteRunner::Create(m_device);
        m_departuresRead = m_departures.Read(HLSL_SUITE_DEPARTURES);
    }

    void TearDown() override {
        if (!m_files.empty()) {
            std::printf("hlsl suite: %zu files: %d passed, %d failed, %d todo-failed, %d not run\n", m_files.size(),
                        m_total.passed, m_total.failed, m_total.todoFailed, m_total.notRun);
            if (m_second.passed + m_second.failed + m_second.todoFailed + m_second.notRun > 0)
                std::printf("hlsl suite, every file at 3.0 (not counted): %d passed, %d failed, %d todo-failed, "
                            "%d not run\n",
                            m_second.passed, m_second.failed, m_second.todoFailed, m_second.notRun);
        }
        if (const char* path = Env("ORVANE_HLSL_SUITE_REPORT")) {
            std::ofstream out(path, std::ios::trunc);
            out << m_report;
        }
        if (Env("ORVANE_HLSL_SUITE_REWRITE")) Rewrite();
        m_runner.reset();
        if (m_device) m_device->Release();
        if (m_d3d) m_d3d->Release();
        m_device = nullptr;
        m_d3d = nullptr;
    }

    HlslSuiteRunner* Runner() { return m_runner.get(); }
    const HlslSuiteDepartures& Departures() const { return m_departures; }
    bool DeparturesRead() const { return m_departuresRead; }

    void Record(const std::string& file, const std::vector<Check>& checks, const Counts& counts) {
        m_files.insert(file);
        m_total.Add(counts);
        m_failures[file].clear();
        for (const Check& c : checks) {
            if (c.outcome == Outcome::Failed) m_failures[file].push_back(c);
            if (c.outcome != Outcome::Passed)
                m_report += file + " " + c.id + " [" + OutcomeName(c.outcome) + "] " + c.cause + ": " + c.message + "\n";
        }
    }

    void RecordSecondPass(const std::string& file, const std::vector<Check>& checks, const Counts& counts) {
        m_second.Add(counts);
        for (const Check& c : checks)
            if (c.outcome == Outcome::Failed)
                m_report += file + " " + c.id + " [3.0 pass] " + c.cause + ": " + c.message + "\n";
    }

private:
    void Rewrite() {
        HlslSuiteDepartures next = m_departures;
        for (const auto& [file, failures] : m_failures) {
            next.Clear(file);
            for (const Check& c : failures) {
                const std::string* kept = m_departures.Find(file, c.id);
                // A later model's syntax is a departure by itself; anything else waits to be looked at.
                const bool later = c.cause.rfind("shader-model-4", 0) == 0;
                next.Set(file, c.id, kept && !kept->empty() ? *kept : later ? c.cause : "open: " + c.cause);
            }
        }
        std::ofstream out(HLSL_SUITE_DEPARTURES, std::ios::trunc);
        out << next.Write();
        std::printf("hlsl suite: %s rewritten, %zu entries\n", HLSL_SUITE_DEPARTURES, next.Size());
    }

    gfx::IDirect3D9* m_d3d = nullptr;
    gfx::IDirect3DDevice9* m_device = nullptr;
    std::unique_ptr<HlslSuiteRunner> m_runner;
    HlslSuiteDepartures m_departures;
    bool m_departuresRead = false;
    std::set<std::string> m_files;
    std::map<std::string, std::vector<Check>> m_failures;
    Counts m_total, m_second;
    std::string m_report;
};

// Owned by GoogleTest, which sets it up before the first test.
SuiteEnvironment* const g_suite =
    static_cast<SuiteEnvironment*>(::testing::AddGlobalTestEnvironment(new SuiteEnvironment));

class HlslSuite : public ::testing::TestWithParam<std::string> {};

TEST_P(HlslSuite, ChecksPassOrDepartAsRecorded) {
    if (!g_suite->Runner() && gfxtest::CallerDriver() == "dummy") GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    ASSERT_NE(g_suite->Runner(), nullptr) << "no gl device with a float target";
    ASSERT_TRUE(g_suite->DeparturesRead()) << HLSL_SUITE_DEPARTURES;
    const std::string name = GetParam();
    HlslSuiteFile file;
    ASSERT_TRUE(file.Read(std::string(HLSL_SUITE_DIR "/tests/hlsl/") + name));
    const std::vector<Check> checks = g_suite->Runner()->Run(file, false);
    Counts counts;
    for (const Check& c : checks) {
        counts.Add(c);
        const std::string* listed = g_suite->Departures().Find(name, c.id);
        if (c.outcome == Outcome::Failed && !listed)
            ADD_FAILURE() << name << " " << c.id << ": " << c.cause << ": " << c.message;
        else if (c.outcome != Outcome::Failed && listed)
            ADD_FAILURE() << name << " " << c.id << " is listed as a departure (" << *listed << ") but now "
                          << OutcomeName(c.outcome) << ": the departures file is stale";
    }
    // A listed check this run did not make at all: the record names a check that is not there.
    std::set<std::string> ids;
    for (const Check& c : checks) ids.insert(c.id);
    for (const std::string& id : g_suite->Departures().IdsOf(name))
        if (!ids.count(id)) ADD_FAILURE() << name << " " << id << " is listed as a departure but the file has no such check";
    std::printf("%s: %d passed, %d failed, %d todo-failed, %d not run\n", name.c_str(), counts.passed, counts.failed,
                counts.todoFailed, counts.notRun);
    g_suite->Record(name, checks, counts);
    if (Env("ORVANE_HLSL_SUITE_SM3")) {
        const std::vector<Check> second = g_suite->Runner()->Run(file, true);
        Counts c3;
        for (const Check& c : second) c3.Add(c);
        std::printf("%s at 3.0 (not counted): %d passed, %d failed, %d todo-failed, %d not run\n", name.c_str(),
                    c3.passed, c3.failed, c3.todoFailed, c3.notRun);
        g_suite->RecordSecondPass(name, second, c3);
    }
}

// The runner's verdicts on a small written file: each kind of check and
// each reason a check passes, fails, may fail or does not run.
TEST(HlslSuiteRunnerVerdicts, EachCheckKindGetsItsOutcome) {
    if (!g_suite->Runner() && gfxtest::CallerDriver() == "dummy") GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    ASSERT_NE(g_suite->Runner(), nullptr);
    HlslSuiteFile file;
    file.Parse("[pixel shader]\n"                                           // 1
               "uniform float4 u;\n"
               "float4 main() : sv_target { return u * 2; }\n"
               "[test]\n"
               "uniform 0 float4 -1.5 0.25 3 100\n"
               "draw quad\n"
               "probe (0, 0) rgba (-3, 0.5, 6, 200)\n"                     // 7: passes, beyond 0..1
               "probe (639, 479) rgba (-3, 0.5, 6, 201)\n"                 // 8: a wrong value
               "probe (639, 479) rgba (-3, 0.5, 6, 201) 2\n"               // 9: 201 is far more than 2 ulps off
               "todo probe (5, 5) rgba (0, 0, 0, 0)\n"                     // 10: may fail
               "probe (10, 10, 30, 20) rgb (-3, 0.5, 6)\n"                 // 11: not a form the suite writes
               "probe (10, 10, 30, 20) rgba (-3, 0.5, 6, 200)\n"           // 12: a rectangle
               "[pixel shader fail]\n"                                      // 13: compiles: a fault
               "float4 main() : sv_target { return 1; }\n"
               "[test]\n"
               "draw quad\n"
               "probe (0, 0) rgba (1, 1, 1, 1)\n"                          // 17: no check of this model
               "[pixel shader fail]\n"                                      // 18: refused as it must be
               "float4 main() : sv_target { return undeclared; }\n"
               "[pixel shader todo]\n"                                      // 20: refused, may be
               "float4 main() : sv_target { return undeclared; }\n"
               "[test]\n"
               "todo draw quad\n"
               "probe (0, 0) rgba (1, 1, 1, 1)\n"                          // 24: after a draw marked todo
               "draw quad\n"
               "probe (0, 0) rgba (1, 1, 1, 1)\n"                          // 26: no program to draw
               "[require]\n"
               "shader model >= 4.0\n"
               "[pixel shader]\n"                                           // no check at all
               "float4 main() : sv_target { return 1; }\n"
               "[require]\n"
               "shader model >= 3.0\n"
               "[pixel shader]\n"                                           // 33: ps_3_0 holds c100
               "float4 u : register(c100);\n"
               "float4 main() : sv_target { return u; }\n"
               "[test]\n"
               "uniform 400 float4 4 5 6 7\n"
               "draw quad\n"
               "probe (320, 240) rgba (4, 5, 6, 7)\n"                      // 39: from register 400 / 4
               "[require]\n"
               "float64\n"
               "[pixel shader]\n"                                           // 42: a need Direct3D 9 cannot meet
               "float4 main() : sv_target { return 1; }\n");
    const std::vector<Check> checks = g_suite->Runner()->Run(file, false);
    std::vector<std::pair<std::string, Outcome>> got;
    for (const Check& c : checks) got.emplace_back(c.id, c.outcome);
    const std::vector<std::pair<std::string, Outcome>> expected = {
        {"1:compile", Outcome::Passed},   {"7:probe", Outcome::Passed},       {"8:probe", Outcome::Failed},
        {"9:probe", Outcome::Failed},     {"10:probe", Outcome::TodoFailed},  {"11:probe", Outcome::NotRun},
        {"12:probe", Outcome::Passed},    {"13:compile", Outcome::Failed},    {"17:probe", Outcome::NotRun},
        {"18:compile", Outcome::Passed},  {"20:compile", Outcome::TodoFailed}, {"24:probe", Outcome::TodoFailed},
        {"26:probe", Outcome::Failed},    {"33:compile", Outcome::Passed},    {"39:probe", Outcome::Passed},
        {"42:compile", Outcome::NotRun}};
    EXPECT_EQ(got, expected);
    for (const Check& c : checks) {
        if (c.id == "8:probe") {
            EXPECT_EQ(c.cause, "wrong value");
        } else if (c.id == "13:compile") {
            EXPECT_EQ(c.cause, "fail section accepted");
        } else if (c.id == "42:compile") {
            EXPECT_EQ(c.message, "needs float64");
        }
    }
}

std::string FileTestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string n = info.param.substr(0, info.param.find('.'));
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(, HlslSuite, ::testing::ValuesIn(SuiteFiles()), FileTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(HlslSuite);

// Says why the suite's files did not run where its folder is absent.
TEST(HlslSuiteFolder, HoldsTheFilesForShaderModels2And3) {
    if (!SuitePresent())
        GTEST_SKIP() << "the conformance suite is not at " << HLSL_SUITE_DIR
                     << " (ORVANE_HLSL_SUITE_DIR names another folder)";
    EXPECT_GE(SuiteFiles().size(), 100u);
}

} // namespace

