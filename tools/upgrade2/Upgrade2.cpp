// Upgrade2: replaces the installed program with a release the manager has
// already checked (signature, sums, safe names) and unpacked. Qt-free so it
// runs while no Qt library of the program folder may be in use, and builds
// for Windows as it does here.
//
//   Upgrade2 <unpacked release>     stage: copy the release into
//                                   <install>/.bw-upgrade/new, start the
//                                   apply step detached, exit 0 (the manager
//                                   waits for this and then quits)
//   Upgrade2 --apply <install>      wait for the manager to end, swap the files
//                                   in by rename (the old ones kept aside),
//                                   start the new program and wait for its
//                                   confirmation; roll back without one
//   Upgrade2 --recover <install>    undo an apply step that was killed half-way
//
// <install> is the folder this program sits in (stage) or is named (apply,
// recover). The staging folder is inside it, so every move is a rename on one
// file system. Its journal records each file moved, so a rollback knows what
// to undo even after a kill. Exit codes: 0 done, 2 usage or unreadable
// release, 3 install folder not writable, 4 staging failed, 5 the manager did
// not end, 6 the swap failed and was rolled back, 7 the new program did not
// confirm and was rolled back, 10 (recover) files were restored.
#include "platform/Process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr const char* kExeSuffix = ".exe";
#else
constexpr const char* kExeSuffix = "";
#endif
constexpr const char* kStageFolder = ".bw-upgrade";
constexpr int kManagerEndMs = 60 * 1000;
constexpr int kDefaultConfirmMs = 60 * 1000;

enum Exit {
    Done = 0,
    Usage = 2,
    NotWritable = 3,
    StageFailed = 4,
    ManagerStillRuns = 5,
    SwapFailed = 6,
    NotConfirmed = 7,
    Restored = 10,
};

struct Entry {
    std::string path; // relative, '/' between parts
    bool executable = false;
};

int envMs(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0 || value > 24L * 3600 * 1000)
        return fallback;
    return int(value);
}

long currentPid()
{
#ifdef _WIN32
    return long(GetCurrentProcessId());
#else
    return long(getpid());
#endif
}

bool processAlive(long pid)
{
    if (pid <= 0)
        return false;
#ifdef _WIN32
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(pid));
    if (!process)
        return false;
    const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return alive;
#else
    if (::kill(pid_t(pid), 0) != 0 && errno != EPERM)
        return false;
    // A killed process whose parent does not reap it stays a zombie.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (stat && std::getline(stat, line)) {
        const std::size_t close = line.rfind(')');
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z')
            return false;
    }
    return true;
#endif
}

void endProcess(long pid)
{
    if (pid <= 0)
        return;
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(pid));
    if (process) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
#else
    ::kill(pid_t(pid), SIGKILL);
#endif
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class Upgrade {
public:
    explicit Upgrade(fs::path install)
        : m_install(std::move(install))
        , m_stage(m_install / kStageFolder)
    {
    }

    int stage(const fs::path& release);
    int apply(long waitPid);
    int recover();

private:
    fs::path journalPath() const { return m_stage / "journal"; }
    void log(const std::string& text) const;
    bool readManifest(const fs::path& file, std::vector<Entry>& entries) const;
    void journal(const std::string& line) const;
    std::vector<std::string> journalLines() const;
    bool rollback();
    bool swap(const std::vector<Entry>& entries);
    fs::path program() const { return m_install / (std::string("Brindlewick") + kExeSuffix); }

    fs::path m_install;
    fs::path m_stage;
};

void Upgrade::log(const std::string& text) const
{
    std::cerr << "Upgrade2: " << text << std::endl;
    std::error_code ignored;
    fs::create_directories(m_stage, ignored);
    std::ofstream out(m_stage / "upgrade.log", std::ios::app);
    if (out)
        out << text << '\n';
}

bool Upgrade::readManifest(const fs::path& file, std::vector<Entry>& entries) const
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line) || line != "Brindlewick release 1")
        return false;
    while (std::getline(in, line)) {
        if (line.rfind("file ", 0) != 0)
            continue;
        std::istringstream fields(line.substr(5));
        std::string sum;
        std::string size;
        std::string mode;
        fields >> sum >> size >> mode;
        const std::size_t pathStart = 5 + sum.size() + 1 + size.size() + 1 + mode.size() + 1;
        if (pathStart >= line.size())
            return false;
        Entry entry;
        entry.path = line.substr(pathStart);
        entry.executable = mode == "x";
        // The manager checked the names; refuse anything that climbs out anyway.
        const fs::path relative(entry.path);
        if (relative.is_absolute() || entry.path.find("..") != std::string::npos
            || entry.path.find(':') != std::string::npos || entry.path.rfind(kStageFolder, 0) == 0)
            return false;
        entries.push_back(entry);
    }
    return !entries.empty();
}

