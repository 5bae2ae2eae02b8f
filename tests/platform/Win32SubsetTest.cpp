// The platform calls the core relies on, with the semantics it relies on. The
// same cases run against the Linux stand-in and against Windows (Wine), so a
// difference between the two shows up here rather than deep in the reader.
#include "platform/Bstr.h"
#include "platform/FileHandle.h"
#include "platform/SafeArray.h"
#include "platform/Variant.h"
#include "tests/support/TempFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::CTempFile;

const WCHAR kAbc[] = {'a', 'b', 'c', 0};

// ---- HRESULTs and strings -----------------------------------------------------

TEST(Win32Subset, HresultsBstrLengthsAndVariantClear) {
    EXPECT_EQ(S_OK, HRESULT_FROM_WIN32(0));
    EXPECT_EQ(static_cast<HRESULT>(0x80070002), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(static_cast<HRESULT>(0x80070020), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(FAILED(E_OUTOFMEMORY));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));

    CBstr s(kAbc);
    EXPECT_EQ(3u, SysStringLen(s));
    EXPECT_EQ(6u, SysStringByteLen(s));
    EXPECT_EQ(0, s.Get()[3]);
    EXPECT_EQ(0u, SysStringLen(nullptr));
    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    CBstr empty(kAbc, 0);
    ASSERT_FALSE(empty.IsNull());
    EXPECT_EQ(0u, empty.Length());

    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(VT_EMPTY, V_VT(&v));
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(kAbc);
    EXPECT_EQ(S_OK, VariantClear(&v));
    EXPECT_EQ(VT_EMPTY, V_VT(&v));
    EXPECT_EQ(S_OK, VariantClear(&v));
}

// ---- SAFEARRAY ----------------------------------------------------------------------

// Fills every element with a string, or tells whether one is empty, whatever the element type.
void FillWithStrings(SAFEARRAY* psa, ULONG count) {
    void* data = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAccessData(psa, &data));
    for (ULONG i = 0; i < count; ++i) {
        if (psa->fFeatures & FADF_BSTR) {
            static_cast<BSTR*>(data)[i] = SysAllocString(kAbc);
        } else {
            V_VT(&static_cast<VARIANT*>(data)[i]) = VT_BSTR;
            V_BSTR(&static_cast<VARIANT*>(data)[i]) = SysAllocString(kAbc);
        }
    }
    SafeArrayUnaccessData(psa);
}

bool ElementIsEmpty(SAFEARRAY* psa, ULONG i) {
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &data))) return false;
    const bool empty = psa->fFeatures & FADF_BSTR ? static_cast<BSTR*>(data)[i] == nullptr
                                                   : V_VT(&static_cast<VARIANT*>(data)[i]) == VT_EMPTY;
    SafeArrayUnaccessData(psa);
    return empty;
}

LONG UpperBound(SAFEARRAY* psa) {
    LONG bound = -99;
    EXPECT_EQ(S_OK, SafeArrayGetUBound(psa, 1, &bound));
    return bound;
}

CSafeArray Vector(VARTYPE vt, ULONG count) {
    SAFEARRAYBOUND bound{count, 0};
    return CSafeArray(SafeArrayCreate(vt, 1, &bound));
}

TEST(Win32Subset, SafeArraysOfStringsAndVariants) {
    const struct {
        VARTYPE vt;
        UINT elementSize;
    } kinds[] = {{VT_BSTR, sizeof(BSTR)}, {VT_VARIANT, sizeof(VARIANT)}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.vt);
        // Shape and type.
        CSafeArray array = Vector(kind.vt, 4);
        ASSERT_NE(nullptr, array.Get());
        EXPECT_EQ(1u, SafeArrayGetDim(array.Get()));
        EXPECT_EQ(kind.elementSize, SafeArrayGetElemsize(array.Get()));
        VARTYPE vt = VT_EMPTY;
        EXPECT_EQ(S_OK, SafeArrayGetVartype(array.Get(), &vt));
        EXPECT_EQ(kind.vt, vt);
        LONG lower = -99;
        EXPECT_EQ(S_OK, SafeArrayGetLBound(array.Get(), 1, &lower));
        EXPECT_EQ(0, lower);
        EXPECT_EQ(3, UpperBound(array.Get()));
        EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetUBound(array.Get(), 2, &lower));
        EXPECT_TRUE(ElementIsEmpty(array.Get(), 3));

        // A lock prevents destroying and resizing until it is undone.
        EXPECT_EQ(E_UNEXPECTED, SafeArrayUnlock(array.Get()));
        ASSERT_EQ(S_OK, SafeArrayLock(array.Get()));
        ASSERT_EQ(S_OK, SafeArrayLock(array.Get()));
        SAFEARRAYBOUND six{6, 0};
        EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayRedim(array.Get(), &six));
        EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(array.Get()));
        EXPECT_EQ(S_OK, SafeArrayUnlock(array.Get()));
        EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(array.Get()));
        EXPECT_EQ(S_OK, SafeArrayUnlock(array.Get()));

        // Shrinking frees the strings that fall off (a leak checker sees any
        // that are not); growing keeps the survivors and adds empty elements.
        ASSERT_EQ(S_OK, SafeArrayRedim(array.Get(), &six));
        EXPECT_EQ(5, UpperBound(array.Get()));
        FillWithStrings(array.Get(), 6);
        SAFEARRAYBOUND smaller{2, 0}, larger{700, 0}, none{0, 0};
        ASSERT_EQ(S_OK, SafeArrayRedim(array.Get(), &smaller));
        EXPECT_EQ(1, UpperBound(array.Get()));
        ASSERT_EQ(S_OK, SafeArrayRedim(array.Get(), &larger));
        EXPECT_EQ(699, UpperBound(array.Get()));
        EXPECT_FALSE(ElementIsEmpty(array.Get(), 1));
        for (ULONG i : {2u, 5u, 699u}) EXPECT_TRUE(ElementIsEmpty(array.Get(), i)) << i;
        ASSERT_EQ(S_OK, SafeArrayRedim(array.Get(), &none));
        EXPECT_EQ(-1, UpperBound(array.Get()));

        // An array of no elements can be made and grown.
        CSafeArray empty = Vector(kind.vt, 0);
        ASSERT_NE(nullptr, empty.Get());
        EXPECT_EQ(-1, UpperBound(empty.Get()));
        SAFEARRAYBOUND three{3, 0};
        ASSERT_EQ(S_OK, SafeArrayRedim(empty.Get(), &three));
        FillWithStrings(empty.Get(), 3);
        EXPECT_FALSE(ElementIsEmpty(empty.Get(), 2));
    }
}

