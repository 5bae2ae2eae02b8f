// A collection's tags as plain data: per tag, in insertion order, its
// identifier and its value, and an open-addressing index of positions for
// lookup by identifier. Identifiers and text values are BSTRs the collection
// owns, so that a bulk load hands its strings over instead of copying them; a
// value that is not text is kept as a VARIANT beside the tags. Not
// thread-safe (its owner locks). Copies are deep.
#pragma once
#include "platform/Bstr.h"
#include "platform/Platform.h"
#include "platform/Variant.h"

#include <cstdint>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

namespace tagserver {

class CTagData {
public:
    using Text = std::basic_string_view<WCHAR>;

    CTagData() = default;
    CTagData(const CTagData& other);
    CTagData& operator=(const CTagData&) = delete;

    size_t Count() const { return m_tags.size(); }
    Text IdAt(size_t position) const { return TextOf(m_tags[position].id); }
    // A copy of the value of the tag at position, as the client gave it.
    HRESULT CopyValueAt(size_t position, VARIANT* value) const;
    // The position of the tag with this identifier; false when there is none.
    bool Find(Text id, size_t& position) const;

    // Copies the value in, and the identifier when it is new (appended at the
    // end); an existing tag gets the value in place. A failure changes nothing.
    HRESULT Put(Text id, const VARIANT& value);
    // Puts every pair of the arrays, taking identifiers and values over
    // instead of copying them: what it took is left null or VT_EMPTY. Once
    // room is made, only a value that is neither text nor VT_EMPTY needs
    // memory; a failure for lack of it ends the load at that pair.
    void TakeAll(BSTR* ids, VARIANT* values, size_t count);
    HRESULT PutValueAt(size_t position, const VARIANT& value);
    void RemoveAt(size_t position);

private:
    struct CRecord {
        CBstr id;
        CBstr text;  // null for no value, or a value in m_others
    };
    // A tag's place in the index, with its identifier's hash: a probe
    // compares identifiers only when the hashes agree, and a rehash needs no
    // identifier at all.
    struct CSlot {
        uint32_t nPosition;  // position + 1, 0 for a free slot
        uint32_t nHash;
    };

    // The value of the tag at position, still owned by the tag: never to be cleared.
    VARIANT Borrow(size_t position) const;
    static Text TextOf(BSTR text) { return Text(text, SysStringLen(text)); }
    static uint32_t Hash(Text id);
    // Room for count tags in all, so that adding up to them allocates
    // nothing more for the tags themselves.
    void Reserve(size_t count);
    // The slot of the tag with this identifier, or the free slot for it.
    size_t SlotOf(Text id, uint32_t hash) const;
    // Room for one tag more, taken before anything changes.
    void ReserveOneMore();
    // Rebuilds the index with slotCount slots; the tag at removed - 1, if
    // any, leaves it and every later tag moves down one position.
    void Rehash(size_t slotCount, uint32_t removed = 0);
    void Place(CSlot slot);
    void Append(CRecord record, uint32_t hash, size_t slot);
    void Take(BSTR& id, VARIANT& value, uint32_t hash);
    // Keeps other as the value of the tag at position when it holds one: the
    // only step of setting a value that may need memory, so it comes first.
    void StoreOther(size_t position, CVariant& other);
    // Copies a value: into text when it is text, else into other.
    static HRESULT Prepare(const VARIANT& value, CBstr& text, CVariant& other);

    std::vector<CRecord> m_tags;
    std::map<size_t, CVariant> m_others;  // values that are not text, by position
    // A power of two in size, at most half full.
    std::vector<CSlot> m_slots;
};

}  // namespace tagserver
