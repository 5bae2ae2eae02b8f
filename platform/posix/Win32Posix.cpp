// Linux implementation of the Win32 subset declared in Win32Posix.h.
#include "platform/posix/Win32Posix.h"

#include "platform/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

thread_local DWORD t_lastError = NO_ERROR;

// ---- BSTR layout: a 32-bit byte count, the characters, a null character -----

constexpr std::size_t kBstrHeader = sizeof(std::uint32_t);

std::uint32_t* BstrHeader(BSTR bstr) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(bstr) - kBstrHeader);
}

std::size_t TextLength(const OLECHAR* text) {
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

// ---- errno to Win32 error codes ------------------------------------------------

DWORD Win32ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EILSEQ: return ERROR_INVALID_NAME;
    default: return ERROR_GEN_FAILURE;
    }
}

BOOL FailWithErrno() {
    t_lastError = Win32ErrorFromErrno(errno);
    return FALSE;
}

// Reading a handle opened only for writing (or the reverse) is EBADF here but
// ERROR_ACCESS_DENIED on Windows; a closed or bogus handle stays invalid.
BOOL FailTransfer(int fd) {
    const int error = errno;
    if (error == EBADF && ::fcntl(fd, F_GETFL) != -1) {
        t_lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    errno = error;
    return FailWithErrno();
}

// Windows' own words for the codes above, so that a message reads the same on
// both systems.
const char* SystemText(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified.";
    case ERROR_TOO_MANY_OPEN_FILES: return "The system cannot open the file.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_INVALID_HANDLE: return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory resources are available to process this command.";
    case ERROR_OUTOFMEMORY: return "Not enough memory resources are available to complete this operation.";
    case ERROR_WRITE_FAULT: return "The system cannot write to the specified device.";
    case ERROR_READ_FAULT: return "The system cannot read from the specified device.";
    case ERROR_GEN_FAILURE: return "A device attached to the system is not functioning.";
    case ERROR_FILE_EXISTS: return "The file exists.";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
    case ERROR_BROKEN_PIPE: return "The pipe has been ended.";
    case ERROR_DISK_FULL: return "There is not enough space on the disk.";
    case ERROR_INVALID_NAME: return "The filename, directory name, or volume label syntax is incorrect.";
    case ERROR_NEGATIVE_SEEK: return "An attempt was made to move the file pointer before the beginning of the file.";
    case ERROR_FILENAME_EXCED_RANGE: return "The filename or extension is too long.";
    default: return nullptr;
    }
}

// ---- Handles: a file descriptor plus one, so that no valid handle is null ------

HANDLE HandleFromFd(int fd) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1); }

int FdFromHandle(HANDLE h) {
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return -1;
    return static_cast<int>(reinterpret_cast<std::intptr_t>(h) - 1);
}

// UTF-16 to UTF-8; a lone surrogate cannot name a file and fails.
bool Utf8Path(LPCWSTR path, std::string& out) {
    const WString text(path);
    out = CUtf8::FromUtf16(text);
    return CUtf8::ToUtf16(out) == text;
}

