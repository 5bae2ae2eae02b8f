#include "tests/support/ErrorInfo.h"

#include "platform/Bstr.h"
#include "platform/ComPtr.h"

#include <cwchar>

namespace testsupport {

CErrorSnapshot TakeErrorInfo() {
    CErrorSnapshot snapshot;
    CComPtr<IErrorInfo> pInfo;
    if (GetErrorInfo(0, pInfo.Out()) != S_OK || !pInfo) return snapshot;
    snapshot.bPresent = true;
    CBstr text;
    if (SUCCEEDED(pInfo->GetDescription(text.Out()))) snapshot.strDescription = text.ToString();
    if (SUCCEEDED(pInfo->GetSource(text.Out()))) snapshot.strSource = text.ToString();
    pInfo->GetGUID(&snapshot.guid);
    return snapshot;
}

void ClearErrorInfo() { SetErrorInfo(0, nullptr); }

WString HexCode(HRESULT hr) {
    wchar_t code[12];
    swprintf(code, 12, L"0x%08lX", static_cast<unsigned long>(hr));
    return code;
}

}  // namespace testsupport
