// A fresh folder under the temporary folder, and the bytes of files in it.
#pragma once
#include "platform/Platform.h"

#include <string>

namespace testsupport {

// Deleted with what it holds.
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
// The bytes of a file holding text as UTF-16LE after its byte order mark.
std::string Utf16FileBytes(const WString& text);

}  // namespace testsupport
