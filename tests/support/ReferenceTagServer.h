// The reference tag server, created through its registration, and the tags
// of a collection as the tests compare them.
#pragma once
#include "Scenario.h"
#include "TagServer.h"
#include "platform/ComPtr.h"

#include <ostream>
#include <vector>

namespace doubles {
void PrintTo(const TagRecord& tag, std::ostream* os);
}  // namespace doubles

namespace testsupport {

CComPtr<ITagServer> NewReferenceServer();
CComPtr<ITags> NewReferenceCollection(ITagServer* server);
void SetTagSpecVersion(ITagServer* server, const wchar_t* version);
// Every tag in order, read through the collection's enumerator (or one made
// before) as Quorvex3 reads it.
std::vector<doubles::TagRecord> Contents(ITags* tags);
std::vector<doubles::TagRecord> Contents(IEnumVARIANT* enumerator);

}  // namespace testsupport
