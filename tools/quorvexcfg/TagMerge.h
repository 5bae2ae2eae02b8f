// The three-way merge of two files' tags against their common base, by tag
// identifier. Each tag, and the version, is merged on its own:
//   ours and theirs agree          -> that (a removal on both sides included)
//   only theirs differs from base  -> theirs
//   only ours differs from base    -> ours
//   both differ, and differently   -> a conflict
// A tag added on one side is one that differs from a base without it; a tag
// changed on one side and removed on the other is a conflict.
#pragma once
#include "tools/quorvexcfg/ConfigTags.h"

#include <map>
#include <optional>
#include <vector>

// A tag as one file has it; nullopt when the file has no such tag.
using TagState = std::optional<TagValue>;

struct MergedTag {
    bool conflict = false;
    TagState merged;  // when there is no conflict
    TagState base, ours, theirs;
};

class CTagMerge {
public:
    CTagMerge(const ConfigTags& base, const ConfigTags& ours, const ConfigTags& theirs);

    // The merged state of one tag: false for a conflict.
    static bool MergeOne(const TagState& base, const TagState& ours, const TagState& theirs, TagState& merged);

    const MergedTag& Version() const { return m_version; }
    // The outcome for an identifier that any of the three files has.
    const MergedTag& Tag(const WString& id) const { return m_tags.at(id); }
    // The conflicting identifiers: ours' order first, then theirs'.
    const std::vector<WString>& Conflicts() const { return m_conflicts; }

private:
    MergedTag Decide(TagState base, TagState ours, TagState theirs);

    MergedTag m_version;
    std::map<WString, MergedTag> m_tags;
    std::vector<WString> m_conflicts;
};
