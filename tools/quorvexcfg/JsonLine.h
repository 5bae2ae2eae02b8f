// One line of JSON Lines holding a flat object whose members are strings, as
// `quorvexcfg dump` writes them. Strings come back as 16-bit code units: a
// \uXXXX escape of a lone low surrogate gives its unit as it stands.
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
    std::map<std::string, WString> m_members;
};
