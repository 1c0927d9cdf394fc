// The file-backed registry store. Layout below the root directory:
//   <root>/HKEY_LOCAL_MACHINE/SOFTWARE/Kestrix/DrivceApp/.values
// One folder per key (names compared without regard to ASCII case, created
// with the case first used), one ".values" file per key holding its values.
// Folder names escape '%', '/', control bytes and a leading '.' as %XX, so no
// key folder can be mistaken for the values file or for "." and "..".
// The 32-bit view of HKLM\SOFTWARE\X is HKLM\SOFTWARE\WOW6432Node\X.
//
// ".values" format (binary-safe, every length in decimal bytes):
//   "BWREG 1\n", then per value: <type> ' ' <name length> ' ' <data length> '\n'
//   <name bytes> <data bytes> '\n'
// type 's' = string (REG_SZ), 'd' = 32-bit number as decimal text (REG_DWORD).
// Writers lock the key folder (flock) and replace the file by rename.
#include "platform/Registry.h"

#include "../common/Detail.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {
namespace {

constexpr const char* kValuesFile = ".values";
constexpr const char* kHeader = "BWREG 1\n";

std::mutex g_configMutex;
std::string g_rootOverride;
RegistryView g_defaultView = RegistryView::Force64;

struct Value {
    char type = 's';
    std::string name;
    std::string data;
};

struct ValueFile {
    std::vector<Value> values;
    bool corrupt = false;
};

std::string escapeComponent(const std::string& name)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '%' || c == '/' || c < 0x20 || c == 0x7f || (i == 0 && c == '.')) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xf];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::vector<std::string> splitKey(const std::string& key)
{
    std::vector<std::string> parts;
    std::string current;
    for (char c : key) {
        if (c == '\\') {
            if (!current.empty())
                parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

RegistryView effectiveView(RegistryView view)
{
    if (view != RegistryView::Default)
        return view;
    std::lock_guard<std::mutex> lock(g_configMutex);
    return g_defaultView;
}

// The key's components on disk, with the hive first and the WOW6432Node
// redirection applied.
std::vector<std::string> keyComponents(RegistryHive hive, const std::string& key, RegistryView view)
{
    std::vector<std::string> parts = splitKey(key);
    if (hive == RegistryHive::LocalMachine && effectiveView(view) == RegistryView::Force32 && !parts.empty()
        && detail::equalsIgnoreCase(parts[0], "SOFTWARE")
        && !(parts.size() > 1 && detail::equalsIgnoreCase(parts[1], "WOW6432Node")))
        parts.insert(parts.begin() + 1, "WOW6432Node");
    parts.insert(parts.begin(), hive == RegistryHive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER");
    return parts;
}

// The folder entry of `dir` whose name equals `escaped` without regard to case.
std::string findEntry(const std::string& dir, const std::string& escaped)
{
    struct stat st { };
    if (::stat((dir + "/" + escaped).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return escaped;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return {};
    std::string found;
    while (const dirent* e = ::readdir(d)) {
        if (detail::equalsIgnoreCase(e->d_name, escaped) && ::stat((dir + "/" + e->d_name).c_str(), &st) == 0
            && S_ISDIR(st.st_mode)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

// The key's folder, or empty when it does not exist (and cannot be created).
std::string keyFolder(RegistryHive hive, const std::string& key, RegistryView view, bool create)
{
    std::string path = Registry::rootDirectory();
    if (path.empty())
        return {};
    if (create) {
        std::error_code ec;
        fs::create_directories(path, ec);
    }
    for (const std::string& part : keyComponents(hive, key, view)) {
        const std::string escaped = escapeComponent(part);
        std::string entry = findEntry(path, escaped);
        if (entry.empty()) {
            if (!create)
                return {};
            if (::mkdir((path + "/" + escaped).c_str(), 0777) != 0 && errno != EEXIST)
                return {};
            entry = findEntry(path, escaped);
            if (entry.empty())
                return {};
        }
        path += "/" + entry;
    }
    return path;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The key name a folder stands for; empty for entries that are no key (the
// values file and its siblings start with '.', which a key folder never does).
std::string unescapeComponent(const std::string& folder)
{
    if (folder.empty() || folder[0] == '.')
        return {};
    std::string out;
    for (std::size_t i = 0; i < folder.size(); ++i) {
        if (folder[i] == '%' && i + 2 < folder.size() && hexDigit(folder[i + 1]) >= 0 && hexDigit(folder[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(folder[i + 1]) * 16 + hexDigit(folder[i + 2]));
            i += 2;
        } else {
            out += folder[i];
        }
    }
    return out;
}

bool parseSize(const std::string& text, std::size_t& pos, char stop, std::size_t& out)
{
    const std::size_t start = pos;
    out = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (out > (std::size_t(1) << 40))
            return false;
        out = out * 10 + static_cast<std::size_t>(text[pos] - '0');
        ++pos;
    }
    if (pos == start || pos >= text.size() || text[pos] != stop)
        return false;
    ++pos;
    return true;
}

ValueFile parseValues(const std::string& text)
{
    ValueFile file;
    if (text.empty())
        return file;
    const std::string header = kHeader;
    if (text.compare(0, header.size(), header) != 0) {
        file.corrupt = true;
        return file;
    }
    std::size_t pos = header.size();
    while (pos < text.size()) {
        Value v;
        v.type = text[pos];
        std::size_t nameLength = 0, dataLength = 0;
        ++pos;
        if (pos >= text.size() || text[pos] != ' ') {
            file.corrupt = true;
            break;
        }
        ++pos;
        if (!parseSize(text, pos, ' ', nameLength) || !parseSize(text, pos, '\n', dataLength)
            || text.size() - pos < nameLength + dataLength + 1 || text[pos + nameLength + dataLength] != '\n') {
            file.corrupt = true;
            break;
        }
        v.name = text.substr(pos, nameLength);
        v.data = text.substr(pos + nameLength, dataLength);
        pos += nameLength + dataLength + 1;
        file.values.push_back(std::move(v));
    }
    return file;
}

std::string serialize(const std::vector<Value>& values)
{
    std::string out = kHeader;
    for (const Value& v : values) {
        out += v.type;
        out += ' ' + std::to_string(v.name.size()) + ' ' + std::to_string(v.data.size()) + '\n';
        out += v.name;
        out += v.data;
        out += '\n';
    }
    return out;
}

ValueFile readValues(const std::string& folder)
{
    std::ifstream in(folder + "/" + kValuesFile, std::ios::binary);
    if (!in)
        return {};
    return parseValues(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

bool writeFileAtomically(const std::string& path, const std::string& content)
{
    static std::atomic<unsigned> counter{0};
    const std::string temp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const char* p = content.data();
    std::size_t left = content.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

// Holds the key folder's lock for one read-modify-write of its values.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder)
        : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) { }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool locked() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Applies `change` to the key's values under the folder lock. A damaged values
// file is kept beside the new one as ".values.bad" so nothing is lost.
template <typename Change>
bool modifyValues(const std::string& folder, Change change)
{
    FolderLock lock(folder);
    if (!lock.locked())
        return false;
    ValueFile file = readValues(folder);
    if (!change(file.values))
        return false;
    const std::string path = folder + "/" + kValuesFile;
    if (file.corrupt) {
        const std::string backup = path + ".bad";
        if (::rename(path.c_str(), backup.c_str()) != 0)
            return false;
    }
    return writeFileAtomically(path, serialize(file.values));
}

std::vector<Value>::iterator findValue(std::vector<Value>& values, const std::string& name)
{
    for (auto it = values.begin(); it != values.end(); ++it)
        if (detail::equalsIgnoreCase(it->name, name))
            return it;
    return values.end();
}

std::optional<Value> lookup(RegistryHive hive, const std::string& key, const std::string& name, RegistryView view)
{
    const std::string folder = keyFolder(hive, key, view, false);
    if (folder.empty())
        return std::nullopt;
    ValueFile file = readValues(folder);
    auto it = findValue(file.values, name);
    if (it == file.values.end())
        return std::nullopt;
    return *it;
}

bool store(RegistryHive hive, const std::string& key, const std::string& name, char type, const std::string& data,
    RegistryView view)
{
    if (name.find('\0') != std::string::npos)
        return false;
    const std::string folder = keyFolder(hive, key, view, true);
    if (folder.empty())
        return false;
    return modifyValues(folder, [&](std::vector<Value>& values) {
        auto it = findValue(values, name);
        if (it == values.end())
            values.push_back(Value{type, name, data});
        else {
            it->type = type;
            it->data = data; // the name keeps the case it was created with
        }
        return true;
    });
}

} // namespace

std::optional<std::string> Registry::readString(
    RegistryHive hive, const std::string& key, const std::string& name, RegistryView view)
{
    const std::optional<Value> v = lookup(hive, key, name, view);
    if (!v || v->type != 's')
        return std::nullopt;
    return v->data;
}

bool Registry::writeString(
    RegistryHive hive, const std::string& key, const std::string& name, const std::string& value, RegistryView view)
{
    // A REG_SZ ends at its first NUL.
    return store(hive, key, name, 's', value.substr(0, value.find('\0')), view);
}

std::optional<unsigned long> Registry::readDword(
    RegistryHive hive, const std::string& key, const std::string& name, RegistryView view)
{
    const std::optional<Value> v = lookup(hive, key, name, view);
    if (!v || v->type != 'd' || v->data.empty() || v->data.size() > 10
        || v->data.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long long number = std::strtoull(v->data.c_str(), nullptr, 10);
    if (number > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<unsigned long>(number);
}

bool Registry::writeDword(
    RegistryHive hive, const std::string& key, const std::string& name, unsigned long value, RegistryView view)
{
    return store(hive, key, name, 'd', std::to_string(value & 0xFFFFFFFFul), view);
}

bool Registry::deleteValue(RegistryHive hive, const std::string& key, const std::string& name, RegistryView view)
{
    const std::string folder = keyFolder(hive, key, view, false);
    if (folder.empty())
        return false;
    return modifyValues(folder, [&](std::vector<Value>& values) {
        auto it = findValue(values, name);
        if (it == values.end())
            return false;
        values.erase(it);
        return true;
    });
}

bool Registry::keyExists(RegistryHive hive, const std::string& key, RegistryView view)
{
    return !keyFolder(hive, key, view, false).empty();
}

bool Registry::deleteKey(RegistryHive hive, const std::string& key, RegistryView view)
{
    if (splitKey(key).empty())
        return false; // never a whole hive
    const std::string folder = keyFolder(hive, key, view, false);
    if (folder.empty())
        return false;
    // Renamed away first so that readers see the key vanish at once.
    static std::atomic<unsigned> counter{0};
    const std::string parent = folder.substr(0, folder.rfind('/'));
    const std::string doomed = parent + "/.deleting." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    if (::rename(folder.c_str(), doomed.c_str()) != 0)
        return false;
    std::error_code ec;
    fs::remove_all(doomed, ec);
    return true;
}

std::vector<std::string> Registry::valueNames(RegistryHive hive, const std::string& key, RegistryView view)
{
    std::vector<std::string> names;
    const std::string folder = keyFolder(hive, key, view, false);
    if (folder.empty())
        return names;
    for (const Value& v : readValues(folder).values)
        names.push_back(v.name);
    return names;
}

std::vector<std::string> Registry::subKeyNames(RegistryHive hive, const std::string& key, RegistryView view)
{
    std::vector<std::string> names;
    const std::string folder = keyFolder(hive, key, view, false);
    if (folder.empty())
        return names;
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return names;
    while (const dirent* e = ::readdir(d)) {
        struct stat st { };
        const std::string name = unescapeComponent(e->d_name);
        if (!name.empty() && ::lstat((folder + "/" + e->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end(),
        [](const std::string& a, const std::string& b) { return detail::toLowerAscii(a) < detail::toLowerAscii(b); });
    return names;
}

void Registry::setRootDirectory(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(g_configMutex);
    g_rootOverride = dir;
}

std::string Registry::rootDirectory()
{
    {
        std::lock_guard<std::mutex> lock(g_configMutex);
        if (!g_rootOverride.empty())
            return g_rootOverride;
    }
    if (const char* env = std::getenv("BRINDLEWICK_REGISTRY_ROOT"); env && *env)
        return env;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/brindlewick/registry";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/brindlewick/registry";
    return {};
}

void Registry::setDefaultView(RegistryView view)
{
    std::lock_guard<std::mutex> lock(g_configMutex);
    g_defaultView = view == RegistryView::Default ? RegistryView::Force64 : view;
}

} // namespace platform
