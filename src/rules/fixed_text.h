// A text of at most 255 bytes in the platform's 8-bit code page (code page 932
// in the program), kept in a 256-byte buffer and compared byte for byte. The
// bytes are never converted.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace torvane {

class FixedText {
public:
    static constexpr std::size_t kCapacity = 256;        // bytes, with the NUL
    static constexpr std::size_t kMaxLength = kCapacity - 1;

    FixedText() { bytes_.fill('\0'); }
    explicit FixedText(std::string_view text) : FixedText() { assign(text); }

    // Keeps the first 255 bytes; a NUL ends the text, since the buffer is a C string.
    void assign(std::string_view text) {
        std::size_t n = text.size() < kMaxLength ? text.size() : kMaxLength;
        if (n > 0) {  // an empty view may have no data at all
            const void* nul = std::memchr(text.data(), '\0', n);
            if (nul != nullptr) n = static_cast<std::size_t>(static_cast<const char*>(nul) - text.data());
            std::memcpy(bytes_.data(), text.data(), n);
        }
        std::memset(bytes_.data() + n, 0, kCapacity - n);
    }

    std::string_view view() const { return std::string_view(bytes_.data()); }
    const char* c_str() const { return bytes_.data(); }
    bool empty() const { return bytes_[0] == '\0'; }

    // Whole-string byte equality with a NUL-terminated window text.
    bool equals(const char* other) const { return std::strcmp(bytes_.data(), other) == 0; }

    friend bool operator==(const FixedText& a, const FixedText& b) { return a.view() == b.view(); }

private:
    std::array<char, kCapacity> bytes_;
};

}  // namespace torvane
