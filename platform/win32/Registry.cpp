// The Windows registry through the ANSI calls, with KEY_WOW64_64KEY or
// KEY_WOW64_32KEY for the forced views.
#include "platform/Registry.h"

#include "../common/Detail.h"

#include <windows.h>

#include <algorithm>

namespace platform {
namespace {

HKEY hiveKey(RegistryHive hive)
{
    return hive == RegistryHive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

REGSAM viewFlag(RegistryView view)
{
    switch (view) {
    case RegistryView::Force64:
        return KEY_WOW64_64KEY;
    case RegistryView::Force32:
        return KEY_WOW64_32KEY;
    default:
        return 0;
    }
}

// Closes the key when it goes out of scope.
class Key {
public:
    Key(RegistryHive hive, const std::string& path, REGSAM access, RegistryView view, bool create)
    {
        const REGSAM sam = access | viewFlag(view);
        LONG rc = create ? ::RegCreateKeyExA(
                      hiveKey(hive), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &m_key, nullptr)
                         : ::RegOpenKeyExA(hiveKey(hive), path.c_str(), 0, sam, &m_key);
        if (rc != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~Key()
    {
        if (m_key)
            ::RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

private:
    HKEY m_key = nullptr;
};

bool queryValue(HKEY key, const std::string& name, DWORD& type, std::string& data)
{
    DWORD size = 0;
    if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    // The value may grow between the two calls.
    for (int attempt = 0; attempt < 4; ++attempt) {
        data.assign(size, '\0');
        DWORD got = size;
        const LONG rc
            = ::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got);
        if (rc == ERROR_SUCCESS) {
            data.resize(got);
            return true;
        }
        if (rc != ERROR_MORE_DATA)
            return false;
        size = got > size ? got : size * 2 + 16;
    }
    return false;
}

} // namespace

std::optional<std::string> Registry::readString(
    RegistryHive hive, const std::string& key, const std::string& name, RegistryView view)
{
    Key k(hive, key, KEY_READ, view, false);
    DWORD type = 0;
    std::string data;
    if (!k || !queryValue(k.get(), name, type, data) || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    return data.substr(0, data.find('\0'));
}

bool Registry::writeString(
    RegistryHive hive, const std::string& key, const std::string& name, const std::string& value, RegistryView view)
{
    Key k(hive, key, KEY_ALL_ACCESS, view, true);
    if (!k)
        return false;
    const std::string text = value.substr(0, value.find('\0'));
    return ::RegSetValueExA(k.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
               static_cast<DWORD>(text.size() + 1))
        == ERROR_SUCCESS;
}

std::optional<unsigned long> Registry::readDword(
    RegistryHive hive, const std::string& key, const std::string& name, RegistryView view)
{
    Key k(hive, key, KEY_READ, view, false);
    DWORD type = 0;
    std::string data;
    if (!k || !queryValue(k.get(), name, type, data) || type != REG_DWORD || data.size() != 4)
        return std::nullopt;
    const auto* b = reinterpret_cast<const unsigned char*>(data.data());
    return static_cast<unsigned long>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<unsigned long>(b[3]) << 24);
}

bool Registry::writeDword(
    RegistryHive hive, const std::string& key, const std::string& name, unsigned long value, RegistryView view)
{
    Key k(hive, key, KEY_ALL_ACCESS, view, true);
    if (!k)
        return false;
    const DWORD number = static_cast<DWORD>(value);
    return ::RegSetValueExA(k.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number)
        == ERROR_SUCCESS;
}

bool Registry::deleteValue(RegistryHive hive, const std::string& key, const std::string& name, RegistryView view)
{
    Key k(hive, key, KEY_SET_VALUE, view, false);
    return k && ::RegDeleteValueA(k.get(), name.c_str()) == ERROR_SUCCESS;
}

bool Registry::keyExists(RegistryHive hive, const std::string& key, RegistryView view)
{
    return static_cast<bool>(Key(hive, key, KEY_READ, view, false));
}

bool Registry::deleteKey(RegistryHive hive, const std::string& key, RegistryView view)
{
    const std::size_t cut = key.find_last_of('\\');
    const std::string parentPath = cut == std::string::npos ? std::string() : key.substr(0, cut);
    const std::string leaf = cut == std::string::npos ? key : key.substr(cut + 1);
    if (leaf.empty())
        return false; // never a whole hive
    Key parent(hive, parentPath, KEY_ALL_ACCESS, view, false);
    if (!parent)
        return false;
    // RegDeleteTree empties the key; RegDeleteKeyEx removes it in the chosen view.
    if (::RegDeleteTreeA(parent.get(), leaf.c_str()) != ERROR_SUCCESS)
        return false;
    const LONG rc = ::RegDeleteKeyExA(parent.get(), leaf.c_str(), viewFlag(view), 0);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

std::vector<std::string> Registry::valueNames(RegistryHive hive, const std::string& key, RegistryView view)
{
    std::vector<std::string> names;
    Key k(hive, key, KEY_READ, view, false);
    if (!k)
        return names;
    DWORD count = 0, longest = 0;
    if (::RegQueryInfoKeyA(
            k.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr)
        != ERROR_SUCCESS)
        return names;
    std::string buffer(longest + 1, '\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (::RegEnumValueA(k.get(), i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            names.emplace_back(buffer.data(), length);
    }
    return names;
}

std::vector<std::string> Registry::subKeyNames(RegistryHive hive, const std::string& key, RegistryView view)
{
    std::vector<std::string> names;
    Key k(hive, key, KEY_READ, view, false);
    if (!k)
        return names;
    DWORD count = 0, longest = 0;
    if (::RegQueryInfoKeyA(
            k.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
        != ERROR_SUCCESS)
        return names;
    // Key names are at most 255 characters; the buffer also takes a longer
    // name that appeared after the query.
    std::string buffer((longest > 255 ? longest : 255) + 1, '\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = static_cast<DWORD>(buffer.size());
        if (::RegEnumKeyExA(k.get(), i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            names.emplace_back(buffer.data(), length);
    }
    std::sort(names.begin(), names.end(),
        [](const std::string& a, const std::string& b) { return detail::toLowerAscii(a) < detail::toLowerAscii(b); });
    return names;
}

// The file-backed store's settings have no meaning here.
void Registry::setRootDirectory(const std::string&)
{
}
std::string Registry::rootDirectory()
{
    return {};
}
void Registry::setDefaultView(RegistryView)
{
}

} // namespace platform
