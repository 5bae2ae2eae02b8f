// One line of JSON Lines holding a flat object whose members are strings, as
// `quorvexcfg dump` writes them. Strings come back as 16-bit code units:
// \uXXXX escapes give their unit as it stands, so lone surrogates survive.
#pragma once
#include "platform/Platform.h"

#include <map>
#include <string>

class CJsonLine {
public:
    // Parses line; on failure returns false and says why in error.
    bool Parse(const std::string& line, std::string& error);
    // The member's string, or null when the object has no such member.
    const WString* Find(const std::string& name) const;
    bool Has(const std::string& name) const { return m_members.count(name) != 0; }

private:
    bool ParseMember(std::string& error);
    bool ParseString(WString& out, std::string& error);
    bool ParseEscape(WString& out, std::string& error);
    bool ParseHexUnit(WString& out, std::string& error);
    bool ParseUtf8(WString& out, std::string& error);
    void SkipWhite();
    bool Expect(char ch, std::string& error);
    bool AtEnd() const { return m_pos >= m_text->size(); }
    unsigned char Peek() const { return static_cast<unsigned char>((*m_text)[m_pos]); }

    const std::string* m_text = nullptr;
    size_t m_pos = 0;
    std::map<std::string, WString> m_members;
};
