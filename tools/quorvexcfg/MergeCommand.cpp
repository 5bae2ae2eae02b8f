// `quorvexcfg merge BASE OURS THEIRS [-o OUT]` : the three-way merge of two
// files' tags (see TagMerge.h), written over OURS (or to OUT) in OURS' form,
// as a git merge driver does: `quorvexcfg merge %O %A %B`.
#include "tools/quorvexcfg/QuorvexCfg.h"

#include "tools/quorvexcfg/ConfigScan.h"
#include "tools/quorvexcfg/ConfigTags.h"
#include "tools/quorvexcfg/ConfigText.h"
#include "tools/quorvexcfg/FileBytes.h"
#include "tools/quorvexcfg/JsonString.h"
#include "tools/quorvexcfg/MergedText.h"
#include "tools/quorvexcfg/TagMerge.h"
#include "platform/Utf8.h"
#include "reader/ConfigReader.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

namespace {

enum SIDE { SIDE_BASE = 0, SIDE_OURS = 1, SIDE_THEIRS = 2 };

// One input of the merge: its text, its tags, and its comment, test and
// ignored lines (which merge takes from OURS alone).
struct MergeSide {
    std::optional<CConfigText> text;
    ConfigTags tags;
    std::multiset<std::pair<WCHAR, WString>> notes;
};

std::string Shown(const TagState& state) {
    if (!state) return "(absent)";
    return *state ? CJsonString::Quote(**state) : std::string("(no value)");
}

// THEIRS' comment, test and ignored lines that neither BASE nor OURS has.
std::size_t TheirsOnly(const MergeSide sides[3]) {
    std::multiset<std::pair<WCHAR, WString>> left = sides[SIDE_THEIRS].notes;
    for (SIDE side : {SIDE_BASE, SIDE_OURS}) {
        for (const auto& note : sides[side].notes) {
            auto found = left.find(note);
            if (found != left.end()) left.erase(found);
        }
    }
    return left.size();
}

}  // namespace

int CQuorvexCfg::Merge(const std::vector<WString>& operands) {
    std::vector<WString> files;
    std::optional<WString> output;
    for (std::size_t i = 0; i < operands.size(); ++i) {
        if (Is(operands[i], "-o") && i + 1 < operands.size() && !output) {
            output = operands[++i];
        } else {
            files.push_back(operands[i]);
        }
    }
    if (files.size() != 3) return Usage(m_err, EXIT_TROUBLE);

    MergeSide sides[3];
    std::optional<CMergedText> merged;
    for (int i = 0; i < 3; ++i) {
        std::string bytes;
        HRESULT hr = CFileBytes::Read(files[i], bytes);
        if (FAILED(hr)) {
            ReportUnreadable(files[i], hr);
            return EXIT_TROUBLE;
        }
        MergeSide& side = sides[i];
        side.text.emplace(bytes);
        if (i == SIDE_OURS) merged.emplace(side.text->Chars());
        CConfigScan scan;
        hr = scan.RunText(side.text->ReaderBytes(), [&](WCHAR token, const CBstr& name, const CBstr& value) {
            side.tags.Add(token, name, value);
            const WString text(name.Get(), name.Length());
            if (i == SIDE_OURS) merged->Note(scan.Line(), token, text);
            if (token == CConfigReader::TOKEN_COMMENT || token == CConfigReader::TOKEN_TEST_LINE ||
                token == CConfigReader::TOKEN_IGNORED_LINE)
                side.notes.emplace(token, text);
        });
        if (FAILED(hr)) {
            ReportUnreadable(files[i], hr);
            return EXIT_TROUBLE;
        }
        if (scan.Refusal()) {
            ReportRefusal(files[i], *scan.Refusal());
            return EXIT_TROUBLE;
        }
    }

    const CTagMerge merge(sides[SIDE_BASE].tags, sides[SIDE_OURS].tags, sides[SIDE_THEIRS].tags);
    const auto reportConflict = [this](const std::string& what, const MergedTag& tag) {
        m_err << "quorvexcfg: conflict: " << what << ": base " << Shown(tag.base) << ", ours " << Shown(tag.ours)
              << ", theirs " << Shown(tag.theirs) << "\n";
    };
    if (merge.Version().conflict) reportConflict("version", merge.Version());
    for (const WString& id : merge.Conflicts()) reportConflict(CUtf8::FromUtf16(id), merge.Tag(id));
    if (const std::size_t left = TheirsOnly(sides)) {
        m_err << "quorvexcfg: merge: " << left
              << " comment, test or ignored line(s) that only THEIRS has are left out\n";
    }

    const WString target = output ? *output : files[SIDE_OURS];
    const std::string bytes = sides[SIDE_OURS].text->Encode(
        merged->Build(merge, sides[SIDE_OURS].tags, sides[SIDE_THEIRS].tags));
    const HRESULT hr = CFileBytes::Write(target, bytes);
    if (FAILED(hr)) {
        m_err << "quorvexcfg: " << CUtf8::FromUtf16(target) << ": " << DescribeFailure(hr) << "\n";
        return EXIT_TROUBLE;
    }
    const bool conflict = merge.Version().conflict || !merge.Conflicts().empty();
    return conflict ? EXIT_CONFLICT : EXIT_VALID;
}
