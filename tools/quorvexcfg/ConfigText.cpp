#include "tools/quorvexcfg/ConfigText.h"

#include "configfile/TagLineFormat.h"
#include "platform/Utf8.h"

#include <climits>

namespace {

WString LittleEndianUnits(const std::string& bytes, std::size_t start) {
    WString units;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<WCHAR>(static_cast<BYTE>(bytes[i]) | (static_cast<BYTE>(bytes[i + 1]) << 8)));
    return units;
}

// The reader's own test for text without the mark.
bool JudgedUtf16(const std::string& bytes) {
    int flags = IS_TEXT_UNICODE_ASCII16 | IS_TEXT_UNICODE_STATISTICS | IS_TEXT_UNICODE_CONTROLS |
                IS_TEXT_UNICODE_SIGNATURE;
    const int tested = bytes.size() > INT_MAX ? INT_MAX - 1 : static_cast<int>(bytes.size());
    return IsTextUnicode(bytes.data(), tested, &flags) != 0;
}

bool IsUtf8(const std::string& bytes) {
    return bytes.find('\0') == std::string::npos && CUtf8::FromUtf16(CUtf8::ToUtf16(bytes)) == bytes;
}

}  // namespace

CConfigText::CConfigText(const std::string& bytes) {
    const bool mark = bytes.size() >= 2 && static_cast<BYTE>(bytes[0]) == 0xFF && static_cast<BYTE>(bytes[1]) == 0xFE;
    if (mark) {
        m_chars = LittleEndianUnits(bytes, 2);
    } else if (IsUtf8(bytes)) {
        m_bUtf8 = true;
        for (WCHAR ch : CUtf8::ToUtf16(bytes)) {
            if (ch == '\n' && (m_chars.empty() || m_chars.back() != '\r')) {
                m_bLfLineEnds = true;
                m_chars.push_back('\r');
            }
            m_chars.push_back(ch);
        }
    } else if (JudgedUtf16(bytes)) {
        m_chars = LittleEndianUnits(bytes, 0);
    } else {
        m_chars.assign(bytes.begin(), bytes.end());
        for (WCHAR& ch : m_chars) ch &= 0xFF;  // each byte one character, no code page
    }
}

std::string CConfigText::ReaderBytes() const {
    std::string bytes;
    CTagLineFormat::AppendLittleEndianBytes(WString(1, CTagLineFormat::BYTE_ORDER_MARK) + m_chars, bytes);
    return bytes;
}

std::string CConfigText::Encode(const WString& chars) const {
    if (!m_bUtf8) {
        std::string bytes;
        CTagLineFormat::AppendLittleEndianBytes(WString(1, CTagLineFormat::BYTE_ORDER_MARK) + chars, bytes);
        return bytes;
    }
    const std::string text = CUtf8::FromUtf16(chars);
    if (!m_bLfLineEnds) return text;
    std::string lf;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf.push_back(text[i]);
    return lf;
}
