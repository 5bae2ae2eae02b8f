#include "tests/reader/ReaderPaths.h"

#include "platform/Bstr.h"
#include "reader/ConfigReader.h"

#include <vector>

namespace readerpaths {

namespace {

class CPathReader : public CConfigReader {
public:
    CPathReader(HANDLE file, bool generalPathOnly)
        : CConfigReader(file, generalPathOnly ? PATHS_GENERAL_ONLY : PATHS_ALL) {}
    using CConfigReader::CurrentLine;
    using CConfigReader::CurrentOffset;
};

std::string ShowOrNull(const CBstr& text) {
    return text.IsNull() ? "null" : "[" + Show(WString(text.Get(), text.Length())) + "]";
}

// Each token with its strings and where the scan stood after it, then how the reading ended.
std::vector<std::string> Steps(HANDLE file, bool generalPathOnly) {
    CPathReader reader(file, generalPathOnly);
    if (FAILED(reader.Init())) return {"Init failed"};
    std::vector<std::string> steps;
    try {
        for (;;) {
            CBstr name, value;
            const WCHAR token = reader.Scan(name.Out(), value.Out());
            steps.push_back(std::string(1, static_cast<char>(token)) + ShowOrNull(name) + ShowOrNull(value) +
                            " from line " + std::to_string(reader.TokenLine()) + " to line " +
                            std::to_string(reader.CurrentLine()) + " offset " + std::to_string(reader.CurrentOffset()));
            if (token == CConfigReader::TOKEN_END_OF_FILE) return steps;
        }
    } catch (const CConfigReader::parse_exception& e) {
        steps.push_back(ShowError("parse", e));
    } catch (const CConfigReader::new_dovel_required_exception& e) {
        steps.push_back(ShowError("newer", e));
    } catch (const CConfigReader::unexpected_exception& e) {
        steps.push_back(ShowError("unexpected", e));
    }
    return steps;
}

}  // namespace

std::string CompareBothWays(HANDLE file) {
    const std::vector<std::string> fast = Steps(file, false);
    const std::vector<std::string> general = Steps(file, true);
    for (size_t i = 0; i < fast.size() || i < general.size(); ++i) {
        const std::string a = i < fast.size() ? fast[i] : "nothing";
        const std::string b = i < general.size() ? general[i] : "nothing";
        if (a != b) return "step " + std::to_string(i) + ": fast path " + a + ", general path " + b;
    }
    return std::string();
}

}  // namespace readerpaths
