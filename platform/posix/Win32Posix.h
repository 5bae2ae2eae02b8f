// The small part of the Win32 and automation API that the portable core uses,
// for Linux builds: 16-bit characters, length-prefixed BSTRs, VARIANTs holding
// nothing or a BSTR, one-dimensional SAFEARRAYs of BSTR or VARIANT, file
// handles, HRESULTs and the UTF-16 text judgement. Semantics follow Windows
// (ownership, lock counts, error codes); only what the core needs is here.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Basic types -----------------------------------------------------------

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using USHORT = std::uint16_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using INT = int;
using BOOL = int;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using HANDLE = void*;

using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

// ---- HRESULTs and Win32 error codes -----------------------------------------

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#define E_ACCESSDENIED ((HRESULT)0x80070005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008L)
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000DL)
#define DISP_E_BADINDEX ((HRESULT)0x8002000BL)

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define FACILITY_WIN32 7
inline HRESULT HRESULT_FROM_WIN32(unsigned long code) {
    return static_cast<HRESULT>(code) <= 0
               ? static_cast<HRESULT>(code)
               : static_cast<HRESULT>((code & 0x0000FFFFUL) | (FACILITY_WIN32 << 16) | 0x80000000UL);
}

#define NO_ERROR 0UL
#define ERROR_SUCCESS 0UL
#define ERROR_FILE_NOT_FOUND 2UL
#define ERROR_PATH_NOT_FOUND 3UL
#define ERROR_TOO_MANY_OPEN_FILES 4UL
#define ERROR_ACCESS_DENIED 5UL
#define ERROR_INVALID_HANDLE 6UL
#define ERROR_NOT_ENOUGH_MEMORY 8UL
#define ERROR_OUTOFMEMORY 14UL
#define ERROR_WRITE_FAULT 29UL
#define ERROR_READ_FAULT 30UL
#define ERROR_GEN_FAILURE 31UL
#define ERROR_SHARING_VIOLATION 32UL
#define ERROR_HANDLE_EOF 38UL
#define ERROR_FILE_EXISTS 80UL
#define ERROR_INVALID_PARAMETER 87UL
#define ERROR_BROKEN_PIPE 109UL
#define ERROR_DISK_FULL 112UL
#define ERROR_INVALID_NAME 123UL
#define ERROR_NEGATIVE_SEEK 131UL
#define ERROR_ALREADY_EXISTS 183UL
#define ERROR_FILENAME_EXCED_RANGE 206UL
#define ERROR_INSUFFICIENT_BUFFER 122UL

DWORD GetLastError();
void SetLastError(DWORD code);

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200UL
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000UL
#define ERROR_MR_MID_NOT_FOUND 317UL

// The system's text of an error code, in the words Windows uses (US English,
// ending in CR LF), for the codes this layer reports. Only FROM_SYSTEM with
// IGNORE_INSERTS into the caller's buffer; the length written, or 0 with
// ERROR_MR_MID_NOT_FOUND (unknown code) or ERROR_INSUFFICIENT_BUFFER.
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer, DWORD size,
                     void* arguments);

// ---- BSTR --------------------------------------------------------------------

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

// ---- VARIANT -----------------------------------------------------------------

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UI1 = 17,
};

struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        short iVal;
        BYTE bVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        void* byref;
    };
};
using VARIANT = tagVARIANT;
using VARIANTARG = tagVARIANT;

#define V_VT(v) ((v)->vt)
#define V_BSTR(v) ((v)->bstrVal)
#define V_I4(v) ((v)->lVal)
#define V_BOOL(v) ((v)->boolVal)

void VariantInit(VARIANT* v);
// Frees what the variant owns (a BSTR) and leaves it VT_EMPTY. Types that
// hold no resource are simply reset; any other type is DISP_E_BADVARTYPE.
HRESULT VariantClear(VARIANT* v);

// ---- SAFEARRAY (one dimension, elements BSTR or VARIANT) ----------------------

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
};

#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_VARIANT 0x0800

// Only one-dimensional arrays of VT_BSTR or VT_VARIANT; anything else gives null.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* newBound);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* bound);
UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt);

// ---- Files -------------------------------------------------------------------

#define INVALID_HANDLE_VALUE ((HANDLE)(std::intptr_t)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL
#define FILE_SHARE_DELETE 0x00000004UL
#define CREATE_NEW 1UL
#define CREATE_ALWAYS 2UL
#define OPEN_EXISTING 3UL
#define OPEN_ALWAYS 4UL
#define TRUNCATE_EXISTING 5UL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL
#define FILE_BEGIN 0UL
#define FILE_CURRENT 1UL
#define FILE_END 2UL

// Sharing modes, attributes and security are accepted and ignored. Paths are
// UTF-16 and opened as UTF-8. A folder cannot be opened (ERROR_ACCESS_DENIED).
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE h);
DWORD GetFileSize(HANDLE h, DWORD* sizeHigh);
BOOL ReadFile(HANDLE h, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE h, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
DWORD SetFilePointer(HANDLE h, LONG distance, LONG* distanceHigh, DWORD method);
BOOL SetEndOfFile(HANDLE h);
BOOL FlushFileBuffers(HANDLE h);
BOOL DeleteFileW(LPCWSTR path);

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
// Standard input or output; the process owns it: do not close it.
HANDLE GetStdHandle(DWORD which);

// ---- UTF-16 judgement ------------------------------------------------------------

#define IS_TEXT_UNICODE_ASCII16 0x0001
#define IS_TEXT_UNICODE_REVERSE_ASCII16 0x0010
#define IS_TEXT_UNICODE_STATISTICS 0x0002
#define IS_TEXT_UNICODE_REVERSE_STATISTICS 0x0020
#define IS_TEXT_UNICODE_CONTROLS 0x0004
#define IS_TEXT_UNICODE_REVERSE_CONTROLS 0x0040
#define IS_TEXT_UNICODE_SIGNATURE 0x0008
#define IS_TEXT_UNICODE_REVERSE_SIGNATURE 0x0080
#define IS_TEXT_UNICODE_ODD_LENGTH 0x0200
#define IS_TEXT_UNICODE_NULL_BYTES 0x1000

// Judges whether the bytes are UTF-16 little-endian text. On entry *result
// (when given) selects the tests; on return it holds the tests that passed.
//   SIGNATURE:  the data begins FF FE.
//   ASCII16:    every 16-bit unit is a non-zero code below U+0100.
//   STATISTICS: more than half of the units are zero-extended ASCII (U+0001..U+007F).
//   CONTROLS:   some unit is CR, LF, TAB, space or U+3000.
// The verdict is TRUE for SIGNATURE, ASCII16 or STATISTICS; CONTROLS is
// reported only. As on Windows, only the first 256 units are examined.
// Plain 8-bit text (ASCII, Latin-1) has no zero bytes, so no unit is
// zero-extended and it is judged 8-bit; UTF-16LE of mostly ASCII characters
// has a zero high byte in most units. Fewer than 2 bytes: FALSE.
BOOL IsTextUnicode(const void* data, int size, int* result);
