#include "platform/Utf8.h"

#include <cstdint>

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(WString& out, std::uint32_t c) {
    if (c < 0x10000) {
        out += static_cast<WCHAR>(c);
    } else {
        out += static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
}

bool IsHigh(std::uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(std::uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The code point of one UTF-8 sequence at text[i], advancing i; U+FFFD for a
// malformed, overlong or surrogate sequence (one byte consumed).
std::uint32_t DecodeOne(const std::string& text, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    size_t extra;
    std::uint32_t c;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        c = lead & 0x07;
    } else {
        ++i;
        return kReplacement;
    }
    for (size_t k = 1; k <= extra; ++k) {
        if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    static const std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (c < smallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += extra + 1;
    return c;
}

}  // namespace

std::string CUtf8::FromUtf16(const WString& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (IsHigh(c) || IsLow(c)) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

WString CUtf8::ToUtf16(const std::string& text) {
    WString out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) AppendUtf16(out, DecodeOne(text, i));
    return out;
}