// Windows tells a missing folder (ERROR_PATH_NOT_FOUND) from a missing file.
bool FolderExists(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return true;
    struct stat info;
    return ::stat(slash == 0 ? "/" : path.substr(0, slash).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int OpenFlags(DWORD access, DWORD disposition) {
    int flags = O_CLOEXEC;
    bool reads = (access & GENERIC_READ) != 0;
    bool writes = (access & GENERIC_WRITE) != 0;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (disposition) {
    case CREATE_NEW: return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS: return flags | O_CREAT | O_TRUNC;
    case OPEN_EXISTING: return flags;
    case OPEN_ALWAYS: return flags | O_CREAT;
    case TRUNCATE_EXISTING: return flags | O_TRUNC;
    default: return -1;
    }
}

// ---- SAFEARRAY elements ---------------------------------------------------------

VARTYPE ElementType(const SAFEARRAY* psa) {
    return (psa->fFeatures & FADF_BSTR) ? VT_BSTR : VT_VARIANT;
}

void FreeElements(SAFEARRAY* psa, ULONG first, ULONG end) {
    if (ElementType(psa) == VT_BSTR) {
        BSTR* items = static_cast<BSTR*>(psa->pvData);
        for (ULONG i = first; i < end; ++i) SysFreeString(std::exchange(items[i], nullptr));
    } else {
        VARIANT* items = static_cast<VARIANT*>(psa->pvData);
        for (ULONG i = first; i < end; ++i) VariantClear(&items[i]);
    }
}

}  // namespace

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size, void*) {
    const char* text = (flags & FORMAT_MESSAGE_FROM_SYSTEM) ? SystemText(messageId) : nullptr;
    if (!text) {
        t_lastError = ERROR_MR_MID_NOT_FOUND;
        return 0;
    }
    const WString message = CUtf8::ToUtf16(std::string(text) + "\r\n");
    if (!buffer || size <= message.size()) {
        t_lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::copy(message.begin(), message.end(), buffer);
    buffer[message.size()] = 0;
    return static_cast<DWORD>(message.size());
}

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

// ---- BSTR ----------------------------------------------------------------------

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
    if (bytes > std::numeric_limits<std::uint32_t>::max() - kBstrHeader - sizeof(OLECHAR)) return nullptr;
    char* block = static_cast<char*>(std::malloc(kBstrHeader + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    const std::uint32_t byteCount = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &byteCount, kBstrHeader);
    BSTR bstr = reinterpret_cast<BSTR>(block + kBstrHeader);
    if (text) {
        std::memcpy(bstr, text, bytes);
    } else {
        std::memset(bstr, 0, bytes);
    }
    bstr[length] = 0;
    return bstr;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    const std::size_t length = TextLength(text);
    if (length > std::numeric_limits<UINT>::max()) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(length));
}

void SysFreeString(BSTR bstr) {
    if (bstr) std::free(BstrHeader(bstr));
}

UINT SysStringByteLen(BSTR bstr) { return bstr ? *BstrHeader(bstr) : 0; }

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }

// ---- VARIANT -------------------------------------------------------------------

void VariantInit(VARIANT* v) {
    std::memset(v, 0, sizeof(*v));
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    switch (v->vt) {
    case VT_BSTR:
        SysFreeString(v->bstrVal);
        break;
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UI1:
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    VariantInit(v);
    return S_OK;
}

// ---- SAFEARRAY -------------------------------------------------------------------

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds) {
    if (cDims != 1 || !bounds || (vt != VT_BSTR && vt != VT_VARIANT)) return nullptr;
    SAFEARRAY* psa = new (std::nothrow) SAFEARRAY{};
    if (!psa) return nullptr;
    psa->cDims = 1;
    psa->fFeatures = FADF_HAVEVARTYPE | (vt == VT_BSTR ? FADF_BSTR : FADF_VARIANT);
    psa->cbElements = vt == VT_BSTR ? sizeof(BSTR) : sizeof(VARIANT);
    psa->rgsabound[0] = *bounds;
    if (bounds->cElements > 0) {
        // Zero bytes are null BSTRs and VT_EMPTY variants.
        psa->pvData = std::calloc(bounds->cElements, psa->cbElements);
        if (!psa->pvData) {
            delete psa;
            return nullptr;
        }
    }
    return psa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    FreeElements(psa, 0, psa->rgsabound[0].cElements);
    std::free(psa->pvData);
    delete psa;
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* newBound) {
    if (!psa || !newBound) return E_INVALIDARG;
    if (psa->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    const ULONG oldCount = psa->rgsabound[0].cElements;
    const ULONG newCount = newBound->cElements;
    if (newCount == 0) {
        FreeElements(psa, 0, oldCount);
        std::free(std::exchange(psa->pvData, nullptr));
    } else if (newCount < oldCount) {
        FreeElements(psa, newCount, oldCount);
        // A failed shrink keeps the larger block, which is still valid.
        if (void* data = std::realloc(psa->pvData, std::size_t(newCount) * psa->cbElements)) psa->pvData = data;
    } else if (newCount > oldCount) {
        void* data = std::realloc(psa->pvData, std::size_t(newCount) * psa->cbElements);
        if (!data) return E_OUTOFMEMORY;
        std::memset(static_cast<char*>(data) + std::size_t(oldCount) * psa->cbElements, 0,
                    std::size_t(newCount - oldCount) * psa->cbElements);
        psa->pvData = data;
    }
    psa->rgsabound[0] = *newBound;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0xFFFF) return E_UNEXPECTED;
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data) {
    if (!psa || !data) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    *data = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* bound) {
    if (!psa || !bound) return E_INVALIDARG;
    if (dim != 1) return DISP_E_BADINDEX;
    *bound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* bound) {
    if (!psa || !bound) return E_INVALIDARG;
    if (dim != 1) return DISP_E_BADINDEX;
    *bound = static_cast<LONG>(psa->rgsabound[0].lLbound + static_cast<std::int64_t>(psa->rgsabound[0].cElements) - 1);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt) {
    if (!psa || !vt) return E_INVALIDARG;
    *vt = ElementType(psa);
    return S_OK;
}

