// The error table: every failure ConfigFile reports, as one row of data. A
// row says what the log line reads, what describes the failure in the error
// information, under which GUID, and whether what the tag server set itself
// is kept instead. ConfigFile::Fail reports a row.
#pragma once
#include "platform/Platform.h"

// Where a failure's description comes from.
enum class FailureText {
    None,                // no error information: the log line and the HRESULT only
    StringId,            // the string-table id, loaded when the information is built
    ResourceString,      // the string-table text, taken now
    ResourceLineFormat,  // the string-table text with the failure's line number filled in
    SystemMessage,       // the system's message for the HRESULT, "Unknown Error" without one
    HResultText,         // the log library's text of the HRESULT
};

struct CFailureRow {
    // printf-style; the failure site gives its arguments. Null: the system's
    // message for the HRESULT's code, when there is one.
    const wchar_t* logLine;
    bool logsHResult;  // the HRESULT's text fills the line's last conversion
    FailureText description;
    const GUID* guid;
    bool keepsTagServerInfo;       // what the tag server set during the failed call is kept
    UINT stringId = 0;             // the string of the three string-table kinds
    bool logsDescription = false;  // the description is logged too, as a second line
    HRESULT result = 0;            // returned in place of the failure's HRESULT; 0: that one
};

// What Write returns when, after a failed replace, it could not hold its file
// again in any way and the object is closed: a code of this component's own,
// beside the type library's 0x80040400 and 0x80040401.
const HRESULT kFileLostResult = static_cast<HRESULT>(0x80040402);

namespace failure {
// Any call on a closed object.
extern const CFailureRow ReadNotOpen, WriteNotOpen;
// Open.
extern const CFailureRow OpenFailed;
// Read.
extern const CFailureRow NullReadArgument, NoTagServer, NoClientTags, CreateTags, ReaderInit, ParseError,
    NewerVersionRequired, UnexpectedDirective, BulkLoad, ReadException;
// Read and Write: the TagSpec version of the collection's database.
extern const CFailureRow NoDatabase, NoTagSpecVersion;
// Write.
extern const CFailureRow NoEnumerator, NoCount, Enumeration, TempFileOpen, TempFileWrite, CopyBack, FileLost;
// Write, for one tag.
extern const CFailureRow TagInterface, TagId, TagValue, TagValueToString, TagValueToText, TagLineAssembly;
}  // namespace failure

// Calls into the tag server with the thread's error information cleared
// first, so that what is there when the call fails was set by that call and
// never by an earlier failure whose information nobody fetched.
template <class Call>
HRESULT CallTagServer(Call call) {
    SetErrorInfo(0, nullptr);
    return call();
}
