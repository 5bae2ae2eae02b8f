// A ConfigFile object of the registered server, made as a client makes it.
#pragma once
#include "Quorvex3.h"
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

}  // namespace testsupport
