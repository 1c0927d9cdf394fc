// Writing and reading a remote-session frame's payload: big-endian numbers,
// texts (a length byte, then at most 255 bytes) and raw bytes. Shared by the
// session frames and the device-control frames.
#pragma once

#include "remote/Frame.h"
#include "wire/BigEndian.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace remote::payload {

class Writer : public wire::BigEndianWriter<std::string> {
public:
    explicit Writer(Type type)
        : BigEndianWriter(kHeaderSize)
    {
        u8(static_cast<std::uint8_t>(type));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    // A text of at most 255 bytes: length byte, then the bytes (cut to fit).
    void text(const std::string& s)
    {
        const std::size_t n = s.size() > 255 ? 255 : s.size();
        u8(static_cast<std::uint8_t>(n));
        m_bytes.append(s.data(), n);
    }
    void raw(const std::string& s) { m_bytes += s; }
    void raw(const std::uint8_t* data, std::size_t n) { m_bytes.append(reinterpret_cast<const char*>(data), n); }
    std::string done() { return finish(); }
};

class Reader : public wire::BigEndianReader<std::string> {
public:
    Reader(const Frame& f, std::string* error)
        : BigEndianReader(f.payload, error, "frame cut short")
    {
    }
    bool i32(std::int32_t& v)
    {
        std::uint32_t u = 0;
        if (!u32(u))
            return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    bool text(std::string& s, std::size_t max, const char* what)
    {
        std::uint8_t n = 0;
        if (!u8(n) || !need(n))
            return false;
        if (n > max)
            return fail(std::string(what) + " too long");
        s.assign(m_data.data() + m_pos, n);
        m_pos += n;
        return true;
    }
    bool raw(std::string& s, std::size_t n)
    {
        if (!need(n))
            return false;
        s.assign(m_data.data() + m_pos, n);
        m_pos += n;
        return true;
    }
    std::size_t left() const { return m_data.size() - m_pos; }
    // Everything not read yet.
    std::string_view rest()
    {
        std::string_view r(m_data.data() + m_pos, m_data.size() - m_pos);
        m_pos = m_data.size();
        return r;
    }
    // The next `n` bytes (at most left()) into `out`.
    void rest(std::uint8_t* out, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(m_data[m_pos + i]);
        m_pos += n;
    }
};

} // namespace remote::payload
