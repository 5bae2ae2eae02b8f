#include "ErrorReport.h"

#include "platform/ComPtr.h"

namespace tagserver {

HRESULT ReportError(HRESULT hr, REFIID iid, const WString& description) {
    CComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.Out()))) return hr;
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(L"Quorvex3.TagServer"));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    CComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.QueryInterface(IID_IErrorInfo, info))) SetErrorInfo(0, info.Get());
    return hr;
}

}  // namespace tagserver
