// Little-endian field writers for the bitmap formats: each header is built
// field by field with these, so the code reads like the layout it writes.
// And where the writers send their bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace lumarin {

// The writers convert and send a file about this much at a time, so that no
// buffer grows with the image.
inline constexpr std::size_t kWriteChunkBytes = 1 << 20;

// Takes the bytes of a file in order: a vector for encode_*, the
// replacement file for save_*.
using ByteSink = std::function<void(std::span<const std::byte>)>;

class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::byte>& out) : out_(out) {}

    void u8(std::uint8_t v) { out_.push_back(static_cast<std::byte>(v)); }
    void u16(std::uint16_t v)
    {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }

private:
    std::vector<std::byte>& out_;
};

}  // namespace lumarin
