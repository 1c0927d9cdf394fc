#include "Pub.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace vehdiag {

// ---- Trouble codes --------------------------------------------------------------------
std::string dtcName(std::uint8_t high, std::uint8_t low)
{
    static const char kLetters[] = {'P', 'C', 'B', 'U'};
    char buf[8];
    std::snprintf(buf, sizeof buf, "%c%X%X%02X", kLetters[high >> 6], (high >> 4) & 3, high & 15, low);
    return buf;
}

std::string dtcName(std::uint8_t high, std::uint8_t low, std::uint8_t failureType)
{
    std::string name = dtcName(high, low);
    if (failureType) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02X", failureType);
        name += '-';
        name += buf;
    }
    return name;
}

namespace {

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

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// Well-formed UTF-8 without control characters.
bool cleanUtf8(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F)
                return false;
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        static const std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0x80 && cp < 0xA0))
            return false;
        i += extra + 1;
    }
    return true;
}

} // namespace

bool dtcCode(const std::string& name, std::uint8_t* high, std::uint8_t* low)
{
    if (name.size() != 5)
        return false;
    static const std::string kLetters = "PCBU";
    const auto letter = kLetters.find(name[0]);
    const int d1 = hexDigit(name[1]), d2 = hexDigit(name[2]), d3 = hexDigit(name[3]), d4 = hexDigit(name[4]);
    if (letter == std::string::npos || d1 < 0 || d1 > 3 || d2 < 0 || d3 < 0 || d4 < 0)
        return false;
    *high = static_cast<std::uint8_t>((letter << 6) | (d1 << 4) | d2);
    *low = static_cast<std::uint8_t>((d3 << 4) | d4);
    return true;
}

// ---- DTC text tables ------------------------------------------------------------------
bool DtcTable::parse(const std::string& text, std::vector<std::string>* problems)
{
    m_byLanguage.clear();
    const auto problem = [&](std::size_t line, const std::string& what) {
        if (problems && problems->size() < 100)
            problems->push_back("line " + std::to_string(line) + ": " + what);
    };
    if (text.size() > kMaxBytes) {
        problem(0, "the table is larger than " + std::to_string(kMaxBytes) + " bytes");
        return false;
    }
    std::string language = "en";
    std::size_t entries = 0;
    std::size_t lineNo = 0;
    std::size_t pos = 0;
    // A UTF-8 byte order mark at the start is allowed.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        ++lineNo;
        const std::size_t length = end - pos;
        if (length > kMaxLine) {
            problem(lineNo, "longer than " + std::to_string(kMaxLine) + " bytes");
            pos = end + 1;
            continue;
        }
        const std::string line = trimmed(text.substr(pos, length));
        pos = end + 1;
        if (line.empty() || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            const std::string l = line.substr(1, line.size() - 2);
            if (l == "en" || l == "es")
                language = l;
            else
                problem(lineNo, "unknown language \"" + l.substr(0, 16) + "\"");
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            problem(lineNo, "no \"=\"");
            continue;
        }
        const std::string code = trimmed(line.substr(0, eq));
        const std::string value = trimmed(line.substr(eq + 1));
        std::uint8_t hi = 0, lo = 0;
        if (!dtcCode(code, &hi, &lo)) {
            problem(lineNo, "not a trouble code (like P0301)");
            continue;
        }
        if (value.empty() || value.size() > kMaxText) {
            problem(lineNo, "the text is empty or longer than " + std::to_string(kMaxText) + " bytes");
            continue;
        }
        if (!cleanUtf8(value)) {
            problem(lineNo, "the text is not clean UTF-8");
            continue;
        }
        auto& texts = m_byLanguage[code];
        if (!texts.count(language)) {
            if (entries >= kMaxEntries) {
                problem(lineNo, "more than " + std::to_string(kMaxEntries) + " entries");
                continue;
            }
            ++entries;
        }
        texts[language] = value;
    }
    return true;
}

bool DtcTable::load(const std::string& path, std::vector<std::string>* problems)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (problems)
            problems->push_back("cannot open " + path);
        m_byLanguage.clear();
        return false;
    }
    std::string text;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxBytes)
            break;
    }
    return parse(text, problems);
}

std::string DtcTable::text(const std::string& code, const std::string& language) const
{
    const auto it = m_byLanguage.find(code);
    if (it == m_byLanguage.end())
        return {};
    auto t = it->second.find(language);
    if (t == it->second.end())
        t = it->second.find("en");
    return t == it->second.end() ? std::string() : t->second;
}

std::size_t DtcTable::size() const
{
    std::size_t n = 0;
    for (const auto& entry : m_byLanguage)
        n += entry.second.size();
    return n;
}

// ---- OBD-II values --------------------------------------------------------------------
namespace {

struct Pid {
    std::uint8_t pid;
    std::uint8_t size;
    const char* unit;
};

const Pid kPids[] = {
    {0x04, 1, "%"},
    {0x05, 1,
        "\xC2\xB0"
        "C"},
    {0x0B, 1, "kPa"},
    {0x0C, 2, "rpm"},
    {0x0D, 1, "km/h"},
    {0x0E, 1, "\xC2\xB0"},
    {0x0F, 1,
        "\xC2\xB0"
        "C"},
    {0x10, 2, "g/s"},
    {0x11, 1, "%"},
    {0x1F, 2, "s"},
    {0x2F, 1, "%"},
    {0x33, 1, "kPa"},
    {0x42, 2, "V"},
    {0x46, 1,
        "\xC2\xB0"
        "C"},
};

const Pid* pidInfo(std::uint8_t pid)
{
    for (const Pid& p : kPids)
        if (p.pid == pid)
            return &p;
    return nullptr;
}

} // namespace

