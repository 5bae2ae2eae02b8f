// Reads one configuration file (or pipe, or standard input) with the real
// reader and reports each token, then either the end of input, the reader's
// refusal, or why the input could not be read.
#pragma once
#include "platform/Bstr.h"
#include "platform/Platform.h"

#include <functional>
#include <optional>
#include <string>

// Why a file was refused: the kind of reader exception and what it carried.
struct ScanRefusal {
    std::string kind;  // "parse", "newer-version" or "unexpected"
    ULONG line;
    WString text;
    WString message;
};

class CConfigScan {
public:
    using TokenSink = std::function<void(WCHAR token, const CBstr& name, const CBstr& value)>;

    // S_OK when the input was read to its end or refused (see Refusal), else
    // the failure that kept it from being read.
    HRESULT Run(const WString& path, const TokenSink& sink);
    // The same for bytes already in memory.
    HRESULT RunText(const std::string& bytes, const TokenSink& sink);

    const std::optional<ScanRefusal>& Refusal() const { return m_refusal; }
    // While the sink runs: the line on which the token's statement begins.
    ULONG Line() const { return m_nLine; }

private:
    std::optional<ScanRefusal> m_refusal;
    ULONG m_nLine = 0;
};
