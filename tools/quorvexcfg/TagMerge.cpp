#include "tools/quorvexcfg/TagMerge.h"

namespace {

TagState StateIn(const ConfigTags& tags, const WString& id) {
    const TagValue* value = tags.Find(id);
    return value ? TagState(*value) : TagState();
}

}  // namespace

bool CTagMerge::MergeOne(const TagState& base, const TagState& ours, const TagState& theirs, TagState& merged) {
    if (ours == theirs || ours == base) {
        merged = theirs;
    } else if (theirs == base) {
        merged = ours;
    } else {
        return false;
    }
    return true;
}

MergedTag CTagMerge::Decide(TagState base, TagState ours, TagState theirs) {
    MergedTag tag;
    tag.conflict = !MergeOne(base, ours, theirs, tag.merged);
    tag.base = std::move(base);
    tag.ours = std::move(ours);
    tag.theirs = std::move(theirs);
    return tag;
}

CTagMerge::CTagMerge(const ConfigTags& base, const ConfigTags& ours, const ConfigTags& theirs)
    : m_version(Decide(TagValue(base.version), TagValue(ours.version), TagValue(theirs.version))) {
    for (const ConfigTags* side : {&ours, &theirs, &base}) {
        for (const WString& id : side->order) {
            if (m_tags.count(id)) continue;
            const MergedTag& tag =
                m_tags.emplace(id, Decide(StateIn(base, id), StateIn(ours, id), StateIn(theirs, id))).first->second;
            if (tag.conflict) m_conflicts.push_back(id);
        }
    }
}
