// The registrar script: a tree of registry keys with their values, parsed
// from text such as
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {...} = s 'Name'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'both'
//               }
//           }
//       }
//   }
//
// Strings are single-quoted, a quote inside doubled. %NAME% stands for a
// replacement given to the parser; %% for a percent sign.
#pragma once
#include "platform/Platform.h"

#include <map>
#include <vector>

// Names in scripts (roots, replacements) match without regard to case: a
// name's upper-case form is its key.
WString ToUpper(WString text);

struct CRegistryValue {
    WString strName;
    WString strData;
};

struct CRegistryKey {
    WString strName;
    bool bNoRemove = false;     // never removed when unregistering
    bool bForceRemove = false;  // deleted whole before registering
    bool bHasDefault = false;
    WString strDefault;
    std::vector<CRegistryValue> values;
    std::vector<CRegistryKey> subkeys;
};

struct CRegistryRoot {
    WString strName;  // e.g. HKCR
    std::vector<CRegistryKey> keys;
};

class CRegistryScript {
public:
    // Case-insensitive replacement names, e.g. "Module".
    void AddReplacement(const WString& name, const WString& value);

    // Parses text into roots; on a syntax error returns DISP_E_EXCEPTION and
    // describes it in ErrorText().
    HRESULT Parse(const WString& text);

    const std::vector<CRegistryRoot>& Roots() const { return m_roots; }
    const WString& ErrorText() const { return m_strError; }

private:
    struct CToken {
        WString strText;
        bool bQuoted = false;
        bool Is(const WCHAR* word) const;
    };

    bool Expand(const WString& text, WString& expanded);
    bool Tokenize(const WString& text);
    bool ParseRoot(CRegistryRoot& root);
    bool ParseKey(CRegistryKey& key);
    bool ParseKeyBody(CRegistryKey& key);
    bool ParseValue(WString& data);
    bool Next(CToken& token);
    bool Expect(const WCHAR* word);
    bool PeekIs(const WCHAR* word) const;
    bool Fail(const WString& message);

    std::map<WString, WString> m_replacements;  // keys in upper case
    std::vector<CToken> m_tokens;
    size_t m_nPos = 0;
    std::vector<CRegistryRoot> m_roots;
    WString m_strError;
};
