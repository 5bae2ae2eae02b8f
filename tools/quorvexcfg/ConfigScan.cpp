#include "tools/quorvexcfg/ConfigScan.h"

#include "platform/FileHandle.h"
#include "platform/Win32Error.h"
#include "reader/ConfigReader.h"

HRESULT CConfigScan::Run(const WString& path, const TokenSink& sink) {
    m_refusal.reset();
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return HResultFromLastError();
    CConfigReader reader(file.Get());
    const HRESULT hr = reader.Init();
    if (FAILED(hr)) return hr;
    try {
        for (;;) {
            CBstr name, value;
            const WCHAR token = reader.Scan(name.Out(), value.Out());
            if (token == CConfigReader::TOKEN_END_OF_FILE) break;
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
