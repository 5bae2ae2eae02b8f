// Helpers shared by the tests of the server and of the ConfigFile object.
#pragma once
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "platform/Platform.h"

#include <string>
#include <vector>

namespace testsupport {

// COM for the calling thread, for the test's lifetime.
class CComInit {
public:
    CComInit() { m_hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~CComInit() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    CComInit(const CComInit&) = delete;
    CComInit& operator=(const CComInit&) = delete;

private:
    HRESULT m_hr;
};

// Folder of the running test program, with a trailing backslash.
WString ProgramFolder();
// Quorvex3.dll beside the test program.
WString Quorvex3Path();

// The calling thread's error information, taken (and so cleared).
struct CErrorSnapshot {
    bool bPresent = false;
    WString strDescription;
    WString strSource;
    GUID guid = GUID_NULL;
};
CErrorSnapshot TakeErrorInfo();
void ClearErrorInfo();

// A fresh folder under the temporary folder, deleted with what it holds.
class CTempFolder {
public:
    explicit CTempFolder(const WString& prefix = L"quorvex");
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;
    const WString& Path() const { return m_strPath; }
    WString File(const WString& name) const { return m_strPath + L"\\" + name; }

private:
    WString m_strPath;
};

bool FileExists(const WString& path);
bool WriteBytes(const WString& path, const std::string& bytes);
std::string ReadBytes(const WString& path);

// Registry reading: a missing key or value reads as not found.
bool KeyExists(HKEY root, const WString& path);
bool ReadString(HKEY root, const WString& path, const WCHAR* valueName, WString& value);
std::vector<WString> SubkeyNames(HKEY root, const WString& path);
std::vector<WString> ValueNames(HKEY root, const WString& path);

// Runs a program of the prefix (e.g. regsvr32) and returns its exit code.
DWORD RunProgram(const WString& commandLine, const WString& folder = WString());

std::string Narrow(const WString& text);

}  // namespace testsupport
