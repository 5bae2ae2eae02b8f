// The other architecture's registry view. On 64-bit Windows a 32-bit and a
// 64-bit Quorvex3.dll may be registered side by side: WoW64 keeps their class
// keys apart (HKCR\CLSID and HKCR\Wow6432Node\CLSID), but the ProgID keys, the
// type library key and (under Wine) the interface keys are one set for both.
#pragma once
#include "platform/Platform.h"

// HKCR's class key of clsid, "CLSID\{...}".
WString ClassKeyName(REFCLSID clsid);

// Whether the other architecture's view registers an in-process server for
// clsid. 32-bit Windows has no other view.
bool OtherViewRegistersClass(REFCLSID clsid);
