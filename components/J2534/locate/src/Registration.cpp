#include "j2534/Registration.h"

#include <platform/Registry.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace j2534 {

namespace {

#ifdef _WIN32
const char* const kLibraryFile = "BrindlewickJ2534.dll";
#else
const char* const kLibraryFile = "BrindlewickJ2534.so";
#endif

} // namespace

std::string functionLibraryFrom(const std::string& json)
{
    const std::string key = "\"FunctionLibrary\"";
    std::size_t pos = json.find(key);
    if (pos == std::string::npos)
        return {};
    pos = json.find_first_not_of(" \t\r\n", pos + key.size());
    if (pos == std::string::npos || json[pos] != ':')
        return {};
    pos = json.find_first_not_of(" \t\r\n", pos + 1);
    if (pos == std::string::npos || json[pos] != '"')
        return {};
    std::string out;
    for (++pos; pos < json.size() && json[pos] != '"'; ++pos) {
        if (json[pos] != '\\') {
            out += json[pos];
            continue;
        }
        if (++pos >= json.size())
            return {};
        const char c = json[pos];
        if (c == 'u') {
            if (pos + 4 >= json.size())
                return {};
            const unsigned long cp = std::strtoul(json.substr(pos + 1, 4).c_str(), nullptr, 16);
            pos += 4;
            if (cp < 0x80) {
                out += static_cast<char>(cp);
            } else if (cp < 0x800) {
                out += static_cast<char>(0xC0 | (cp >> 6));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                out += static_cast<char>(0xE0 | (cp >> 12));
                out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (cp & 0x3F));
            }
        } else {
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 'b' ? '\b' : c == 'f' ? '\f' : c;
        }
    }
    return pos < json.size() ? out : std::string();
}

LocatedLibrary locateLibrary(const std::string& fallbackFolder)
{
    LocatedLibrary out;
#ifdef _WIN32
    if (auto v = platform::Registry::readString(platform::RegistryHive::LocalMachine,
            "SOFTWARE\\PassThruSupport.04.04\\Brindlewick J2534", "FunctionLibrary", platform::RegistryView::Force32);
        v && !v->empty()) {
        out.path = *v;
        out.how = "registered in HKLM\\SOFTWARE\\PassThruSupport.04.04\\Brindlewick J2534";
        out.registered = true;
        return out;
    }
#else
    std::vector<std::string> folders;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (config && config[0] == '/')
        folders.push_back(config);
    else if (home)
        folders.push_back(std::string(home) + "/.config");
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::stringstream list(dirs && *dirs ? dirs : "/etc/xdg");
    for (std::string d; std::getline(list, d, ':');)
        if (!d.empty() && d[0] == '/')
            folders.push_back(d);
    for (const std::string& f : folders) {
        const std::string file = f + "/j2534/04.04/brindlewick-j2534.json";
        std::ifstream in(file, std::ios::binary);
        if (!in)
            continue;
        std::string json;
        char chunk[4096];
        // A registration is a few hundred bytes; anything past 64 KiB is not one.
        while (json.size() <= 65536 && in.read(chunk, sizeof chunk).gcount() > 0)
            json.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (json.size() > 65536)
            continue;
        const std::string path = functionLibraryFrom(json);
        if (!path.empty()) {
            out.path = path;
            out.how = "registered in " + file;
            out.registered = true;
            return out;
        }
    }
#endif
    if (!fallbackFolder.empty()) {
        out.path = fallbackFolder + "/" + kLibraryFile;
        out.how = "beside the program (no registered library)";
    }
    return out;
}

} // namespace j2534