std::optional<double> obdValue(std::uint8_t pid, const std::uint8_t* data, std::size_t size)
{
    const Pid* p = pidInfo(pid);
    if (!p || size < p->size)
        return std::nullopt;
    const double a = data[0];
    const double ab = p->size == 2 ? data[0] * 256.0 + data[1] : a;
    switch (pid) {
    case 0x04:
    case 0x11:
    case 0x2F:
        return a * 100.0 / 255.0;
    case 0x05:
    case 0x0F:
    case 0x46:
        return a - 40.0;
    case 0x0C:
        return ab / 4.0;
    case 0x0E:
        return a / 2.0 - 64.0;
    case 0x10:
        return ab / 100.0;
    case 0x42:
        return ab / 1000.0;
    default:
        return ab;
    }
}

const char* obdUnit(std::uint8_t pid)
{
    const Pid* p = pidInfo(pid);
    return p ? p->unit : "";
}

std::size_t obdValueSize(std::uint8_t pid)
{
    const Pid* p = pidInfo(pid);
    return p ? p->size : 0;
}

// ---- Answers --------------------------------------------------------------------------
Answer classify(std::uint8_t service, const Bytes& answer)
{
    Answer a;
    if (answer.empty() || answer.size() > kMaxAnswer)
        return a;
    if (answer[0] == 0x7F) {
        if (answer.size() != 3 || answer[1] != service)
            return a;
        a.nrc = answer[2];
        a.kind = a.nrc == 0x78 ? AnswerKind::Pending : AnswerKind::Negative;
        return a;
    }
    if (answer[0] != static_cast<std::uint8_t>(service + 0x40))
        return a;
    a.kind = AnswerKind::Positive;
    a.data.assign(answer.begin() + 1, answer.end());
    return a;
}

std::optional<Bytes> didRecord(const Answer& positive, std::uint16_t did)
{
    const Bytes& d = positive.data;
    if (positive.kind != AnswerKind::Positive || d.size() < 3 || d[0] != (did >> 8) || d[1] != (did & 0xFF))
        return std::nullopt;
    return Bytes(d.begin() + 2, d.end());
}

std::string recordText(const Bytes& record)
{
    std::string s;
    for (std::uint8_t b : record)
        s += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : (b == 0 ? '\0' : '?');
    const auto last = s.find_last_not_of(std::string(" \0", 2));
    s.erase(last == std::string::npos ? 0 : last + 1);
    for (char& c : s)
        if (c == '\0')
            c = '?';
    return s;
}

std::optional<std::vector<Dtc>> dtcList(const Answer& positive)
{
    const Bytes& d = positive.data;
    if (positive.kind != AnswerKind::Positive || d.size() < 2 || d[0] != 0x02 || (d.size() - 2) % 4)
        return std::nullopt;
    std::vector<Dtc> out;
    for (std::size_t i = 2; i + 3 < d.size(); i += 4)
        out.push_back({dtcName(d[i], d[i + 1]), d[i + 2], d[i + 3]});
    return out;
}

std::optional<unsigned> dtcCount(const Answer& positive)
{
    const Bytes& d = positive.data;
    if (positive.kind != AnswerKind::Positive || d.size() != 5 || d[0] != 0x01)
        return std::nullopt;
    return static_cast<unsigned>(d[3] << 8 | d[4]);
}

std::optional<std::vector<std::string>> obdCodes(const Answer& positive)
{
    const Bytes& d = positive.data;
    if (positive.kind != AnswerKind::Positive || d.empty() || (d.size() - 1) != std::size_t(d[0]) * 2)
        return std::nullopt;
    std::vector<std::string> out;
    for (std::size_t i = 1; i + 1 < d.size(); i += 2)
        if (d[i] || d[i + 1])
            out.push_back(dtcName(d[i], d[i + 1]));
    return out;
}

std::optional<std::string> obdVin(const Answer& positive)
{
    const Bytes& d = positive.data;
    if (positive.kind != AnswerKind::Positive || d.size() != 2 + 17 || d[0] != 0x02 || d[1] != 0x01)
        return std::nullopt;
    std::string vin(d.begin() + 2, d.end());
    for (char c : vin)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')))
            return std::nullopt;
    return vin;
}

std::optional<std::map<std::uint8_t, double>> obdValues(const Answer& positive)
{
    const Bytes& d = positive.data;
    if (positive.kind != AnswerKind::Positive || d.empty())
        return std::nullopt;
    std::map<std::uint8_t, double> out;
    std::size_t i = 0;
    while (i < d.size()) {
        const std::uint8_t pid = d[i++];
        const std::size_t n = obdValueSize(pid);
        if (!n || i + n > d.size())
            return std::nullopt;
        out[pid] = *obdValue(pid, d.data() + i, n);
        i += n;
    }
    return out;
}

// ---- Makes ----------------------------------------------------------------------------
Registry& Registry::instance()
{
    static Registry registry;
    return registry;
}

void Registry::registerMake(MakeDefinition definition)
{
    const std::string name = definition.make;
    std::vector<std::function<void(const std::string&)>> listeners;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_makes[name] = std::move(definition);
        for (const auto& l : m_listeners)
            listeners.push_back(l.second);
    }
    for (const auto& l : listeners)
        l(name);
}

std::optional<MakeDefinition> Registry::make(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_makes.find(name);
    if (it == m_makes.end())
        return std::nullopt;
    return it->second;
}

void Registry::forget(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_makes.erase(name);
}

int Registry::subscribe(std::function<void(const std::string&)> listener)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listeners[m_next] = std::move(listener);
    return m_next++;
}

void Registry::unsubscribe(int token)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listeners.erase(token);
}

const char* componentVersion()
{
    return VEHDIAG_VERSION;
}

} // namespace vehdiag
