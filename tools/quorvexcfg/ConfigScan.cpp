#include "tools/quorvexcfg/ConfigScan.h"

#include "tools/quorvexcfg/FileBytes.h"
#include "reader/ConfigReader.h"

HRESULT CConfigScan::Run(const WString& path, const TokenSink& sink) {
    std::string bytes;
    const HRESULT hr = CFileBytes::Read(path, bytes);
    if (FAILED(hr)) return hr;
    return RunText(bytes, sink);
}

HRESULT CConfigScan::RunText(const std::string& bytes, const TokenSink& sink) {
    m_refusal.reset();
    CConfigReader reader(INVALID_HANDLE_VALUE);
    const HRESULT hr = reader.InitFromText(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
    if (FAILED(hr)) return hr;
    try {
        for (;;) {
            CBstr name, value;
            const WCHAR token = reader.Scan(name.Out(), value.Out());
            if (token == CConfigReader::TOKEN_END_OF_FILE) break;
            m_nLine = reader.TokenLine();
            sink(token, name, value);
        }
    } catch (const CConfigReader::parse_exception& e) {
        m_refusal = ScanRefusal{"parse", e.m_nLine, e.m_strLineText, e.m_strMessage};
    } catch (const CConfigReader::new_dovel_required_exception& e) {
        m_refusal = ScanRefusal{"newer-version", e.m_nLine, e.m_strLineText, e.m_strMessage};
    } catch (const CConfigReader::unexpected_exception& e) {
        m_refusal = ScanRefusal{"unexpected", e.m_nLine, e.m_strLineText, e.m_strMessage};
    }
    return S_OK;
}
