// Error information objects for the calling thread: the description, the
// source (the class's ProgID) and the interface that reported the failure.
#pragma once
#include "platform/Platform.h"

// lpszDesc is a text, or a string-table id (below 0x10000) of hInst.
// Returns hRes, or DISP_E_EXCEPTION when it is 0.
HRESULT WINAPI AtlSetErrorInfo(const CLSID& clsid, LPCOLESTR lpszDesc, DWORD dwHelpID, LPCOLESTR lpszHelpFile,
                               const IID& iid, HRESULT hRes, HINSTANCE hInst);

// AtlSetErrorInfo with the low 16 bits of nID as the description's string id.
HRESULT WINAPI AtlReportError(const CLSID& clsid, UINT nID, const IID& iid, HRESULT hRes, HINSTANCE hInst);
