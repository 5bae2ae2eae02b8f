#include "tests/reader/ReaderPaths.h"

#include "platform/Bstr.h"
#include "platform/Utf8.h"
#include "reader/ConfigReader.h"

#include <algorithm>

namespace readerpaths {

namespace {

class CPathReader : public CConfigReader {
public:
    CPathReader(HANDLE file, Path path) : CConfigReader(file, path == Path::All ? PATHS_ALL : PATHS_GENERAL_ONLY) {}
    using CConfigReader::CurrentLine;
    using CConfigReader::CurrentOffset;
};

template <class E>
Ending EndingOf(const char* kind, const E& e) {
    return Ending{kind, e.m_nLine, e.m_strLineText, e.m_strMessage};
}

WString TextOf(const CBstr& text) { return text.IsNull() ? WString() : WString(text.Get(), text.Length()); }

std::string Quoted(const WString& text) { return "\"" + CUtf8::FromUtf16(text) + "\""; }

std::string Describe(const Step& s) {
    return "token '" + std::string(1, static_cast<char>(s.token)) + "' name " +
           (s.nameIsNull ? "null" : Quoted(s.name)) + " value " + (s.valueIsNull ? "null" : Quoted(s.value)) +
           " line " + std::to_string(s.line) + " offset " + std::to_string(s.offset);
}

std::string Describe(const Ending& e) {
    return e.kind + " line " + std::to_string(e.line) + " text " + Quoted(e.lineText) + " message " +
           Quoted(e.message);
}

bool operator==(const Step& a, const Step& b) {
    return a.token == b.token && a.nameIsNull == b.nameIsNull && a.valueIsNull == b.valueIsNull &&
           a.name == b.name && a.value == b.value && a.line == b.line && a.offset == b.offset;
}

bool operator==(const Ending& a, const Ending& b) {
    return a.kind == b.kind && a.line == b.line && a.lineText == b.lineText && a.message == b.message;
}

}  // namespace

Reading Read(HANDLE file, Path path) {
    Reading reading;
    CPathReader reader(file, path);
    if (FAILED(reader.Init())) {
        reading.ending = Ending{"init", 0, WString(), WString()};
        return reading;
    }
    try {
        for (;;) {
            CBstr name, value;
            const WCHAR token = reader.Scan(name.Out(), value.Out());
            if (token == CConfigReader::TOKEN_END_OF_FILE) {
                // The end leaves both strings alone and stays the end.
                const bool untouched = name.IsNull() && value.IsNull();
                const bool stays = reader.Scan(name.Out(), value.Out()) == token && untouched;
                reading.ending = Ending{stays ? "end" : "end, unsettled", reader.CurrentLine(), WString(), WString()};
                return reading;
            }
            reading.steps.push_back(Step{token, name.IsNull(), value.IsNull(), TextOf(name), TextOf(value),
                                         reader.CurrentLine(), reader.CurrentOffset()});
        }
    } catch (const CConfigReader::parse_exception& e) {
        reading.ending = EndingOf("parse", e);
    } catch (const CConfigReader::new_dovel_required_exception& e) {
        reading.ending = EndingOf("newer-version", e);
    } catch (const CConfigReader::unexpected_exception& e) {
        reading.ending = EndingOf("unexpected", e);
    }
    return reading;
}

std::string FirstDifference(const Reading& fast, const Reading& general) {
    const std::size_t common = std::min(fast.steps.size(), general.steps.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (!(fast.steps[i] == general.steps[i]))
            return "step " + std::to_string(i) + ": fast path " + Describe(fast.steps[i]) + ", general path " +
                   Describe(general.steps[i]);
    }
    if (fast.steps.size() != general.steps.size())
        return "fast path " + std::to_string(fast.steps.size()) + " steps, general path " +
               std::to_string(general.steps.size());
    if (!(fast.ending == general.ending))
        return "ending: fast path " + Describe(fast.ending) + ", general path " + Describe(general.ending);
    return std::string();
}

std::string CompareBothWays(HANDLE file) {
    const Reading fast = Read(file, Path::All);
    return FirstDifference(fast, Read(file, Path::GeneralOnly));
}

}  // namespace readerpaths
