// A collection's tags as plain data: identifiers and values in two arrays in
// insertion order, and an open-addressing index of positions for lookup by
// identifier. Owns every string and value it holds; not thread-safe (its
// owner locks). Copies are deep.
#pragma once
#include "platform/Bstr.h"
#include "platform/Platform.h"
#include "platform/Variant.h"

#include <cstdint>
#include <vector>

namespace tagserver {

class CTagData {
public:
    CTagData() = default;
    CTagData(const CTagData& other);
    CTagData& operator=(const CTagData&) = delete;
    ~CTagData();

    size_t Count() const { return m_ids.size(); }
    BSTR IdAt(size_t position) const { return m_ids[position]; }
    const VARIANT& ValueAt(size_t position) const { return m_values[position]; }
    // The position of the tag with this identifier; false when there is none.
    bool Find(const WCHAR* id, UINT length, size_t& position) const;

    // Room for count tags in all, so that adding up to it allocates nothing more.
    void Reserve(size_t count);
    // Takes the value, and the identifier when it is new (appended at the
    // end); an existing tag gets the value in place. What is taken is left
    // null/VT_EMPTY in the arguments.
    void Put(CBstr& id, CVariant& value);
    // Gives the tag at position the value, leaving VT_EMPTY in the argument.
    void TakeValueAt(size_t position, CVariant& value);
    void RemoveAt(size_t position);

private:
    static uint32_t Hash(const WCHAR* id, UINT length);
    void Rehash(size_t slotCount);
    void Index(size_t position);

    std::vector<BSTR> m_ids;
    std::vector<VARIANT> m_values;
    // Position + 1 of a tag, 0 for a free slot; a power of two in size, at
    // most half full.
    std::vector<uint32_t> m_slots;
};

}  // namespace tagserver
