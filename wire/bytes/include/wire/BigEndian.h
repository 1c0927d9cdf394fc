// Big-endian numbers in a byte string, shared by our binary wire formats (the
// pass-thru protocol and the remote-session frames). `Bytes` is the payload
// type of the format: std::vector<std::uint8_t> or std::string. Every read
// checks that its bytes are there; a failed read leaves a reason in `error`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace wire {

// Builds a frame: a four-byte length field of `headerSize`-byte header
// first (filled in by patchLength), then the numbers appended.
template <typename Bytes>
class BigEndianWriter {
public:
    explicit BigEndianWriter(std::size_t headerSize)
        : m_bytes(headerSize, typename Bytes::value_type(0))
        , m_headerSize(headerSize)
    {
    }
    void u8(std::uint8_t v) { m_bytes.push_back(static_cast<typename Bytes::value_type>(v)); }
    void u16(std::uint16_t v)
    {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v & 0xFF));
    }
    void u32(std::uint32_t v)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            u8(static_cast<std::uint8_t>((v >> shift) & 0xFF));
    }
    void u64(std::uint64_t v)
    {
        u32(static_cast<std::uint32_t>(v >> 32));
        u32(static_cast<std::uint32_t>(v));
    }

protected:
    // Bytes after the header.
    std::size_t bodySize() const { return m_bytes.size() - m_headerSize; }
    // Writes the body length into the first four bytes and hands the frame over.
    Bytes finish()
    {
        const auto body = static_cast<std::uint32_t>(bodySize());
        for (std::size_t i = 0; i < 4; ++i)
            m_bytes[i] = static_cast<typename Bytes::value_type>((body >> (24 - 8 * i)) & 0xFF);
        return std::move(m_bytes);
    }

    Bytes m_bytes;

private:
    std::size_t m_headerSize;
};

template <typename Bytes>
class BigEndianReader {
public:
    BigEndianReader(const Bytes& data, std::string* error, const char* shortText)
        : m_data(data)
        , m_error(error)
        , m_shortText(shortText)
    {
    }
    bool u8(std::uint8_t& v)
    {
        if (!need(1))
            return false;
        v = static_cast<std::uint8_t>(m_data[m_pos++]);
        return true;
    }
    bool u16(std::uint16_t& v)
    {
        std::uint8_t hi = 0;
        std::uint8_t lo = 0;
        if (!need(2) || !u8(hi) || !u8(lo))
            return false;
        v = static_cast<std::uint16_t>((hi << 8) | lo);
        return true;
    }
    bool u32(std::uint32_t& v)
    {
        if (!need(4))
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | static_cast<std::uint8_t>(m_data[m_pos++]);
        return true;
    }
    bool u64(std::uint64_t& v)
    {
        std::uint32_t hi = 0;
        std::uint32_t lo = 0;
        if (!u32(hi) || !u32(lo))
            return false;
        v = (std::uint64_t(hi) << 32) | lo;
        return true;
    }
    bool atEnd() const { return m_pos == m_data.size(); }
    // The payload must be used up exactly.
    bool end()
    {
        if (!atEnd())
            return fail(std::to_string(m_data.size() - m_pos) + " trailing bytes");
        return true;
    }
    bool fail(const std::string& why)
    {
        if (m_error)
            *m_error = why;
        return false;
    }

protected:
    bool need(std::size_t n)
    {
        if (m_data.size() - m_pos < n)
            return fail(m_shortText);
        return true;
    }

    const Bytes& m_data;
    std::size_t m_pos = 0;

private:
    std::string* m_error;
    const char* m_shortText;
};

} // namespace wire