void Upgrade::journal(const std::string& line) const
{
    std::ofstream out(journalPath(), std::ios::app);
    out << line << '\n';
    out.flush();
}

std::vector<std::string> Upgrade::journalLines() const
{
    std::vector<std::string> lines;
    std::ifstream in(journalPath());
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

int Upgrade::stage(const fs::path& release)
{
    std::error_code error;
    // An earlier apply that was killed is undone first.
    if (fs::exists(journalPath(), error))
        recover();

    // Every file is renamed inside the program folder, so it must be writable itself.
    const fs::path probe = m_install / ".bw-upgrade-probe";
    {
        std::ofstream out(probe);
        if (out)
            fs::create_directories(m_stage, error);
        if (!out || !(out << "probe") || error) {
            out.close();
            fs::remove(probe, error);
            std::cerr << "Upgrade2: the program folder " << m_install.string()
                      << " cannot be written; run the update as a user who may change it." << std::endl;
            return NotWritable;
        }
    }
    fs::remove(probe, error);

    std::vector<Entry> entries;
    if (!readManifest(release / "manifest.txt", entries)) {
        log("no readable manifest in " + release.string());
        return Usage;
    }
    fs::remove_all(m_stage / "new", error);
    fs::remove_all(m_stage / "old", error);
    fs::remove(journalPath(), error);
    for (const Entry& entry : entries) {
        const fs::path from = release / entry.path;
        const fs::path to = m_stage / "new" / entry.path;
        fs::create_directories(to.parent_path(), error);
        if (error || !fs::copy_file(from, to, fs::copy_options::overwrite_existing, error) || error) {
            log("cannot stage " + entry.path + ": " + error.message());
            fs::remove_all(m_stage / "new", error);
            return StageFailed;
        }
        // Zip archives do not keep the executable bit.
        if (entry.executable)
            fs::permissions(to,
                fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read
                    | fs::perms::others_exec,
                error);
    }
    fs::copy_file(release / "manifest.txt", m_stage / "manifest.txt", fs::copy_options::overwrite_existing, error);
    // The apply step runs from a copy outside the files it replaces.
    const fs::path runner = m_stage / (std::string("Upgrade2-run") + kExeSuffix);
    fs::copy_file(platform::modulePath(), runner, fs::copy_options::overwrite_existing, error);
    if (error) {
        log("cannot copy the upgrader: " + error.message());
        return StageFailed;
    }
    fs::permissions(runner, fs::perms::owner_all, fs::perm_options::add, error);
    journal("staged");

    std::vector<std::string> args = {"--apply", m_install.string()};
    if (const char* waitPid = std::getenv("BRINDLEWICK_UPGRADE_WAIT_PID"))
        args.insert(args.end(), {"--wait-pid", waitPid});
    if (platform::startDetached(runner.string(), args, m_install.string()) == 0) {
        log("cannot start the apply step");
        fs::remove_all(m_stage / "new", error);
        fs::remove(journalPath(), error);
        return StageFailed;
    }
    return Done;
}

bool Upgrade::swap(const std::vector<Entry>& entries)
{
    const int stepDelayMs = envMs("BRINDLEWICK_UPGRADE2_STEP_DELAY_MS", 0); // interruption tests
    std::error_code error;
    for (const Entry& entry : entries) {
        const fs::path target = m_install / entry.path;
        const fs::path old = m_stage / "old" / entry.path;
        const fs::path fresh = m_stage / "new" / entry.path;
        fs::create_directories(old.parent_path(), error);
        fs::create_directories(target.parent_path(), error);
        if (fs::exists(fs::symlink_status(target, error))) {
            journal("old " + entry.path);
            fs::rename(target, old, error);
            if (error) {
                log("cannot move aside " + entry.path + ": " + error.message());
                return false;
            }
        }
        journal("new " + entry.path);
        fs::rename(fresh, target, error);
        if (error) {
            log("cannot put in place " + entry.path + ": " + error.message());
            return false;
        }
        if (stepDelayMs > 0)
            sleepMs(stepDelayMs);
    }
    journal("swapped");
    return true;
}

bool Upgrade::rollback()
{
    std::vector<std::string> lines = journalLines();
    bool complete = true;
    std::error_code error;
    // Undo in reverse: a placed new file goes, then the old one comes back.
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const std::string& line = *it;
        if (line.rfind("new ", 0) == 0) {
            const std::string path = line.substr(4);
            const fs::path target = m_install / path;
            if (fs::exists(m_stage / "new" / path, error))
                continue; // never moved
            fs::remove(target, error);
        } else if (line.rfind("old ", 0) == 0) {
            const std::string path = line.substr(4);
            const fs::path old = m_stage / "old" / path;
            if (!fs::exists(fs::symlink_status(old, error)))
                continue; // never moved aside
            fs::rename(old, m_install / path, error);
            if (error) {
                log("cannot restore " + path + ": " + error.message());
                complete = false;
            }
        }
    }
    if (complete) {
        fs::remove_all(m_stage / "new", error);
        fs::remove_all(m_stage / "old", error);
        fs::remove(journalPath(), error);
    }
    return complete;
}

