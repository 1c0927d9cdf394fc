#include "Mt7628Protocol.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cstring>
#include <exception>
#include <limits>
#include <memory>

namespace mt7628 {

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

    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["allowComments"] = false;
    builder["failIfExtra"] = true;
    builder["rejectDupKeys"] = true;
    builder["allowSpecialFloats"] = false;
    builder["stackLimit"] = 64;
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
