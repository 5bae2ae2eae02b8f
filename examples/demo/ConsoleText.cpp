#include "ConsoleText.h"

#include <cstdio>
#include <cwchar>

void Print(const std::wstring& line) {
    const std::wstring text = line + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

std::wstring Visible(const wchar_t* text) {
    std::wstring out = L"\"";
    for (const wchar_t* p = text ? text : L""; *p; ++p) {
        switch (*p) {
            case L'\t': out += L"\\t"; break;
            case L'\r': out += L"\\r"; break;
            case L'\n': out += L"\\n"; break;
            case L'"': out += L"\\\""; break;
            case L'\\': out += L"\\\\"; break;
            default: out += *p;
        }
    }
    return out + L"\"";
}

std::wstring HexCode(HRESULT hr) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

std::wstring VarTypeName(VARTYPE type) {
    switch (type) {
        case VT_BSTR: return L"string  ";
        case VT_I4: return L"long    ";
        case VT_R8: return L"double  ";
        case VT_BOOL: return L"boolean ";
        case VT_DATE: return L"date    ";
        case VT_CY: return L"currency";
        default: return L"type " + std::to_wstring(type);
    }
}
