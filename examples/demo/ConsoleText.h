// Text for the demo's output: UTF-8 whatever the console's code page, with
// the characters a configuration file escapes shown as escapes.
#pragma once
#include <windows.h>

#include <string>

// Writes one line to standard output as UTF-8.
void Print(const std::wstring& line);
// The text in double quotes, TAB, CR, LF, quotes and backslashes escaped.
std::wstring Visible(const wchar_t* text);
std::wstring HexCode(HRESULT hr);
std::wstring VarTypeName(VARTYPE type);
