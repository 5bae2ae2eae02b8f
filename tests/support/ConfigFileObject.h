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

// The path the object holds open, "" when IsOpen says it is closed; an IsOpen
// and a Path that disagree show up in the answer.
inline std::wstring HeldPath(IConfigFile* file) {
    VARIANT_BOOL open = 7;
    CBstr path;
    EXPECT_EQ(S_OK, file->get_IsOpen(&open));
    EXPECT_TRUE(open == VARIANT_TRUE || open == VARIANT_FALSE) << open;
    EXPECT_EQ(S_OK, file->get_Path(path.Out()));
    EXPECT_FALSE(path.IsNull());  // an empty Path is an empty string
    if ((open == VARIANT_TRUE) != path.ToString().empty()) return path.ToString();
    return (open == VARIANT_TRUE ? L"open, " : L"closed, ") + (L"but Path is \"" + path.ToString() + L"\"");
}

}  // namespace testsupport
