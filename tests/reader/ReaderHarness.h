// Runs a reader over given bytes and describes what it produced as short,
// readable strings, so that tests compare whole outcomes in one line each:
//   v[1.4.2]  p[1.0.0.1][abc]  s[1.0.0.1]  ;[text]  t[text]  i[text]
//   parse@2[1.0.0.1="abc]Expected: Closing quote
// Characters outside printable ASCII are written \uXXXX, a backslash \\.
#pragma once
#include "platform/Bstr.h"
#include "reader/ConfigReader.h"
#include "tests/support/TempFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace reader_test {

using testsupport::CTempFile;

inline std::string Show(const WString& text) {
    std::string shown;
    for (WCHAR c : text) {
        if (c == '\\') {
            shown += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            shown += escape;
        }
    }
    return shown;
}

template <class E>
std::string ShowError(const char* kind, const E& e) {
    return std::string(kind) + "@" + std::to_string(e.m_nLine) + "[" + Show(e.m_strLineText) + "]" +
           Show(e.m_strMessage);
}

inline std::string ShowToken(WCHAR token, const CBstr& name, const CBstr& value) {
    if (name.IsNull() || value.IsNull()) return "null string for token " + std::string(1, char(token));
    std::string shown = std::string(1, static_cast<char>(token)) + "[" + Show(name.ToString()) + "]";
    if (token == CConfigReader::TOKEN_TAG_VALUE || value.Length() != 0) shown += "[" + Show(value.ToString()) + "]";
    return shown;
}

// Scans to the end of input or the first exception.
inline std::vector<std::string> ScanFile(HANDLE file) {
    std::vector<std::string> outcome;
    CConfigReader reader(file);
    const HRESULT hr = reader.Init();
    if (FAILED(hr)) {
        char code[32];
        std::snprintf(code, sizeof code, "Init 0x%08X", static_cast<unsigned>(hr));
        return {code};
    }
    try {
        for (int guard = 0; guard < 100000; ++guard) {
            CBstr name, value;
            const WCHAR token = reader.Scan(name.Out(), value.Out());
            if (token == CConfigReader::TOKEN_END_OF_FILE) {
                if (!name.IsNull() || !value.IsNull()) outcome.push_back("strings written at the end");
                return outcome;
            }
            outcome.push_back(ShowToken(token, name, value));
        }
        outcome.push_back("no end of input");
    } catch (const CConfigReader::parse_exception& e) {
        outcome.push_back(ShowError("parse", e));
    } catch (const CConfigReader::new_dovel_required_exception& e) {
        outcome.push_back(ShowError("newer", e));
    } catch (const CConfigReader::unexpected_exception& e) {
        outcome.push_back(ShowError("unexpected", e));
    }
    return outcome;
}

inline std::vector<std::string> ScanBytes(const std::string& bytes) {
    CTempFile temp(bytes);
    CFileHandle file = temp.OpenForReading();
    if (!file.IsValid()) return {"cannot open the test file"};
    return ScanFile(file.Get());
}

// Each 8-bit character as one little-endian 16-bit unit (Latin-1 to UTF-16).
inline std::string Utf16(const std::string& latin1) {
    std::string bytes;
    for (char c : latin1) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

const std::string kMark = "\xFF\xFE";

}  // namespace reader_test
