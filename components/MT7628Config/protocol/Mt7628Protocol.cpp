#include "Mt7628Protocol.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cctype>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>

namespace mt7628 {

namespace {

// JsonCpp's reader accepts comments inside objects and arrays, trailing commas,
// leading zeros and a byte order mark whatever its settings, and its depth
// limit depends on what the innermost container holds. So every frame first
// passes this check of the strict JSON grammar; JsonCpp then only builds the
// value (and refuses duplicate names).
class StrictSyntax {
public:
    StrictSyntax(const char* begin, const char* end)
        : m_p(begin)
        , m_end(end)
    {
    }

    // nullptr when the text is exactly one JSON object, else a short reason.
    const char* check()
    {
        skipSpace();
        if (m_p == m_end || *m_p != '{')
            return "not a JSON object";
        std::string open; // '{' or '[' for every container not yet closed
        bool wantValue = true;
        for (;;) {
            if (wantValue) {
                skipSpace();
                if (m_p == m_end)
                    return "not JSON";
                const char c = *m_p;
                if (c == '{' || c == '[') {
                    if (open.size() >= static_cast<std::size_t>(kMaxNesting))
                        return "nested too deeply";
                    open.push_back(c);
                    ++m_p;
                    skipSpace();
                    if (m_p != m_end && *m_p == (c == '{' ? '}' : ']')) {
                        ++m_p;
                        open.pop_back();
                        wantValue = false;
                    } else if (c == '{' && !memberName()) {
                        return m_error;
                    }
                    continue;
                }
                if (!scalar())
                    return m_error;
                wantValue = false;
                continue;
            }
            skipSpace();
            if (open.empty())
                return m_p == m_end ? nullptr : "text after the object";
            if (m_p == m_end)
                return "not JSON";
            const char c = *m_p++;
            if (c == ',') {
                if (open.back() == '{' && !memberName())
                    return m_error;
                wantValue = true;
            } else if (c == (open.back() == '{' ? '}' : ']')) {
                open.pop_back();
            } else {
                return "not JSON";
            }
        }
    }

private:
    void skipSpace()
    {
        while (m_p != m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
    }

    bool fail(const char* why)
    {
        m_error = why;
        return false;
    }

    // A member's name and its colon; the value follows.
    bool memberName()
    {
        skipSpace();
        if (m_p == m_end || *m_p != '"')
            return fail("not JSON");
        if (!string())
            return false;
        skipSpace();
        if (m_p == m_end || *m_p != ':')
            return fail("not JSON");
        ++m_p;
        return true;
    }

    bool scalar()
    {
        const char c = *m_p;
        if (c == '"')
            return string();
        if (c == '-' || (c >= '0' && c <= '9'))
            return number();
        for (const char* word : {"true", "false", "null"}) {
            const std::size_t n = std::strlen(word);
            if (static_cast<std::size_t>(m_end - m_p) >= n && std::memcmp(m_p, word, n) == 0) {
                m_p += n;
                return true;
            }
        }
        return fail("not JSON");
    }

    bool digits()
    {
        const char* start = m_p;
        while (m_p != m_end && *m_p >= '0' && *m_p <= '9')
            ++m_p;
        return m_p != start;
    }

    bool number()
    {
        if (*m_p == '-')
            ++m_p;
        if (m_p != m_end && *m_p == '0')
            ++m_p; // no leading zeros
        else if (!digits())
            return fail("not JSON");
        if (m_p != m_end && *m_p == '.') {
            ++m_p;
            if (!digits())
                return fail("not JSON");
        }
        if (m_p != m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            if (m_p != m_end && (*m_p == '+' || *m_p == '-'))
                ++m_p;
            if (!digits())
                return fail("not JSON");
        }
        return true;
    }

    bool string()
    {
        ++m_p; // the opening quote
        while (m_p != m_end) {
            const auto c = static_cast<unsigned char>(*m_p++);
            if (c == '"')
                return true;
            if (c < 0x20)
                return fail("control character in text");
            if (c == '\\') {
                if (m_p == m_end)
                    break;
                const char e = *m_p++;
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i, ++m_p) {
                        if (m_p == m_end || !std::isxdigit(static_cast<unsigned char>(*m_p)))
                            return fail("not JSON");
                    }
                } else if (!std::strchr("\"\\/bfnrt", e) || e == '\0') {
                    return fail("not JSON");
                }
            } else if (c >= 0x80 && !utf8Sequence(c)) {
                return fail("not UTF-8");
            }
        }
        return fail("not JSON");
    }

