// User-space adapter records: one small "key=value" file per adapter in the
// per-user runtime folder, written atomically (temporary file + rename).
#include "platform/NetAdapters.h"
#include "platform/ScriptStart.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace platform {
namespace {

namespace fs = std::filesystem;

bool validId(const std::string& id)
{
    return !id.empty() && id.size() <= 64
        && std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '-'; });
}

bool validText(const std::string& text, std::size_t max)
{
    return text.size() <= max
        && std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= 0x20 && c != 0x7F; });
}

bool validIpv4(const std::string& text)
{
    int parts = 0;
    int value = -1;
    for (const char c : text + ".") {
        if (c >= '0' && c <= '9') {
            value = (value < 0 ? 0 : value * 10) + (c - '0');
            if (value > 255)
                return false;
        } else if (c == '.' && value >= 0) {
            ++parts;
            value = -1;
        } else {
            return false;
        }
    }
    return parts == 4;
}

} // namespace

std::string userAdapterDirectory()
{
    const std::string base = scriptDirectory();
    return base.empty() ? std::string() : base + "/adapters";
}

bool addUserAdapter(const std::string& id, const NetAdapter& adapter, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!validId(id))
        return fail("bad adapter id");
    if (!validIpv4(adapter.ipv4) || !validText(adapter.name, 64) || !validText(adapter.description, 128))
        return fail("bad adapter record");
    const std::string dir = userAdapterDirectory();
    if (dir.empty())
        return fail("no per-user runtime folder");
    std::error_code ec;
    fs::create_directories(dir, ec);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    const std::string path = dir + "/" + id + ".adapter";
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out)
            return fail("cannot write " + temp);
        out << "name=" << adapter.name << "\ndescription=" << adapter.description << "\nipv4=" << adapter.ipv4 << "\n";
        if (!out.flush())
            return fail("cannot write " + temp);
    }
    fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace, ec);
    fs::rename(temp, path, ec);
    if (ec)
        return fail("cannot write " + path + ": " + ec.message());
    return true;
}

bool removeUserAdapter(const std::string& id)
{
    const std::string dir = userAdapterDirectory();
    if (!validId(id) || dir.empty())
        return false;
    std::error_code ec;
    return fs::remove(dir + "/" + id + ".adapter", ec);
}

std::vector<std::pair<std::string, NetAdapter>> userAdapters()
{
    std::vector<std::pair<std::string, NetAdapter>> out;
    const std::string dir = userAdapterDirectory();
    std::error_code ec;
    if (dir.empty() || !fs::is_directory(dir, ec))
        return out;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (p.extension() != ".adapter" || !validId(p.stem().string()) || !it->is_regular_file(ec))
            continue;
        if (it->file_size(ec) > 1024)
            continue;
        std::ifstream in(p);
        NetAdapter a;
        std::string line;
        while (std::getline(in, line)) {
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = line.substr(0, eq);
            const std::string value = line.substr(eq + 1);
            if (key == "name")
                a.name = value;
            else if (key == "description")
                a.description = value;
            else if (key == "ipv4")
                a.ipv4 = value;
        }
        if (validIpv4(a.ipv4) && validText(a.name, 64) && validText(a.description, 128))
            out.emplace_back(p.stem().string(), std::move(a));
    }
    std::sort(out.begin(), out.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    return out;
}

} // namespace platform
