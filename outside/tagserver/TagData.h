// A collection's tags as plain data: the text of every identifier and value in
// one character pool, a record of offsets and lengths per tag in insertion
// order, and an open-addressing index of positions for lookup by identifier.
// A value that is not text is kept as a VARIANT beside the pool. Not
// thread-safe (its owner locks). Copies are deep.
#pragma once
#include "platform/Platform.h"
#include "platform/Variant.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace tagserver {

class CTagData {
public:
    using Text = std::basic_string_view<WCHAR>;

    CTagData() = default;
    CTagData(const CTagData& other);
    CTagData& operator=(const CTagData&) = delete;
    ~CTagData();

    size_t Count() const { return m_tags.size(); }
    Text IdAt(size_t position) const { return Slice(m_tags[position].nId, m_tags[position].nIdLength); }
    // A copy of the value of the tag at position, as the client gave it.
    HRESULT CopyValueAt(size_t position, VARIANT* value) const;
    // The position of the tag with this identifier; false when there is none.
    bool Find(Text id, size_t& position) const;

    // Room for count tags in all and characters more text, so that adding up
    // to them allocates nothing more.
    void Reserve(size_t count, size_t characters);
    // Copies the value in, and the identifier when it is new (appended at the
    // end); an existing tag gets the value in place. A failure changes nothing.
    HRESULT Put(Text id, const VARIANT& value);
    HRESULT PutValueAt(size_t position, const VARIANT& value);
    void RemoveAt(size_t position);

private:
    // A value's length when the tag has none, or when its value is the
    // VARIANT at m_others[nValue].
    static constexpr uint32_t kNoValue = 0xFFFFFFFF;
    static constexpr uint32_t kOtherValue = 0xFFFFFFFE;

    struct CRecord {
        uint32_t nId;
        uint32_t nIdLength;
        uint32_t nValue;
        uint32_t nValueLength;
    };

    static uint32_t Hash(Text id);
    // The slot of the tag with this identifier, or the free slot for it.
    size_t SlotOf(Text id) const;
    static bool IsText(const VARIANT& value) { return V_VT(&value) == VT_BSTR && V_BSTR(&value); }
    Text Slice(uint32_t offset, uint32_t length) const { return Text(m_pool.data() + offset, length); }
    void Rehash(size_t slotCount);
    void Index(size_t position);
    // Room in the pool for characters more, compacting it first when it
    // holds more garbage than live text; E_OUTOFMEMORY past 32-bit offsets.
    HRESULT MakeRoom(size_t characters);
    // Appends text within the room made and gives its offset.
    uint32_t Append(Text text);
    void Compact();
    // Makes room for the value's text and characters more, or copies a value
    // that is not text into other: all that may fail before a value is set.
    HRESULT Prepare(const VARIANT& value, size_t characters, CVariant& other);
    void SetValue(CRecord& tag, const VARIANT& value, CVariant& other);
    void ForgetValue(CRecord& tag);

    std::vector<WCHAR> m_pool;
    size_t m_nLiveText = 0;  // characters of the pool that tags still use
    std::vector<CRecord> m_tags;
    std::vector<VARIANT> m_others;
    // Position + 1 of a tag, 0 for a free slot; a power of two in size, at
    // most half full.
    std::vector<uint32_t> m_slots;
};

}  // namespace tagserver
