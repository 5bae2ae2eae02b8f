#include "tools/quorvexcfg/ConfigTextAssembler.h"

#include "configfile/TagLineFormat.h"

namespace {

bool IsOneOf(const WString& token, const char* codes) {
    if (token.size() != 1) return false;
    for (const char* c = codes; *c; ++c)
        if (token[0] == static_cast<WCHAR>(*c)) return true;
    return false;
}

}  // namespace

bool CConfigTextAssembler::Add(const CJsonLine& record, std::string& error) {
    if (record.Has("error")) {
        error = "the dump ends in an error: its file was refused";
        return false;
    }
    const WString* token = record.Find("token");
    if (!token) {
        error = "no \"token\" member";
        return false;
    }
    if (IsOneOf(*token, "v")) return AddVersion(record, error);
    if (!m_bHasVersion) {
        error = "the first record must be the version (token \"v\")";
        return false;
    }
    if (IsOneOf(*token, "p")) return AddTag(record, true, error);
    if (IsOneOf(*token, "s")) return AddTag(record, false, error);
    // Comments, ignored and test lines carry no tag: the component never
    // writes them, so a collection read from such a file is written without.
    if (IsOneOf(*token, ";it")) return true;
    error = "unknown token";
    return false;
}

std::string CConfigTextAssembler::Incomplete() const {
    return m_bHasVersion ? std::string() : std::string("no version record");
}

bool CConfigTextAssembler::AddVersion(const CJsonLine& record, std::string& error) {
    if (m_bHasVersion) {
        error = "a second version record";
        return false;
    }
    const WString* version = record.Find("name");
    if (!version) {
        error = "the version record has no \"name\"";
        return false;
    }
    m_strLine.clear();
    CTagLineFormat::StartText(m_strLine, version->c_str());
    CTagLineFormat::AppendLittleEndianBytes(m_strLine, m_bytes);
    m_bHasVersion = true;
    return true;
}

bool CConfigTextAssembler::AddTag(const CJsonLine& record, bool withValue, std::string& error) {
    const WString* id = record.Find("name");
    const WString* value = record.Find("value");
    if (!id) {
        error = "a tag record has no \"name\"";
        return false;
    }
    if (withValue != (value != nullptr)) {
        error = withValue ? "a \"p\" record has no \"value\"" : "an \"s\" record has a \"value\"";
        return false;
    }
    m_strLine.clear();
    CTagLineFormat::AppendTag(m_strLine, id->c_str(), value ? value->c_str() : nullptr);
    CTagLineFormat::AppendLineEnd(m_strLine);
    CTagLineFormat::AppendLittleEndianBytes(m_strLine, m_bytes);
    return true;
}
