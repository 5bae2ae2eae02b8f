#include "Scenario.h"

#include "platform/ComPtr.h"

namespace doubles {

void CScenario::FailAt(Fault point, HRESULT hr, bool setErrorInfo, size_t item) {
    m_fault = point;
    m_hrFault = hr;
    m_bSetErrorInfo = setErrorInfo;
    m_nFaultItem = item;
}

std::wstring CScenario::FaultDescription(const std::string& call) {
    return L"Injected fault in " + std::wstring(call.begin(), call.end());
}

HRESULT CScenario::Enter(const std::string& call, Fault point, size_t item) {
    m_calls.push_back(call);
    const bool itemMatters = point == Fault::GetId || point == Fault::GetValue;
    if (point == Fault::None || point != m_fault || (itemMatters && item != m_nFaultItem)) return S_OK;
    return Fail(call);
}

HRESULT CScenario::Unused(const std::string& call) {
    Enter(call);
    return E_NOTIMPL;
}

HRESULT CScenario::NextOutcome(size_t position) {
    if (position != m_nFaultItem) return S_OK;
    if (m_fault == Fault::EndEarly) return S_FALSE;
    return m_fault == Fault::Next ? Fail("Next") : S_OK;
}

HRESULT CScenario::Fail(const std::string& call) {
    CComPtr<ICreateErrorInfo> create;
    if (!m_bSetErrorInfo || FAILED(CreateErrorInfo(create.Out()))) return m_hrFault;
    const std::wstring description = FaultDescription(call);
    create->SetSource(const_cast<LPOLESTR>(L"TagServerDouble"));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    CComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.QueryInterface(IID_IErrorInfo, info))) SetErrorInfo(0, info.Get());
    return m_hrFault;
}

}  // namespace doubles
