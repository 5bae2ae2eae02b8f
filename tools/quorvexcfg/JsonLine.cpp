#include "tools/quorvexcfg/JsonLine.h"

namespace {

int HexValue(unsigned char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

void AppendCodePoint(WString& out, unsigned long code) {
    if (code < 0x10000) {
        out.push_back(static_cast<WCHAR>(code));
        return;
    }
    code -= 0x10000;
    out.push_back(static_cast<WCHAR>(0xD800 + (code >> 10)));
    out.push_back(static_cast<WCHAR>(0xDC00 + (code & 0x3FF)));
}

// A member name, kept as UTF-8: the names this tool looks up are ASCII.
std::string Narrow(const WString& text) {
    std::string out;
    for (WCHAR ch : text) out.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
    return out;
}

}  // namespace

bool CJsonLine::Parse(const std::string& line, std::string& error) {
    m_text = &line;
    m_pos = 0;
    m_members.clear();
    SkipWhite();
    if (!Expect('{', error)) return false;
    SkipWhite();
    if (!AtEnd() && Peek() == '}') {
        ++m_pos;
    } else {
        for (;;) {
            if (!ParseMember(error)) return false;
            SkipWhite();
            if (!AtEnd() && Peek() == ',') { ++m_pos; continue; }
            if (!Expect('}', error)) return false;
            break;
        }
    }
    SkipWhite();
    if (!AtEnd()) {
        error = "text after the object";
        return false;
    }
    return true;
}

const WString* CJsonLine::Find(const std::string& name) const {
    auto it = m_members.find(name);
    return it == m_members.end() ? nullptr : &it->second;
}

bool CJsonLine::ParseMember(std::string& error) {
    SkipWhite();
    WString name;
    if (!ParseString(name, error)) return false;
    SkipWhite();
    if (!Expect(':', error)) return false;
    SkipWhite();
    WString value;
    if (!AtEnd() && Peek() != '"') {
        error = "member \"" + Narrow(name) + "\" is not a string";
        return false;
    }
    if (!ParseString(value, error)) return false;
    if (!m_members.emplace(Narrow(name), value).second) {
        error = "member \"" + Narrow(name) + "\" given twice";
        return false;
    }
    return true;
}

bool CJsonLine::ParseString(WString& out, std::string& error) {
    if (!Expect('"', error)) return false;
    for (;;) {
        if (AtEnd()) {
            error = "unterminated string";
            return false;
        }
        unsigned char ch = Peek();
        if (ch == '"') {
            ++m_pos;
            return true;
        }
        if (ch < 0x20) {
            error = "control character inside a string";
            return false;
        }
        if (ch == '\\') {
            if (!ParseEscape(out, error)) return false;
        } else if (ch < 0x80) {
            out.push_back(ch);
            ++m_pos;
        } else if (!ParseUtf8(out, error)) {
            return false;
        }
    }
}

bool CJsonLine::ParseEscape(WString& out, std::string& error) {
    ++m_pos;  // the backslash
    if (AtEnd()) {
        error = "unterminated string";
        return false;
    }
    char ch = static_cast<char>(Peek());
    ++m_pos;
    switch (ch) {
    case '"': out.push_back('"'); return true;
    case '\\': out.push_back('\\'); return true;
    case '/': out.push_back('/'); return true;
    case 'b': out.push_back(0x08); return true;
    case 'f': out.push_back(0x0C); return true;
    case 'n': out.push_back(0x0A); return true;
    case 'r': out.push_back(0x0D); return true;
    case 't': out.push_back(0x09); return true;
    case 'u': return ParseHexUnit(out, error);
    default:
        error = std::string("unknown escape \\") + ch;
        return false;
    }
}

bool CJsonLine::ParseHexUnit(WString& out, std::string& error) {
    unsigned unit = 0;
    for (int i = 0; i < 4; ++i, ++m_pos) {
        int digit = AtEnd() ? -1 : HexValue(Peek());
        if (digit < 0) {
            error = "\\u needs four hex digits";
            return false;
        }
        unit = unit * 16 + static_cast<unsigned>(digit);
    }
    out.push_back(static_cast<WCHAR>(unit));
    return true;
}

bool CJsonLine::ParseUtf8(WString& out, std::string& error) {
    unsigned char lead = Peek();
    int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    if (lead >= 0xF5) extra = -1;
    unsigned long code = extra == 3 ? lead & 0x07 : extra == 2 ? lead & 0x0F : lead & 0x1F;
    ++m_pos;
    for (int i = 0; i < extra; ++i, ++m_pos) {
        if (AtEnd() || (Peek() & 0xC0) != 0x80) {
            extra = -1;
            break;
        }
        code = (code << 6) | (Peek() & 0x3F);
    }
    bool overlong = (extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000);
    if (extra < 0 || overlong || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
        error = "invalid UTF-8";
        return false;
    }
    AppendCodePoint(out, code);
    return true;
}

void CJsonLine::SkipWhite() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\r' || Peek() == '\n')) ++m_pos;
}

bool CJsonLine::Expect(char ch, std::string& error) {
    if (AtEnd() || Peek() != static_cast<unsigned char>(ch)) {
        error = std::string("expected '") + ch + "'";
        return false;
    }
    ++m_pos;
    return true;
}