    // The continuation bytes after lead byte c: no overlong forms, no
    // surrogates, nothing above U+10FFFF.
    bool utf8Sequence(unsigned char c)
    {
        int more = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            lo = c == 0xE0 ? 0xA0 : 0x80;
            hi = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            lo = c == 0xF0 ? 0x90 : 0x80;
            hi = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        for (int i = 0; i < more; ++i, ++m_p, lo = 0x80, hi = 0xBF) {
            if (m_p == m_end)
                return false;
            const auto b = static_cast<unsigned char>(*m_p);
            if (b < lo || b > hi)
                return false;
        }
        return true;
    }

    const char* m_p;
    const char* m_end;
    const char* m_error = nullptr;
};

} // namespace

std::string encodeFrame(const Json::Value& object)
{
    if (!object.isObject())
        return {};
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    std::string line = Json::writeString(builder, object);
    // The compact writer never emits raw line ends (they are escaped in strings).
    line.push_back('\n');
    if (line.size() > kMaxFrameBytes)
        return {};
    // The writer copies strings' bytes as they are; a text that is not UTF-8
    // (an SSID typed in another code page) would give a line no peer takes.
    Json::Value back;
    if (!decodeFrame(line, back))
        return {};
    return line;
}

bool decodeFrame(const std::string& line, Json::Value& object, std::string* error)
{
    auto fail = [&](const char* why) {
        if (error)
            *error = why;
        object = Json::Value();
        return false;
    };
    std::size_t end = line.size();
    if (end > 0 && line[end - 1] == '\n')
        --end;
    if (end > 0 && line[end - 1] == '\r')
        --end;
    if (end + 1 > kMaxFrameBytes)
        return fail("frame too large");
    if (end == 0)
        return fail("empty frame");
    if (std::memchr(line.data(), '\0', end) != nullptr)
        return fail("NUL byte in frame");
    if (const char* why = StrictSyntax(line.data(), line.data() + end).check())
        return fail(why);

    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["collectComments"] = false;
    // The grammar check has bounded the depth already; JsonCpp counts it
    // differently, so its own limit stays out of the way.
    builder["stackLimit"] = kMaxNesting + 8;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value parsed;
    std::string errs;
    try {
        if (!reader->parse(line.data(), line.data() + end, &parsed, &errs))
            return fail("not JSON");
    } catch (const std::exception&) {
        // JsonCpp throws when nesting exceeds the stack limit.
        return fail("nested too deeply");
    }
    if (!parsed.isObject())
        return fail("not a JSON object");
    object = std::move(parsed);
    if (error)
        error->clear();
    return true;
}

void FrameReader::append(const char* data, std::size_t size)
{
    if (m_overflow)
        return;
    m_buffer.append(data, size);
}

