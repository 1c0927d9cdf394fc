#include "ProbeList.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace bwservice {

namespace {

// Strict dotted quad: four decimal numbers 0..255, no leading '+', no blanks.
bool parseIPv4(const std::string& s, unsigned (&part)[4])
{
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= s.size() || s[pos] < '0' || s[pos] > '9')
            return false;
        unsigned v = 0;
        std::size_t digits = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            v = v * 10 + static_cast<unsigned>(s[pos] - '0');
            if (++digits > 3 || v > 255)
                return false;
            ++pos;
        }
        part[i] = v;
        if (i < 3) {
            if (pos >= s.size() || s[pos] != '.')
                return false;
            ++pos;
        }
    }
    return pos == s.size();
}

std::string join(const unsigned (&p)[4], unsigned last)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", p[0], p[1], p[2], last);
    return buf;
}

} // namespace

bool parseProbeList(const std::string& text, std::vector<std::string>& out, std::string* error)
{
    std::vector<std::string> result;
    std::string normalized = text;
    std::replace(normalized.begin(), normalized.end(), ',', ' ');
    std::istringstream in(normalized);
    std::string item;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "bad address \"" + item + "\": " + why;
        return false;
    };
    while (in >> item) {
        std::string first = item;
        std::string lastText;
        const std::size_t dash = item.find('-');
        if (dash != std::string::npos) {
            first = item.substr(0, dash);
            lastText = item.substr(dash + 1);
        }
        unsigned p[4];
        if (!parseIPv4(first, p))
            return fail("not a dotted IPv4 address");
        unsigned to = p[3];
        if (dash != std::string::npos) {
            if (lastText.empty() || lastText.size() > 3
                || !std::all_of(lastText.begin(), lastText.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return fail("range end must be a number");
            to = static_cast<unsigned>(std::stoul(lastText));
            if (to > 255 || to < p[3])
                return fail("range end out of order or above 255");
        }
        for (unsigned last = p[3]; last <= to; ++last) {
            const std::string a = join(p, last);
            if (std::find(result.begin(), result.end(), a) == result.end())
                result.push_back(a);
        }
        if (result.size() > 1024)
            return fail("more than 1024 addresses");
    }
    out = std::move(result);
    return true;
}

bool isLinkLocal(const std::string& ipv4)
{
    return ipv4.compare(0, 8, "169.254.") == 0;
}

} // namespace bwservice
