// A ConfigFile object of the registered server, made as a client makes it.
#pragma once
#include "Quorvex3.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"

#include <gtest/gtest.h>

namespace testsupport {

template <class Interface = IConfigFile>
CComPtr<Interface> NewConfigFile(const IID& iid = IID_IConfigFile) {
    CComPtr<Interface> object;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, iid,
                                     reinterpret_cast<void**>(object.Out())));
    return object;
}

// The path the object holds open, "" when IsOpen says it is closed (and then
// a Path that is not empty shows up in the answer).
inline std::wstring HeldPath(IConfigFile* file) {
    VARIANT_BOOL open = VARIANT_FALSE;
    CBstr path;
    EXPECT_EQ(S_OK, file->get_IsOpen(&open));
    EXPECT_EQ(S_OK, file->get_Path(path.Out()));
    if (open == VARIANT_TRUE) return path.ToString();
    return path.ToString().empty() ? L"" : L"closed, but Path is " + path.ToString();
}

}  // namespace testsupport