bool FrameReader::next(std::string& line)
{
    if (m_overflow)
        return false;
    const std::size_t nl = m_buffer.find('\n');
    if (nl == std::string::npos) {
        if (m_buffer.size() >= m_max) {
            m_overflow = true;
            m_buffer.clear();
        }
        return false;
    }
    if (nl + 1 > m_max) {
        m_overflow = true;
        m_buffer.clear();
        return false;
    }
    line.assign(m_buffer, 0, nl);
    m_buffer.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

std::string FrameReader::takeBuffered()
{
    std::string rest;
    rest.swap(m_buffer);
    return rest;
}

bool getString(const Json::Value& object, const char* key, std::string& out)
{
    if (!object.isObject())
        return false;
    const Json::Value* v = object.find(key, key + std::strlen(key));
    if (!v || !v->isString())
        return false;
    out = v->asString();
    return true;
}

bool getBool(const Json::Value& object, const char* key, bool& out)
{
    if (!object.isObject())
        return false;
    const Json::Value* v = object.find(key, key + std::strlen(key));
    if (!v || !v->isBool())
        return false;
    out = v->asBool();
    return true;
}

bool getUInt(const Json::Value& object, const char* key, std::uint32_t& out)
{
    if (!object.isObject())
        return false;
    const Json::Value* v = object.find(key, key + std::strlen(key));
    if (!v || !(v->isInt64() || v->isUInt64()) || !v->isIntegral())
        return false;
    if (v->isInt64() && v->asInt64() < 0)
        return false;
    if (v->asUInt64() > std::numeric_limits<std::uint32_t>::max())
        return false;
    out = static_cast<std::uint32_t>(v->asUInt64());
    return true;
}

bool getInt(const Json::Value& object, const char* key, std::int32_t& out)
{
    if (!object.isObject())
        return false;
    const Json::Value* v = object.find(key, key + std::strlen(key));
    if (!v || !v->isIntegral())
        return false;
    if (v->isUInt64() && !v->isInt64())
        return false;
    const auto n = v->asInt64();
    if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
        return false;
    out = static_cast<std::int32_t>(n);
    return true;
}

Json::Value errorReply(const std::string& text)
{
    Json::Value r(Json::objectValue);
    r["ok"] = false;
    r["error"] = text;
    return r;
}

Json::Value okReply()
{
    Json::Value r(Json::objectValue);
    r["ok"] = true;
    return r;
}

bool replyOk(const Json::Value& reply)
{
    bool ok = false;
    return getBool(reply, "ok", ok) && ok;
}

bool isMakeMode(const std::string& name)
{
    // Ordered by make code: the position in this list is the code the
    // manager's make list gives the make.
    static const char* const makes[] = {"Porsche", "VW", "PSA", "SUBARU", "RENAULT", "BENZ", "BMW", "Ford", "GM", "JLR",
        "J2534", "SAIC", "Honda", "Mazda", "Toyota", "VOLVO", "TATA", "MITSUBISHI", "Mahindra", "Suzuki", "NISSAN",
        "AshokLeyland", "FORCE", "J0500"};
    for (const char* make : makes)
        if (name == make)
            return true;
    return false;
}

bool isModeName(const std::string& name)
{
    return name == kModeOriginal || isMakeMode(name);
}

const char* imageKindName(ImageKind kind)
{
    switch (kind) {
    case ImageKind::System:
        return "system";
    case ImageKind::Application:
        return "application";
    case ImageKind::Can:
        break;
    }
    return "can";
}

bool parseImageKind(const std::string& name, ImageKind& kind)
{
    for (ImageKind k : {ImageKind::System, ImageKind::Application, ImageKind::Can}) {
        if (name == imageKindName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

Json::Value uploadBeginRequest(ImageKind kind, std::uint32_t length)
{
    Json::Value r(Json::objectValue);
    r["op"] = op::kUploadBegin;
    r["image"] = imageKindName(kind);
    r["length"] = length;
    return r;
}

bool parseUploadBegin(const Json::Value& request, ImageKind& kind, std::uint32_t& length, std::string* error)
{
    auto fail = [error](const char* why) {
        if (error)
            *error = why;
        return false;
    };
    std::string name;
    if (!getString(request, "image", name))
        return fail("missing image");
    if (!parseImageKind(name, kind))
        return fail("unknown image kind");
    if (!getUInt(request, "length", length) || length == 0)
        return fail("length must be a positive 32-bit number");
    return true;
}

UploadLine readUploadLine(const Json::Value& frame)
{
    UploadLine line;
    bool ok = false;
    if (!getBool(frame, "ok", ok))
        return line;
    if (!ok) {
        line.kind = UploadLine::Refused;
        if (!getString(frame, "error", line.text) || line.text.empty())
            line.text = "refused";
        return line;
    }
    bool written = false;
    if (getBool(frame, "written", written) && written) {
        line.kind = UploadLine::Written;
        getString(frame, "version", line.text);
    } else if (getUInt(frame, "received", line.received)) {
        line.kind = UploadLine::Progress;
    }
    return line;
}

Json::Value uploadProgressReply(std::uint32_t received)
{
    Json::Value r = okReply();
    r["received"] = received;
    return r;
}

Json::Value uploadWrittenReply(const std::string& version)
{
    Json::Value r = okReply();
    r["written"] = true;
    r["version"] = version;
    return r;
}

void copyField(char* field, std::size_t size, const std::string& text)
{
    if (size == 0)
        return;
    std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    // Do not leave half of a UTF-8 sequence at the end.
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

} // namespace mt7628
