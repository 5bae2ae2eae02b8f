#include "configfile/FailureTable.h"

#include "Quorvex3.h"
#include "TagServer.h"
#include "server/Resource.h"

namespace failure {
namespace {

using T = FailureText;
constexpr bool kHrText = true, kNoHrText = false;
constexpr bool kDescriptionLine = true, kNoDescriptionLine = false;
constexpr bool kKept = true, kNotKept = false;

}  // namespace

// Each row: log line, whether the HRESULT's text ends it; description,
// GUID, whether the tag server's own information is kept; then where needed
// the string id, whether the description is logged too, and the HRESULT
// returned in place of the failure's.

// clang-format off
// Any call on a closed object.
const CFailureRow ReadNotOpen = {L"Read failed because file has not been opened.", kNoHrText, T::StringId, &IID_IConfigFile, kNotKept, IDS_FILE_NOT_OPEN};
const CFailureRow WriteNotOpen = {L"Write failed because file has not been opened.", kNoHrText, T::StringId, &IID_IConfigFile, kNotKept, IDS_FILE_NOT_OPEN};
// Open.
const CFailureRow OpenFailed = {L"Error opening file %s: %s", kHrText, T::HResultText, &GUID_NULL, kNotKept};
// Read: its arguments, the tag server and the file.
const CFailureRow NullReadArgument = {nullptr, kNoHrText, T::None, &GUID_NULL, kNotKept};
const CFailureRow NoTagServer = {L"No tag server interface available from given tag server (%s)", kHrText, T::HResultText, &IID_IConfigFile, kNotKept};
const CFailureRow NoClientTags = {L"Internal error 7: No interface available to given tags collection (%s)", kHrText, T::StringId, &IID_IConfigFile, kNotKept, IDS_INTERNAL_ERROR_7};
const CFailureRow CreateTags = {L"Error creating tags collection. HRESULT(0x%08x)", kNoHrText, T::SystemMessage, &IID_ITags, kNotKept};
const CFailureRow ReaderInit = {L"Error reading file %s: %s", kHrText, T::HResultText, &GUID_NULL, kNotKept};
// Read: what the reader refuses.
const CFailureRow ParseError = {L"Parse error on line %u: \"%s\", %s", kNoHrText, T::ResourceLineFormat, &IID_IConfigFile, kNotKept, IDS_INVALID_FORMAT_ON_LINE, kDescriptionLine};
const CFailureRow NewerVersionRequired = {L"Line %u: \"%s\", %s", kNoHrText, T::ResourceString, &IID_IConfigFile, kNotKept, IDS_NEWER_VERSION_REQUIRED, kDescriptionLine};
const CFailureRow UnexpectedDirective = {L"Fatal error at line %u: \"%s\", %s", kNoHrText, T::HResultText, &CLSID_ConfigFile, kNotKept};
// Read: the load, and anything unforeseen.
const CFailureRow BulkLoad = {L"Bulk load process failed.", kNoHrText, T::HResultText, &CLSID_ConfigFile, kKept};
const CFailureRow ReadException = {L"Read of configuration file %s failed: %s", kHrText, T::HResultText, &CLSID_ConfigFile, kNotKept};
// Read and Write: the TagSpec version of the collection.
const CFailureRow NoDatabase = {L"Internal error 8: Failed to get database object from tags: %s", kHrText, T::ResourceString, &CLSID_ConfigFile, kKept, IDS_INTERNAL_ERROR_8};
const CFailureRow NoTagSpecVersion = {L"Internal error 9: Failed to get tags version from tag database object: %s", kHrText, T::ResourceString, &CLSID_ConfigFile, kKept, IDS_INTERNAL_ERROR_9};
// Write: the collection.
const CFailureRow NoEnumerator = {L"No enumerator interface available to given tags collection (%s)", kHrText, T::HResultText, &CLSID_ConfigFile, kKept};
const CFailureRow NoCount = {L"Error getting number of tags in collection. (%s)", kHrText, T::HResultText, &CLSID_ConfigFile, kKept};
const CFailureRow Enumeration = {L"Failed to enumerate all tag objects in collection. %d out of %d processed. %s", kHrText, T::ResourceString, &CLSID_ConfigFile, kKept, IDS_NOT_ALL_TAGS_USED};
// Write: the files.
const CFailureRow TempFileOpen = {L"Error opening file %s: %s", kHrText, T::StringId, &GUID_NULL, kNotKept, IDS_ERROR_OPENING_FILE};
const CFailureRow TempFileWrite = {nullptr, kNoHrText, T::None, &GUID_NULL, kNotKept};
const CFailureRow CopyBack = {L"Error writing configuration file %s: %s", kHrText, T::HResultText, &GUID_NULL, kNotKept};
// After a failed replace the file could not be held again in any way: the object is closed.
const CFailureRow FileLost = {L"Configuration file %s could not be held again and is closed: %s", kHrText, T::HResultText, &GUID_NULL, kNotKept, 0, kNoDescriptionLine, kFileLostResult};
// Write: one tag.
const CFailureRow TagInterface = {L"Internal Error 1 while getting tag data. Fault: Couldn't get tag interface. Error: %s", kHrText, T::ResourceString, &CLSID_ConfigFile, kKept, IDS_INTERNAL_ERROR_1};
const CFailureRow TagId = {L"Internal Error 2 while getting tag data. Fault: Couldn't get tag ID. Error: %s", kHrText, T::ResourceString, &CLSID_ConfigFile, kKept, IDS_INTERNAL_ERROR_2};
const CFailureRow TagValue = {L"Internal Error 4 while getting data for tag %s. Fault: Couldn't get value. Error: %s", kHrText, T::ResourceString, &CLSID_ConfigFile, kKept, IDS_INTERNAL_ERROR_4};
const CFailureRow TagValueToString = {L"Internal Error 5 while getting data for tag %s. Fault: Couldn't convert value to string. Error: %s", kHrText, T::ResourceString, &CLSID_ConfigFile, kKept, IDS_INTERNAL_ERROR_5};
const CFailureRow TagValueToText = {L"Internal Error 6 while getting data for tag %s. Fault: Couldn't convert value to text. Error: %s", kHrText, T::ResourceString, &CLSID_ConfigFile, kKept, IDS_INTERNAL_ERROR_6, kNoDescriptionLine, E_FAIL};
const CFailureRow TagLineAssembly = {L"Failed to assemble data for tag %s", kNoHrText, T::None, &GUID_NULL, kNotKept};
// clang-format on

}  // namespace failure
