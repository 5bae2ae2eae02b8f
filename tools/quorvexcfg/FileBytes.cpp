#include "tools/quorvexcfg/FileBytes.h"

#include "platform/FileHandle.h"
#include "platform/Win32Error.h"

namespace {

HRESULT ReadToEnd(HANDLE input, std::string& bytes) {
    bytes.clear();
    char chunk[64 * 1024];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(input, chunk, sizeof chunk, &count, nullptr)) {
            // Windows ends a pipe whose writer has closed with this error.
            if (GetLastError() == ERROR_BROKEN_PIPE) return S_OK;
            return HResultFromLastError(ERROR_READ_FAULT);
        }
        if (count == 0) return S_OK;
        bytes.append(chunk, count);
    }
}

HRESULT WriteAll(HANDLE output, const std::string& bytes) {
    DWORD written = 0;
    if (!WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return HResultFromLastError(ERROR_WRITE_FAULT);
    return written == bytes.size() ? S_OK : HResultFromWin32Error(ERROR_WRITE_FAULT);
}

}  // namespace

HRESULT CFileBytes::Read(const WString& path, std::string& bytes) {
    if (IsStandardStream(path)) return ReadToEnd(GetStdHandle(STD_INPUT_HANDLE), bytes);
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return HResultFromLastError();
    return ReadToEnd(file.Get(), bytes);
}

HRESULT CFileBytes::Write(const WString& path, const std::string& bytes) {
    if (IsStandardStream(path)) return WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file.IsValid()) return HResultFromLastError();
    return WriteAll(file.Get(), bytes);
}
