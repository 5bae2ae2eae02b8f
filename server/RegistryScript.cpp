#include "server/RegistryScript.h"

#include "platform/CharClass.h"

// ASCII only: the names are ours, and towupper would follow the host
// program's C locale beyond ASCII.
WString ToUpper(WString text) {
    for (WCHAR& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<WCHAR>(c - 'a' + 'A');
    return text;
}

namespace {

bool EqualNoCase(const WString& a, const WCHAR* b) { return lstrcmpiW(a.c_str(), b) == 0; }

}  // namespace

bool CRegistryScript::CToken::Is(const WCHAR* word) const { return !bQuoted && EqualNoCase(strText, word); }

void CRegistryScript::AddReplacement(const WString& name, const WString& value) {
    m_replacements[ToUpper(name)] = value;
}

HRESULT CRegistryScript::Parse(const WString& text) {
    m_roots.clear();
    m_tokens.clear();
    m_nPos = 0;
    m_strError.clear();
    WString expanded;
    if (!Expand(text, expanded) || !Tokenize(expanded)) return DISP_E_EXCEPTION;
    while (m_nPos < m_tokens.size()) {
        CRegistryRoot root;
        if (!ParseRoot(root)) return DISP_E_EXCEPTION;
        m_roots.push_back(std::move(root));
    }
    return S_OK;
}

bool CRegistryScript::Expand(const WString& text, WString& expanded) {
    expanded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') {
            expanded += text[i];
            continue;
        }
        const size_t end = text.find(L'%', i + 1);
        if (end == WString::npos) return Fail(L"unterminated %");
        const WString name = text.substr(i + 1, end - i - 1);
        if (name.empty()) {
            expanded += L'%';
        } else {
            auto found = m_replacements.find(ToUpper(name));
            if (found == m_replacements.end()) return Fail(L"unknown replacement %" + name + L"%");
            expanded += found->second;
        }
        i = end;
    }
    return true;
}

bool CRegistryScript::Tokenize(const WString& text) {
    size_t i = 0;
    while (i < text.size()) {
        if (CCharClass::IsSpace(text[i])) {
            ++i;
            continue;
        }
        CToken token;
        if (text[i] == L'\'') {
            token.bQuoted = true;
            for (++i;; ++i) {
                if (i >= text.size()) return Fail(L"unterminated string");
                if (text[i] == L'\'') {
                    if (i + 1 < text.size() && text[i + 1] == L'\'') {
                        token.strText += L'\'';
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    token.strText += text[i];
                }
            }
        } else {
            while (i < text.size() && !CCharClass::IsSpace(text[i])) token.strText += text[i++];
        }
        m_tokens.push_back(std::move(token));
    }
    return true;
}

bool CRegistryScript::ParseRoot(CRegistryRoot& root) {
    CToken name;
    if (!Next(name)) return false;
    if (name.bQuoted || name.Is(L"{") || name.Is(L"}")) return Fail(L"root key name expected at " + name.strText);
    root.strName = name.strText;
    if (!Expect(L"{")) return false;
    while (!PeekIs(L"}")) {
        CRegistryKey key;
        if (!ParseKey(key)) return false;
        root.keys.push_back(std::move(key));
    }
    return Expect(L"}");
}

bool CRegistryScript::ParseKey(CRegistryKey& key) {
    CToken token;
    if (!Next(token)) return false;
    for (;; ) {
        if (token.Is(L"NoRemove"))
            key.bNoRemove = true;
        else if (token.Is(L"ForceRemove"))
            key.bForceRemove = true;
        else
            break;
        if (!Next(token)) return false;
    }
    if (token.Is(L"{") || token.Is(L"}") || token.Is(L"=")) return Fail(L"key name expected at " + token.strText);
    key.strName = token.strText;
    if (PeekIs(L"=")) {
        ++m_nPos;
        if (!ParseValue(key.strDefault)) return false;
        key.bHasDefault = true;
    }
    if (PeekIs(L"{")) {
        ++m_nPos;
        if (!ParseKeyBody(key)) return false;
    }
    return true;
}

bool CRegistryScript::ParseKeyBody(CRegistryKey& key) {
    while (!PeekIs(L"}")) {
        if (PeekIs(L"val")) {
            ++m_nPos;
            CRegistryValue value;
            CToken name;
            if (!Next(name)) return false;
            value.strName = name.strText;
            if (!Expect(L"=") || !ParseValue(value.strData)) return false;
            key.values.push_back(std::move(value));
        } else {
            CRegistryKey subkey;
            if (!ParseKey(subkey)) return false;
            key.subkeys.push_back(std::move(subkey));
        }
    }
    return Expect(L"}");
}

bool CRegistryScript::ParseValue(WString& data) {
    CToken type;
    if (!Next(type)) return false;
    if (!type.Is(L"s")) return Fail(L"value type s expected at " + type.strText);
    CToken text;
    if (!Next(text)) return false;
    if (!text.bQuoted) return Fail(L"quoted string expected at " + text.strText);
    data = text.strText;
    return true;
}

bool CRegistryScript::Next(CToken& token) {
    if (m_nPos >= m_tokens.size()) return Fail(L"unexpected end of script");
    token = m_tokens[m_nPos++];
    return true;
}

bool CRegistryScript::Expect(const WCHAR* word) {
    CToken token;
    if (!Next(token)) return false;
    if (!token.Is(word)) return Fail(WString(word) + L" expected at " + token.strText);
    return true;
}

bool CRegistryScript::PeekIs(const WCHAR* word) const {
    return m_nPos < m_tokens.size() && m_tokens[m_nPos].Is(word);
}

bool CRegistryScript::Fail(const WString& message) {
    m_strError = message;
    return false;
}
