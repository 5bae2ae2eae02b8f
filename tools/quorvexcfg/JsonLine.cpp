#include "tools/quorvexcfg/JsonLine.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

namespace {

// The target encoding: 16-bit units, where a \u escape of a lone low
// surrogate is kept as that unit (the dump writes such units that way).
struct CodeUnits : rapidjson::UTF16<WCHAR> {
    template <typename OutputStream>
    static void Encode(OutputStream& os, unsigned codepoint) {
        if (codepoint <= 0xFFFF) {
            os.Put(static_cast<WCHAR>(codepoint));
            return;
        }
        rapidjson::UTF16<WCHAR>::Encode(os, codepoint);
    }
};

using Document = rapidjson::GenericDocument<CodeUnits>;
using Value = rapidjson::GenericValue<CodeUnits>;

WString Units(const Value& string) { return WString(string.GetString(), string.GetStringLength()); }

// A member name, kept narrow: the names this tool looks up are ASCII.
std::string Narrow(const Value& name) {
    std::string out;
    for (WCHAR ch : Units(name)) out.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
    return out;
}

}  // namespace

bool CJsonLine::Parse(const std::string& line, std::string& error) {
    m_members.clear();
    Document document;
    document.Parse<rapidjson::kParseValidateEncodingFlag, rapidjson::UTF8<>>(line.data(), line.size());
    if (document.HasParseError()) {
        error = std::string(rapidjson::GetParseError_En(document.GetParseError())) + " (column " +
                std::to_string(document.GetErrorOffset() + 1) + ")";
        return false;
    }
    if (!document.IsObject()) {
        error = "not a JSON object";
        return false;
    }
    for (auto member = document.MemberBegin(); member != document.MemberEnd(); ++member) {
        const std::string name = Narrow(member->name);
        if (!member->value.IsString()) {
            error = "member \"" + name + "\" is not a string";
            return false;
        }
        if (!m_members.emplace(name, Units(member->value)).second) {
            error = "member \"" + name + "\" given twice";
            return false;
        }
    }
    return true;
}

const WString* CJsonLine::Find(const std::string& name) const {
    auto it = m_members.find(name);
    return it == m_members.end() ? nullptr : &it->second;
}
