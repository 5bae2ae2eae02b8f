// The text of a merge: OURS line by line, with comments, test lines, sections
// and blank lines where they stand. Each tag line (and the version line) is
// kept as it is when the merge keeps OURS' value, rewritten as the component
// writes it (a comment directly after it kept) when the value changed, left
// out when the tag was removed, and replaced by a conflict block when the two
// sides disagree. A tag OURS lacks is put after the line of the tag before it
// in THEIRS, or after the version line. A conflict block is git's three marker
// sections; the reader refuses the marker lines, so the file cannot be loaded
// until a person resolves it.
#pragma once
#include "tools/quorvexcfg/ConfigTags.h"
#include "tools/quorvexcfg/TagMerge.h"

#include <map>
#include <vector>

class CMergedText {
public:
    // oursChars: OURS' characters, lines ending in CR or CR LF.
    explicit CMergedText(const WString& oursChars);

    // Takes one of OURS' tokens and the line its statement begins on.
    void Note(ULONG line, WCHAR token, const WString& name);

    // The merged characters.
    WString Build(const CTagMerge& merge, const ConfigTags& ours, const ConfigTags& theirs) const;

private:
    // What the reader found on one line of OURS.
    struct LineStatement {
        WCHAR token = 0;  // version or tag token, else 0
        WString name;
        bool hasComment = false;  // a comment directly after the statement
        WString comment;
    };

    void AppendLine(WString& out, ULONG line, const CTagMerge& merge) const;
    static void AppendStatement(WString& out, const LineStatement& statement, const TagState& state);
    static void AppendConflict(WString& out, const LineStatement& statement, const MergedTag& tag);

    std::vector<WString> m_lines;  // each with its own line end; the last may have none
    std::map<ULONG, LineStatement> m_statements;
};
