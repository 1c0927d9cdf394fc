// A small assertion harness for the Qt-free platform tests, usable with both
// the native and the mingw tool chains. Each TEST_CASE runs in order; a failed
// CHECK is reported with its place and the run continues. The program prints
// "N passed, N failed" and exits non-zero when anything failed.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace th {

struct State {
    std::vector<std::pair<std::string, std::function<void()>>> cases;
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    std::string current;
};

inline State& state()
{
    static State s;
    return s;
}

struct Registrar {
    Registrar(const char* name, std::function<void()> fn) { state().cases.emplace_back(name, std::move(fn)); }
};

inline void record(bool ok, const std::string& what, const char* file, int line)
{
    if (ok) {
        ++state().passed;
        return;
    }
    ++state().failed;
    std::cout << "FAIL " << state().current << " (" << file << ":" << line << "): " << what << std::endl;
}

template <typename T>
std::string show(const T& value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}
inline std::string show(const std::string& value)
{
    return "\"" + value + "\"";
}
inline std::string show(const char* value)
{
    return value ? show(std::string(value)) : "(null)";
}
inline std::string show(bool value)
{
    return value ? "true" : "false";
}

template <typename A, typename B>
void checkEqual(const A& actual, const B& expected, const char* actualText, const char* file, int line)
{
    const bool ok = actual == expected;
    record(ok, ok ? std::string() : std::string(actualText) + " is " + show(actual) + ", expected " + show(expected),
        file, line);
}

// Ends the current case with a printed reason; what it covers is not run here.
struct Skip {
    std::string reason;
};

inline int runAll()
{
    for (auto& [name, fn] : state().cases) {
        state().current = name;
        try {
            fn();
        } catch (const Skip& skip) {
            ++state().skipped;
            std::cout << "SKIP " << name << ": " << skip.reason << std::endl;
        } catch (const std::exception& e) {
            record(false, std::string("exception: ") + e.what(), __FILE__, __LINE__);
        }
    }
    std::cout << state().passed << " passed, " << state().failed << " failed";
    if (state().skipped)
        std::cout << ", " << state().skipped << " skipped";
    std::cout << std::endl;
    return state().failed == 0 ? 0 : 1;
}

// Polls `done` every 20 ms for at most `timeoutMs`: for effects of other processes.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

inline std::string uniqueSuffix()
{
    std::random_device device;
    std::mt19937_64 generator(
        device() ^ static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return std::to_string(generator() % 1000000000ull);
}

// A fresh folder below the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir()
    {
        m_path = (std::filesystem::temp_directory_path() / ("bwplatform-" + uniqueSuffix())).string();
        std::filesystem::create_directories(m_path);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace th

#define TH_CAT2(a, b) a##b
#define TH_CAT(a, b) TH_CAT2(a, b)
#define TEST_CASE(name)                                                                                                \
    static void TH_CAT(test_, name)();                                                                                 \
    static th::Registrar TH_CAT(registrar_, name)(#name, TH_CAT(test_, name));                                         \
    static void TH_CAT(test_, name)()
#define CHECK(cond) th::record(static_cast<bool>(cond), #cond, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected) th::checkEqual((actual), (expected), #actual, __FILE__, __LINE__)
#define SKIP(reason)                                                                                                   \
    throw th::Skip                                                                                                     \
    {                                                                                                                  \
        reason                                                                                                         \
    }