int Upgrade::apply(long waitPid)
{
    std::vector<Entry> entries;
    if (!readManifest(m_stage / "manifest.txt", entries)) {
        log("no staged release in " + m_stage.string());
        return Usage;
    }
    // Recorded first, so a program started meanwhile leaves this step alone.
    journal("apply " + std::to_string(currentPid()));
    // The manager's files are in use until it has ended.
    for (int waited = 0; processAlive(waitPid); waited += 100) {
        if (waited >= kManagerEndMs) {
            log("the manager did not end; the update was not applied");
            std::error_code error;
            fs::remove_all(m_stage / "new", error);
            fs::remove(journalPath(), error);
            return ManagerStillRuns;
        }
        sleepMs(100);
    }

    if (!swap(entries)) {
        rollback();
        platform::startDetached(program().string(), {}, m_install.string());
        return SwapFailed;
    }

    // The new program confirms by writing this file once its window is up.
    const fs::path marker = m_stage / "confirmed";
    std::error_code error;
    fs::remove(marker, error);
#ifdef _WIN32
    SetEnvironmentVariableA("BRINDLEWICK_UPDATE_CONFIRM", marker.string().c_str());
#else
    ::setenv("BRINDLEWICK_UPDATE_CONFIRM", marker.string().c_str(), 1);
#endif
    const long started = platform::startDetached(program().string(), {}, m_install.string());
    const int confirmMs = envMs("BRINDLEWICK_UPGRADE2_CONFIRM_MS", kDefaultConfirmMs);
    bool confirmed = false;
    for (int waited = 0; started != 0 && waited < confirmMs; waited += 50) {
        if (fs::exists(marker, error)) {
            confirmed = true;
            break;
        }
        if (!processAlive(started))
            break;
        sleepMs(50);
    }
#ifdef _WIN32
    SetEnvironmentVariableA("BRINDLEWICK_UPDATE_CONFIRM", nullptr);
#else
    ::unsetenv("BRINDLEWICK_UPDATE_CONFIRM");
#endif
    if (!confirmed) {
        log("the new program did not confirm its start; going back to the old one");
        endProcess(started);
        rollback();
        platform::startDetached(program().string(), {}, m_install.string());
        return NotConfirmed;
    }
    journal("confirmed");
    // The marker holds the new program's version and process id.
    std::string version;
    std::string pid;
    {
        std::ifstream in(marker);
        std::getline(in, version);
        std::getline(in, pid);
    }
    fs::remove_all(m_stage / "old", error);
    fs::remove_all(m_stage / "new", error);
    fs::remove(journalPath(), error);
    fs::remove(marker, error);
    log("updated to " + version + ", running as " + pid);
    return Done;
}

int Upgrade::recover()
{
    std::error_code error;
    const std::vector<std::string> lines = journalLines();
    if (lines.empty())
        return Done;
    for (const std::string& line : lines)
        if (line.rfind("apply ", 0) == 0 && std::atol(line.c_str() + 6) != currentPid()
            && processAlive(std::atol(line.c_str() + 6)))
            return Done; // an apply step is still at work
    bool moved = false;
    for (const std::string& line : lines)
        moved = moved || line.rfind("old ", 0) == 0 || line.rfind("new ", 0) == 0;
    if (!rollback())
        return SwapFailed;
    log("an interrupted update was rolled back");
    return moved ? Restored : Done;
}

void usage()
{
    std::cerr << "usage: Upgrade2 <unpacked release folder>\n"
                 "       Upgrade2 --apply <install folder> [--wait-pid PID]\n"
                 "       Upgrade2 --recover <install folder>\n";
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 1 && args[0].rfind("--", 0) != 0) {
            fs::path release(args[0]);
            if (!fs::is_directory(release)) {
                std::cerr << "Upgrade2: no release folder " << args[0] << std::endl;
                return Usage;
            }
            return Upgrade(fs::path(platform::modulePath()).parent_path()).stage(release);
        }
        if ((args.size() == 2 || args.size() == 4) && args[0] == "--apply") {
            long waitPid = 0;
            if (args.size() == 4 && args[2] == "--wait-pid")
                waitPid = std::atol(args[3].c_str());
            return Upgrade(fs::path(args[1])).apply(waitPid);
        }
        if (args.size() == 2 && args[0] == "--recover")
            return Upgrade(fs::path(args[1])).recover();
    } catch (const std::exception& error) {
        std::cerr << "Upgrade2: " << error.what() << std::endl;
        return StageFailed;
    }
    usage();
    return Usage;
}
