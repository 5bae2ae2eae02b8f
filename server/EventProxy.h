// Raising the events of _IConfigFileEvents on every advised sink.
#pragma once
#include "Quorvex3.h"
#include "platform/Platform.h"
#include "platform/ComPtr.h"
#include "platform/Variant.h"
#include "server/ConnectionPoint.h"

#include <memory>
#include <new>

template <class T, const IID* piid = &DIID__IConfigFileEvents, class CDV = CComDynamicUnkArray>
class CProxy_IConfigFileEvents : public IConnectionPointImplMT<T, piid, CDV> {
public:
    static constexpr DISPID DISPID_QUERYLOAD = 1;

    // Asks each sink in turn whether a file of FileVersion may be loaded into
    // a database of DbVersion. The first sink that sets Cancel ends the
    // asking, so no sink ever sees Cancel already set. Returns the error code
    // a sink left in the result, S_OK when none did or no sink was advised.
    HRESULT Fire_QueryLoad(VARIANT_BOOL* Cancel, BSTR FileVersion, BSTR DbVersion) {
        VARIANT_BOOL bCancel = VARIANT_FALSE;
        CVariant result;
        *result.Get() = VARIANT{};

        static_assert(sizeof(CVariant) == sizeof(VARIANT), "arguments are passed as a VARIANT array");
        std::unique_ptr<CVariant[]> pArgs(new (std::nothrow) CVariant[3]);
        if (!pArgs) {
            if (Cancel) *Cancel = VARIANT_FALSE;
            return E_OUTOFMEMORY;
        }
        // Arguments are stored last parameter first.
        VARIANT* pDbVersion = pArgs[0].Get();
        VARIANT* pFileVersion = pArgs[1].Get();
        VARIANT* pCancel = pArgs[2].Get();
        V_VT(pCancel) = VT_BYREF | VT_BOOL;
        V_BOOLREF(pCancel) = &bCancel;
        DISPPARAMS params = {pArgs[0].Get(), nullptr, 3, 0};

        // Sinks advised into new slots while this runs are not asked.
        const int nSlots = this->GetSinkSlotCount();
        for (int i = 0; i < nSlots && bCancel == VARIANT_FALSE; ++i) {
            CComPtr<IUnknown> pSink = this->GetInterfaceAt(i);
            if (!pSink) continue;
            result.Clear();
            SetBstrCopy(pFileVersion, FileVersion);
            SetBstrCopy(pDbVersion, DbVersion);
            // A failing sink does not stop the others from being asked.
            static_cast<IDispatch*>(pSink.Get())->Invoke(DISPID_QUERYLOAD, IID_NULL, LOCALE_USER_DEFAULT,
                                                         DISPATCH_METHOD, &params, result.Get(), nullptr, nullptr);
            VariantClear(pFileVersion);
            VariantClear(pDbVersion);
        }

        if (Cancel) *Cancel = bCancel;
        // Clearing the result before each sink resets only its type, so a
        // code written by an earlier sink stands unless a later one rewrites it.
        return nSlots == 0 ? S_OK : V_ERROR(result.Get());
    }

private:
    static void SetBstrCopy(VARIANT* pVar, BSTR bstr) {
        V_VT(pVar) = VT_BSTR;
        V_BSTR(pVar) = SysAllocStringLen(bstr, SysStringLen(bstr));
    }
};
