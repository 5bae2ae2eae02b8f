#include "TagData.h"

#include <new>

namespace tagserver {

CTagData::CTagData(const CTagData& other) : m_slots(other.m_slots) {
    m_tags.reserve(other.m_tags.size());
    for (const CRecord& tag : other.m_tags) {
        m_tags.push_back(CRecord{CBstr(tag.id.Get(), tag.id.Length()), CBstr()});
        if (m_tags.back().id.IsNull()) throw std::bad_alloc();
        if (!tag.text.IsNull()) m_tags.back().text = CBstr(tag.text.Get(), tag.text.Length());
        if (!tag.text.IsNull() && m_tags.back().text.IsNull()) throw std::bad_alloc();
    }
    for (const auto& value : other.m_others)
        if (FAILED(VariantCopy(m_others[value.first].Get(), const_cast<VARIANT*>(value.second.Get()))))
            throw std::bad_alloc();
}

uint32_t CTagData::Hash(Text id) {
    uint32_t hash = 2166136261u;  // FNV-1a over the 16-bit units
    for (WCHAR c : id) hash = (hash ^ c) * 16777619u;
    // Its low bits, which pick the slot, see only the low bits of each step:
    // identifiers that differ in a few digits would crowd together. Mix the
    // high bits down.
    hash ^= hash >> 16;
    hash *= 0x85EBCA6Bu;
    hash ^= hash >> 13;
    return hash;
}

VARIANT CTagData::Borrow(size_t position) const {
    VARIANT value;
    VariantInit(&value);
    const CRecord& tag = m_tags[position];
    if (!tag.text.IsNull()) {
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = tag.text.Get();
        return value;
    }
    const auto other = m_others.find(position);
    return other == m_others.end() ? value : *other->second.Get();
}

HRESULT CTagData::CopyValueAt(size_t position, VARIANT* value) const {
    VARIANT borrowed = Borrow(position);
    VariantInit(value);
    return VariantCopy(value, &borrowed);
}

bool CTagData::Find(Text id, size_t& position) const {
    if (m_slots.empty()) return false;
    const uint32_t found = m_slots[SlotOf(id, Hash(id))].nPosition;
    position = found - size_t(1);
    return found != 0;
}

size_t CTagData::SlotOf(Text id, uint32_t hash) const {
    const size_t mask = m_slots.size() - 1;
    size_t slot = hash & mask;
    for (; m_slots[slot].nPosition != 0; slot = (slot + 1) & mask)
        if (m_slots[slot].nHash == hash && IdAt(m_slots[slot].nPosition - 1) == id) break;
    return slot;
}

void CTagData::Reserve(size_t count) {
    m_tags.reserve(count);
    size_t slotCount = m_slots.empty() ? 16 : m_slots.size();
    while (slotCount < 2 * count) slotCount *= 2;
    if (slotCount != m_slots.size()) Rehash(slotCount);
}

// Grows by doubling, so that a run of Puts costs linear time.
void CTagData::ReserveOneMore() {
    if (m_tags.size() == m_tags.capacity() || 2 * (m_tags.size() + 1) > m_slots.size())
        Reserve(m_tags.empty() ? 8 : 2 * m_tags.size());
}

void CTagData::Rehash(size_t slotCount, uint32_t removed) {
    std::vector<CSlot> old(slotCount, CSlot{0, 0});
    old.swap(m_slots);
    for (CSlot slot : old) {
        if (slot.nPosition == 0 || slot.nPosition == removed) continue;
        if (removed != 0 && slot.nPosition > removed) --slot.nPosition;
        Place(slot);
    }
}

void CTagData::Place(CSlot slot) {
    const size_t mask = m_slots.size() - 1;
    size_t free = slot.nHash & mask;
    while (m_slots[free].nPosition != 0) free = (free + 1) & mask;
    m_slots[free] = slot;
}

void CTagData::Append(CRecord record, uint32_t hash, size_t slot) {
    m_tags.push_back(std::move(record));
    m_slots[slot] = CSlot{static_cast<uint32_t>(m_tags.size()), hash};
}

HRESULT CTagData::Prepare(const VARIANT& value, CBstr& text, CVariant& other) {
    if (V_VT(&value) != VT_BSTR || !V_BSTR(&value)) return VariantCopy(other.Get(), const_cast<VARIANT*>(&value));
    text = CBstr(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
    return text.IsNull() ? E_OUTOFMEMORY : S_OK;
}

void CTagData::StoreOther(size_t position, CVariant& other) {
    if (other.Type() == VT_EMPTY)
        m_others.erase(position);
    else
        *m_others[position].Out() = other.Detach();
}

HRESULT CTagData::Put(Text id, const VARIANT& value) {
    ReserveOneMore();
    const uint32_t hash = Hash(id);
    const size_t slot = SlotOf(id, hash);
    if (m_slots[slot].nPosition != 0) return PutValueAt(m_slots[slot].nPosition - 1, value);
    CRecord tag{CBstr(id.data(), static_cast<UINT>(id.size())), CBstr()};
    CVariant other;
    const HRESULT hr = tag.id.IsNull() ? E_OUTOFMEMORY : Prepare(value, tag.text, other);
    if (FAILED(hr)) return hr;
    StoreOther(m_tags.size(), other);
    Append(std::move(tag), hash, slot);
    return S_OK;
}

void CTagData::TakeAll(BSTR* ids, VARIANT* values, size_t count) {
    Reserve(m_tags.size() + count);
    std::vector<uint32_t> hashes(count);
    for (size_t i = 0; i < count; ++i) hashes[i] = Hash(TextOf(ids[i]));
    // Slots are looked at in no order: fetching them ahead lets their cache
    // misses overlap.
    constexpr size_t kAhead = 16;
    const size_t mask = m_slots.size() - 1;
    for (size_t i = 0; i < count; ++i) {
        if (i + kAhead < count) __builtin_prefetch(&m_slots[hashes[i + kAhead] & mask]);
        Take(ids[i], values[i], hashes[i]);
    }
}

void CTagData::Take(BSTR& id, VARIANT& value, uint32_t hash) {
    CBstr text;
    CVariant other;
    if (V_VT(&value) == VT_BSTR && V_BSTR(&value))
        text.Attach(V_BSTR(&value));
    else
        *other.Get() = value;
    VariantInit(&value);
    const size_t slot = SlotOf(TextOf(id), hash);
    const bool isNew = m_slots[slot].nPosition == 0;
    StoreOther(isNew ? m_tags.size() : m_slots[slot].nPosition - 1, other);
    if (!isNew) {
        m_tags[m_slots[slot].nPosition - 1].text = std::move(text);
        return;  // the identifier stays with the array
    }
    CBstr taken;
    taken.Attach(std::exchange(id, nullptr));
    Append(CRecord{std::move(taken), std::move(text)}, hash, slot);
}

HRESULT CTagData::PutValueAt(size_t position, const VARIANT& value) {
    CBstr text;
    CVariant other;
    const HRESULT hr = Prepare(value, text, other);
    if (FAILED(hr)) return hr;
    StoreOther(position, other);
    m_tags[position].text = std::move(text);
    return S_OK;
}

void CTagData::RemoveAt(size_t position) {
    m_tags.erase(m_tags.begin() + static_cast<std::ptrdiff_t>(position));
    m_others.erase(position);
    // Every later tag moves down one position, its value with it.
    for (auto later = m_others.upper_bound(position); later != m_others.end();) {
        auto node = m_others.extract(later++);
        --node.key();
        m_others.insert(std::move(node));
    }
    Rehash(m_slots.size(), static_cast<uint32_t>(position + 1));
}

}  // namespace tagserver
