// `quorvexcfg diff [--json] A B` : the tag-level difference of two files, the
// version first, then removed and changed tags in A's order, then added tags
// in B's order. A tag without a value and one with "" are different.
#include "tools/quorvexcfg/QuorvexCfg.h"

#include "tools/quorvexcfg/ConfigScan.h"
#include "tools/quorvexcfg/ConfigTags.h"
#include "tools/quorvexcfg/JsonString.h"
#include "platform/Utf8.h"
#include "reader/ConfigReader.h"

namespace {

std::string Quoted(const TagValue& value, bool json) {
    if (value) return CJsonString::Quote(*value);
    return json ? "null" : "(no value)";
}

// Writes one change; an absent side is left out.
class CChangeWriter {
public:
    CChangeWriter(std::ostream& out, bool json) : m_out(out), m_json(json) {}

    void Version(const WString& from, const WString& to) {
        if (m_json) {
            m_out << "{\"change\":\"version\",\"old\":" << CJsonString::Quote(from) << ",\"new\":" << CJsonString::Quote(to)
                  << "}\n";
        } else {
            m_out << "version " << CJsonString::Quote(from) << " -> " << CJsonString::Quote(to) << "\n";
        }
        m_bAny = true;
    }

    void Tag(const char* change, const WString& id, const TagValue* from, const TagValue* to) {
        if (m_json) {
            m_out << "{\"change\":\"" << change << "\",\"id\":" << CJsonString::Quote(id);
            if (from) m_out << ",\"old\":" << Quoted(*from, true);
            if (to) m_out << ",\"new\":" << Quoted(*to, true);
            m_out << "}\n";
        } else {
            m_out << (from ? to ? "~ " : "- " : "+ ") << CUtf8::FromUtf16(id) << " ";
            if (from) m_out << Quoted(*from, false);
            if (from && to) m_out << " -> ";
            if (to) m_out << Quoted(*to, false);
            m_out << "\n";
        }
        m_bAny = true;
    }

    bool Any() const { return m_bAny; }

private:
    std::ostream& m_out;
    bool m_json;
    bool m_bAny = false;
};

}  // namespace

int CQuorvexCfg::Diff(const std::vector<WString>& operands) {
    const bool json = !operands.empty() && operands[0] == CUtf8::ToUtf16("--json");
    const std::vector<WString> files(operands.begin() + (json ? 1 : 0), operands.end());
    if (files.size() != 2) return Usage(m_err, EXIT_TROUBLE);
    ConfigTags tags[2];
    for (int i = 0; i < 2; ++i) {
        const int status = ScanOrReport(files[i], [&tags, i](WCHAR token, const CBstr& name, const CBstr& value) {
            tags[i].Add(token, name, value);
        });
        if (status != EXIT_VALID) return EXIT_TROUBLE;  // a refused file is trouble to diff
    }
    const ConfigTags& before = tags[0];
    const ConfigTags& after = tags[1];
    CChangeWriter changes(m_out, json);
    if (before.version != after.version) changes.Version(before.version, after.version);
    for (const WString& id : before.order) {
        const TagValue& from = before.values.at(id);
        auto to = after.values.find(id);
        if (to == after.values.end()) {
            changes.Tag("removed", id, &from, nullptr);
        } else if (from != to->second) {
            changes.Tag("changed", id, &from, &to->second);
        }
    }
    for (const WString& id : after.order) {
        if (before.values.count(id) == 0) changes.Tag("added", id, nullptr, &after.values.at(id));
    }
    return changes.Any() ? EXIT_DIFFERENT : EXIT_VALID;
}
