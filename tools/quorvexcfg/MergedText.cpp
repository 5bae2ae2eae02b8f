#include "tools/quorvexcfg/MergedText.h"

#include "configfile/TagLineFormat.h"
#include "reader/ConfigReader.h"

namespace {

WString Text(const char* ascii) { return WString(ascii, ascii + std::char_traits<char>::length(ascii)); }

bool EndsLine(const WString& text) {
    return !text.empty() && (text.back() == '\r' || (text.back() == '\n' && text.size() >= 2 && text[text.size() - 2] == '\r'));
}

bool IsTagToken(WCHAR token) {
    return token == CConfigReader::TOKEN_TAG_VALUE || token == CConfigReader::TOKEN_TAG_EMPTY;
}

}  // namespace

CMergedText::CMergedText(const WString& oursChars) {
    // Lines as the reader counts them: CR, or CR LF, ends one.
    std::size_t start = 0;
    while (start < oursChars.size()) {
        std::size_t end = oursChars.find('\r', start);
        if (end == WString::npos) {
            end = oursChars.size();
        } else {
            end += end + 1 < oursChars.size() && oursChars[end + 1] == '\n' ? 2 : 1;
        }
        m_lines.push_back(oursChars.substr(start, end - start));
        start = end;
    }
}

void CMergedText::Note(ULONG line, WCHAR token, const WString& name) {
    LineStatement& statement = m_statements[line];
    if (token == CConfigReader::TOKEN_VERSION || IsTagToken(token)) {
        statement.token = token;
        statement.name = name;
    } else if (token == CConfigReader::TOKEN_COMMENT && statement.token != 0) {
        statement.hasComment = true;
        statement.comment = name;
    }
}

WString CMergedText::Build(const CTagMerge& merge, const ConfigTags& ours, const ConfigTags& theirs) const {
    // Where each of OURS' tags, and the version, stands.
    std::map<WString, ULONG> tagLines;
    ULONG versionLine = 0;
    for (const auto& [line, statement] : m_statements) {
        if (statement.token == CConfigReader::TOKEN_VERSION) versionLine = line;
        if (IsTagToken(statement.token)) tagLines.emplace(statement.name, line);
    }
    // Tags OURS lacks, each after the line of the tag before it in THEIRS.
    std::map<ULONG, WString> insertions;
    ULONG anchor = versionLine;
    for (const WString& id : theirs.order) {
        if (ours.Find(id)) {
            anchor = tagLines.at(id);
            continue;
        }
        const MergedTag& tag = merge.Tag(id);
        LineStatement statement;
        statement.token = CConfigReader::TOKEN_TAG_VALUE;
        statement.name = id;
        if (tag.conflict) {
            AppendConflict(insertions[anchor], statement, tag);
        } else if (tag.merged) {
            AppendStatement(insertions[anchor], statement, tag.merged);
        }
    }

    WString out;
    for (ULONG line = 1; line <= m_lines.size(); ++line) {
        AppendLine(out, line, merge);
        auto inserted = insertions.find(line);
        if (inserted == insertions.end()) continue;
        if (!out.empty() && !EndsLine(out)) CTagLineFormat::AppendLineEnd(out);
        out += inserted->second;
    }
    return out;
}

void CMergedText::AppendLine(WString& out, ULONG line, const CTagMerge& merge) const {
    const WString& text = m_lines[line - 1];
    auto found = m_statements.find(line);
    if (found == m_statements.end() || found->second.token == 0) {
        out += text;
        return;
    }
    const LineStatement& statement = found->second;
    const MergedTag& tag =
        statement.token == CConfigReader::TOKEN_VERSION ? merge.Version() : merge.Tag(statement.name);
    if (tag.conflict) {
        AppendConflict(out, statement, tag);
    } else if (tag.merged == tag.ours) {
        out += text;
    } else if (tag.merged) {
        AppendStatement(out, statement, tag.merged);
    }
}

// The statement with the state's value, as the component writes it, and its line end.
void CMergedText::AppendStatement(WString& out, const LineStatement& statement, const TagState& state) {
    if (!state) return;
    if (statement.token == CConfigReader::TOKEN_VERSION) {
        out += state->value_or(WString());
    } else {
        CTagLineFormat::AppendTag(out, statement.name.c_str(), *state ? (*state)->c_str() : nullptr);
    }
    if (statement.hasComment) out += WString(1, ';') + statement.comment;
    CTagLineFormat::AppendLineEnd(out);
}

void CMergedText::AppendConflict(WString& out, const LineStatement& statement, const MergedTag& tag) {
    const std::pair<const char*, const TagState*> sections[] = {
        {"<<<<<<< ours", &tag.ours}, {"||||||| base", &tag.base}, {"=======", &tag.theirs}};
    for (const auto& [marker, state] : sections) {
        out += Text(marker);
        CTagLineFormat::AppendLineEnd(out);
        AppendStatement(out, statement, *state);
    }
    out += Text(">>>>>>> theirs");
    CTagLineFormat::AppendLineEnd(out);
}