// ---- Files -------------------------------------------------------------------------------

std::string ReadAll(HANDLE h, DWORD max) {
    std::string bytes(max, '\0');
    DWORD read = 0;
    if (!ReadFile(h, &bytes[0], max, &read, nullptr)) return "<failed>";
    bytes.resize(read);
    return bytes;
}

TEST(Win32Subset, ReadsSizesSeeksAndTruncatesAFile) {
    CTempFile temp("0123456789");
    CFileHandle file = temp.OpenForReadingAndWriting();
    ASSERT_TRUE(file.IsValid());
    DWORD high = 99;
    EXPECT_EQ(10u, GetFileSize(file.Get(), &high));
    EXPECT_EQ(0u, high);

    EXPECT_EQ("0123", ReadAll(file.Get(), 4));
    EXPECT_EQ("456789", ReadAll(file.Get(), 100));
    EXPECT_EQ("", ReadAll(file.Get(), 100));  // at the end: success, nothing read

    EXPECT_EQ(7u, SetFilePointer(file.Get(), -3, nullptr, FILE_END));
    EXPECT_EQ("789", ReadAll(file.Get(), 100));
    EXPECT_EQ(2u, SetFilePointer(file.Get(), 2, nullptr, FILE_BEGIN));
    EXPECT_EQ(5u, SetFilePointer(file.Get(), 3, nullptr, FILE_CURRENT));
    ASSERT_TRUE(SetEndOfFile(file.Get()));
    EXPECT_EQ(5u, GetFileSize(file.Get(), nullptr));

    SetLastError(NO_ERROR);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file.Get(), -1, nullptr, FILE_BEGIN));
    EXPECT_EQ(ERROR_NEGATIVE_SEEK, GetLastError());
    EXPECT_EQ(5u, SetFilePointer(file.Get(), 0, nullptr, FILE_CURRENT));  // position unchanged
}

TEST(Win32Subset, CreateAlwaysReplacesAndCreateNewRefusesAnExistingFile) {
    CTempFile temp("old contents");
    ASSERT_TRUE(temp.Write("new"));
    CFileHandle file = temp.OpenForReading();
    EXPECT_EQ("new", ReadAll(file.Get(), 100));

    CFileHandle again(CreateFileW(temp.Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(again.IsValid());
    EXPECT_EQ(ERROR_FILE_EXISTS, GetLastError());
}

TEST(Win32Subset, OpeningFailuresGiveTheWin32Codes) {
    const WString missing = CTempFile::UniquePath();
    CFileHandle file(CreateFileW(missing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(file.IsValid());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());

    const WString inMissingFolder = missing + WString{'/', 'x'};
    file.Attach(CreateFileW(inMissingFolder.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(file.IsValid());
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());

    WString folder = missing.substr(0, missing.find_last_of(WString{'/', '\\'}));
    file.Attach(CreateFileW(folder.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(file.IsValid());
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
}

// ---- UTF-16 judgement ------------------------------------------------------------------------

std::string Utf16(const std::string& ascii) {
    std::string bytes;
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

struct TextCase {
    const char* name;
    std::string bytes;
    bool unicode;
    bool signature;
};

TEST(Win32Subset, JudgesUtf16TextAndPlain8BitText) {
    const std::vector<TextCase> cases = {
        {"mark and one character", std::string("\xFF\xFE") + Utf16("1"), true, true},
        {"mark only", "\xFF\xFE", true, true},
        {"UTF-16 without mark", Utf16("1.4.2\r\n1.0.2A.FF=\"data\"\r\n"), true, false},
        {"ASCII", "1.4.2\r\n1.0.2A.FF=\"data\"\r\n", false, false},
        {"ASCII of odd length", "1.4.2\r\n1.0.0.1=\r\n", false, false},
        {"Latin-1", "1.4.2\r\n1.0.0.1=\"caf\xE9 cr\xE8me \xE0 la \xFC\"\r\n", false, false},
        {"big-endian mark is no signature", std::string("\xFE\xFF") + "\0" "1", false, false},
        {"single byte", "1", false, false},
    };
    for (const TextCase& c : cases) {
        int flags = IS_TEXT_UNICODE_ASCII16 | IS_TEXT_UNICODE_STATISTICS | IS_TEXT_UNICODE_CONTROLS |
                    IS_TEXT_UNICODE_SIGNATURE;
        const BOOL verdict = IsTextUnicode(c.bytes.data(), static_cast<int>(c.bytes.size()), &flags);
        EXPECT_EQ(c.unicode, verdict != FALSE) << c.name;
        EXPECT_EQ(c.signature, (flags & IS_TEXT_UNICODE_SIGNATURE) != 0) << c.name;
    }
}

}  // namespace
