// The log-on autostart entry as an XDG autostart file. The Exec line carries
// the value with the desktop-entry escapes (\\ \n \t \r \s and %%), so any
// text without NUL reads back unchanged.
#include "platform/Autostart.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kFileName = "Brindlewick.desktop";
constexpr std::size_t kMaxValue = 1024; // the read buffer of the Windows entry

std::mutex g_mutex;
std::string g_dirOverride;

std::string filePath()
{
    return autostartDirectory() + "/" + kFileName;
}

std::string escapeExec(const std::string& value)
{
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '%':
            out += "%%";
            break;
        default:
            out += c;
        }
    }
    // Leading blanks would be dropped by readers of the file.
    std::size_t lead = 0;
    while (lead < out.size() && out[lead] == ' ')
        ++lead;
    std::string escapedLead;
    for (std::size_t i = 0; i < lead; ++i)
        escapedLead += "\\s";
    return escapedLead + out.substr(lead);
}

std::string unescapeExec(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            const char n = text[++i];
            out += n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n == 's' ? ' ' : n;
        } else if (c == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string trimmed(const std::string& s)
{
    const std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

} // namespace

void setAutostartDirectory(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_dirOverride = dir;
}

std::string autostartDirectory()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_dirOverride.empty())
            return g_dirOverride;
    }
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/autostart";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.config/autostart";
}

std::string readAutostartEntry()
{
    std::ifstream in(filePath(), std::ios::binary);
    if (!in)
        return {};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bool inEntry = false;
    bool disabled = false;
    std::string exec;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const std::string t = trimmed(line);
        if (!t.empty() && t[0] == '[') {
            inEntry = t == "[Desktop Entry]";
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inEntry || eq == std::string::npos)
            continue;
        const std::string key = trimmed(line.substr(0, eq));
        std::string value = line.substr(eq + 1);
        while (!value.empty() && value[0] == ' ')
            value.erase(0, 1);
        if (!value.empty() && value.back() == '\r')
            value.pop_back();
        if (key == "Exec")
            exec = unescapeExec(value);
        else if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            disabled = true;
    }
    if (disabled)
        return {};
    exec = exec.substr(0, exec.find('\0'));
    if (exec.size() > kMaxValue)
        return {}; // larger than the entry may be
    return exec;
}

bool writeAutostartEntry(const std::string& value)
{
    const std::string v = value.substr(0, value.find('\0'));
    const std::string dir = autostartDirectory();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string content = "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=Brindlewick Manager\n"
                                "Exec="
        + escapeExec(v)
        + "\n"
          "X-GNOME-Autostart-enabled=true\n";
    static std::atomic<unsigned> counter{0};
    const std::string path = filePath();
    const std::string temp
        = dir + "/." + kFileName + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

void removeAutostartEntry()
{
    ::unlink(filePath().c_str());
}

} // namespace platform
