// genHResultAsString and testIErrorInfoGenerated.
#include "contracts/Log.h"

#include "platform/ComPtr.h"
#include "platform/Platform.h"

#include <cstdio>

namespace utility {
namespace {

// The system's message text for code, without trailing line breaks; empty
// when the system has none.
std::wstring SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer),
        0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

std::wstring MessageOf(HRESULT hr) {
    std::wstring text = SystemMessage(static_cast<DWORD>(hr));
    // Some systems know a Win32 error only by its own code, not as an HRESULT.
    if (text.empty() && HRESULT_FACILITY(hr) == FACILITY_WIN32)
        text = SystemMessage(HRESULT_CODE(hr));
    return text;
}

}  // namespace

std::wstring genHResultAsString(HRESULT hr) {
    wchar_t code[16];
    _snwprintf(code, sizeof code / sizeof code[0], L"0x%08X", static_cast<unsigned>(hr));
    code[sizeof code / sizeof code[0] - 1] = L'\0';
    std::wstring text(code);
    const std::wstring message = MessageOf(hr);
    if (!message.empty()) text += L" " + message;
    return text;
}

bool testIErrorInfoGenerated() {
    CComPtr<IErrorInfo> errorInfo;
    // Reading takes the error information from the thread: put it back.
    if (GetErrorInfo(0, errorInfo.Out()) != S_OK || !errorInfo) return false;
    SetErrorInfo(0, errorInfo.Get());
    return true;
}

}  // namespace utility