// ---- Files ---------------------------------------------------------------------

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
    std::string utf8;
    if (!path || !Utf8Path(path, utf8)) {
        t_lastError = ERROR_INVALID_NAME;
        return INVALID_HANDLE_VALUE;
    }
    const int flags = OpenFlags(access, disposition);
    if (flags == -1) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    int fd;
    do fd = ::open(utf8.c_str(), flags, 0666);
    while (fd == -1 && errno == EINTR);
    if (fd == -1) {
        FailWithErrno();
        if (errno == ENOENT && !FolderExists(utf8)) t_lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        t_lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    // Windows reports an existing file that OPEN_ALWAYS/CREATE_ALWAYS opened.
    t_lastError = NO_ERROR;
    return HandleFromFd(fd);
}

BOOL CloseHandle(HANDLE h) {
    const int fd = FdFromHandle(h);
    if (fd < 0) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    return ::close(fd) == 0 ? TRUE : FailWithErrno();
}

DWORD GetFileSize(HANDLE h, DWORD* sizeHigh) {
    struct stat info;
    if (::fstat(FdFromHandle(h), &info) != 0) {
        FailWithErrno();
        return INVALID_FILE_SIZE;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    t_lastError = NO_ERROR;
    return static_cast<DWORD>(size);
}

BOOL ReadFile(HANDLE h, void* buffer, DWORD toRead, DWORD* read, void*) {
    if (read) *read = 0;
    DWORD total = 0;
    while (total < toRead) {
        const ssize_t n = ::read(FdFromHandle(h), static_cast<char*>(buffer) + total, toRead - total);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return FailTransfer(FdFromHandle(h));
        }
        total += static_cast<DWORD>(n);
        if (read) *read = total;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE h, const void* buffer, DWORD toWrite, DWORD* written, void*) {
    if (written) *written = 0;
    DWORD total = 0;
    while (total < toWrite) {
        const ssize_t n = ::write(FdFromHandle(h), static_cast<const char*>(buffer) + total, toWrite - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            return FailTransfer(FdFromHandle(h));
        }
        total += static_cast<DWORD>(n);
        if (written) *written = total;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE h, LONG distance, LONG* distanceHigh, DWORD method) {
    int whence;
    switch (method) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default:
        t_lastError = ERROR_INVALID_PARAMETER;
        return INVALID_SET_FILE_POINTER;
    }
    // Without a high part the distance is a signed 32-bit value, as on Windows.
    const std::int64_t offset = distanceHigh
        ? static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
                                    static_cast<std::uint32_t>(distance))
        : distance;
    const int fd = FdFromHandle(h);
    const off_t here = ::lseek(fd, 0, SEEK_CUR);
    const off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? here : ::lseek(fd, 0, SEEK_END);
    if (here < 0 || base < 0) {
        if (here >= 0) ::lseek(fd, here, SEEK_SET);
        FailWithErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (base + offset < 0) {
        ::lseek(fd, here, SEEK_SET);
        t_lastError = ERROR_NEGATIVE_SEEK;
        return INVALID_SET_FILE_POINTER;
    }
    const off_t position = ::lseek(fd, static_cast<off_t>(base + offset), SEEK_SET);
    if (position < 0) {
        FailWithErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
    t_lastError = NO_ERROR;
    return static_cast<DWORD>(position);
}

BOOL SetEndOfFile(HANDLE h) {
    const int fd = FdFromHandle(h);
    const off_t here = ::lseek(fd, 0, SEEK_CUR);
    if (here < 0) return FailWithErrno();
    return ::ftruncate(fd, here) == 0 ? TRUE : FailWithErrno();
}

BOOL FlushFileBuffers(HANDLE h) { return ::fsync(FdFromHandle(h)) == 0 ? TRUE : FailWithErrno(); }

BOOL DeleteFileW(LPCWSTR path) {
    std::string utf8;
    if (!path || !Utf8Path(path, utf8)) {
        t_lastError = ERROR_INVALID_NAME;
        return FALSE;
    }
    return ::unlink(utf8.c_str()) == 0 ? TRUE : FailWithErrno();
}

HANDLE GetStdHandle(DWORD which) {
    if (which == STD_INPUT_HANDLE) return HandleFromFd(STDIN_FILENO);
    if (which == STD_OUTPUT_HANDLE) return HandleFromFd(STDOUT_FILENO);
    t_lastError = ERROR_INVALID_HANDLE;
    return INVALID_HANDLE_VALUE;
}

// ---- UTF-16 judgement ------------------------------------------------------------

BOOL IsTextUnicode(const void* data, int size, int* result) {
    const int wanted = result ? *result : 0xFFFF;
    if (result) *result = 0;
    if (!data || size < 2) return FALSE;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    // Like the platform's test, judge by the first 256 characters only.
    const int units = size / 2 < 256 ? size / 2 : 256;
    int passed = 0;

    if (bytes[0] == 0xFF && bytes[1] == 0xFE) passed |= IS_TEXT_UNICODE_SIGNATURE;
    if (bytes[0] == 0xFE && bytes[1] == 0xFF) passed |= IS_TEXT_UNICODE_REVERSE_SIGNATURE;

    int zeroExtendedAscii = 0;
    bool allBelow256 = true;
    bool hasControls = false;
    for (int i = 0; i < units; ++i) {
        const unsigned unit = bytes[2 * i] | (unsigned(bytes[2 * i + 1]) << 8);
        if (unit >= 0x01 && unit <= 0x7F) ++zeroExtendedAscii;
        if (unit == 0 || unit > 0xFF) allBelow256 = false;
        if (unit == 0x0D || unit == 0x0A || unit == 0x09 || unit == 0x20 || unit == 0x3000) hasControls = true;
    }
    if (allBelow256) passed |= IS_TEXT_UNICODE_ASCII16;
    if (2 * zeroExtendedAscii > units) passed |= IS_TEXT_UNICODE_STATISTICS;
    if (hasControls) passed |= IS_TEXT_UNICODE_CONTROLS;
    if (size % 2 != 0) passed |= IS_TEXT_UNICODE_ODD_LENGTH;

    passed &= wanted;
    if (result) *result = passed;
    return (passed & (IS_TEXT_UNICODE_SIGNATURE | IS_TEXT_UNICODE_ASCII16 | IS_TEXT_UNICODE_STATISTICS)) != 0;
}
