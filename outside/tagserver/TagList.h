// Tags in insertion order with unique identifiers; not thread-safe (its owner locks).
#pragma once
#include "Tag.h"

#include <unordered_map>
#include <vector>

namespace tagserver {

class CTagList {
public:
    using Snapshot = std::vector<CComPtr<CTag>>;

    size_t Count() const { return m_tags.size(); }
    // The tag with this identifier, or null.
    CTag* Find(const WString& id) const;
    // The position of the tag with this identifier; false when there is none.
    bool PositionOf(const WString& id, size_t& position) const;
    CTag* At(size_t position) const { return m_tags[position].Get(); }
    // Adds a new tag at the end, or gives an existing one the value in place.
    HRESULT AddOrReplace(const WString& id, const VARIANT& value, CComPtr<CTag>* tag = nullptr);
    void RemoveAt(size_t position);
    bool Remove(const WString& id);
    void Clear();
    void Swap(CTagList& other) noexcept;
    Snapshot Tags() const { return m_tags; }

private:
    void Reindex(size_t from);

    std::vector<CComPtr<CTag>> m_tags;
    std::unordered_map<WString, size_t> m_positions;
};

}  // namespace tagserver
