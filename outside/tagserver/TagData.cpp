#include "TagData.h"

#include <algorithm>
#include <new>

namespace tagserver {

CTagData::CTagData(const CTagData& other)
    : m_pool(other.m_pool), m_nLiveText(other.m_nLiveText), m_tags(other.m_tags), m_slots(other.m_slots) {
    m_others.reserve(other.m_others.size());
    for (const VARIANT& value : other.m_others) {
        m_others.emplace_back();
        VariantInit(&m_others.back());
        if (FAILED(VariantCopy(&m_others.back(), const_cast<VARIANT*>(&value)))) throw std::bad_alloc();
    }
}

CTagData::~CTagData() {
    for (VARIANT& value : m_others) VariantClear(&value);
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

HRESULT CTagData::CopyValueAt(size_t position, VARIANT* value) const {
    const CRecord& tag = m_tags[position];
    VariantInit(value);
    if (tag.nValueLength == kNoValue) return S_OK;
    if (tag.nValueLength == kOtherValue) return VariantCopy(value, const_cast<VARIANT*>(&m_others[tag.nValue]));
    V_BSTR(value) = SysAllocStringLen(m_pool.data() + tag.nValue, tag.nValueLength);
    if (!V_BSTR(value)) return E_OUTOFMEMORY;
    V_VT(value) = VT_BSTR;
    return S_OK;
}

bool CTagData::Find(Text id, size_t& position) const {
    if (m_slots.empty()) return false;
    const uint32_t found = m_slots[SlotOf(id)];
    position = found - size_t(1);
    return found != 0;
}

size_t CTagData::SlotOf(Text id) const {
    const size_t mask = m_slots.size() - 1;
    size_t slot = Hash(id) & mask;
    while (m_slots[slot] != 0 && IdAt(m_slots[slot] - 1) != id) slot = (slot + 1) & mask;
    return slot;
}

void CTagData::Reserve(size_t count, size_t characters) {
    m_tags.reserve(count);
    m_pool.reserve(m_pool.size() + characters);
    size_t slotCount = m_slots.empty() ? 16 : m_slots.size();
    while (slotCount < 2 * count) slotCount *= 2;
    if (slotCount != m_slots.size()) Rehash(slotCount);
}

void CTagData::Rehash(size_t slotCount) {
    m_slots.assign(slotCount, 0);
    for (size_t position = 0; position < m_tags.size(); ++position) Index(position);
}

void CTagData::Index(size_t position) { m_slots[SlotOf(IdAt(position))] = static_cast<uint32_t>(position + 1); }

HRESULT CTagData::MakeRoom(size_t characters) {
    if (m_pool.size() - m_nLiveText > m_nLiveText) Compact();
    // Offsets are 32-bit, and the top two lengths mark values that are not text.
    if (m_pool.size() + characters >= kOtherValue) return E_OUTOFMEMORY;
    if (m_pool.capacity() - m_pool.size() < characters)
        m_pool.reserve(std::max(m_pool.size() + characters, 2 * m_pool.size()));
    return S_OK;
}

uint32_t CTagData::Append(Text text) {
    const size_t offset = m_pool.size();
    m_pool.insert(m_pool.end(), text.begin(), text.end());
    m_nLiveText += text.size();
    return static_cast<uint32_t>(offset);
}

void CTagData::Compact() {
    std::vector<WCHAR> pool;
    pool.reserve(m_nLiveText);
    std::vector<VARIANT> others;
    others.reserve(m_others.size());
    // Nothing below allocates: a failure above leaves the tags as they were.
    for (CRecord& tag : m_tags) {
        const Text id = Slice(tag.nId, tag.nIdLength);
        tag.nId = static_cast<uint32_t>(pool.size());
        pool.insert(pool.end(), id.begin(), id.end());
        if (tag.nValueLength < kOtherValue) {
            const Text value = Slice(tag.nValue, tag.nValueLength);
            tag.nValue = static_cast<uint32_t>(pool.size());
            pool.insert(pool.end(), value.begin(), value.end());
        } else if (tag.nValueLength == kOtherValue) {
            others.push_back(m_others[tag.nValue]);  // moved: the holes left behind are empty
            tag.nValue = static_cast<uint32_t>(others.size() - 1);
        }
    }
    m_pool.swap(pool);
    m_others.swap(others);
}

HRESULT CTagData::Prepare(const VARIANT& value, size_t characters, CVariant& other) {
    HRESULT hr = MakeRoom(characters + (IsText(value) ? SysStringLen(V_BSTR(&value)) : 0));
    if (FAILED(hr) || IsText(value) || V_VT(&value) == VT_EMPTY) return hr;
    hr = VariantCopy(other.Get(), const_cast<VARIANT*>(&value));
    if (SUCCEEDED(hr) && m_others.size() == m_others.capacity()) m_others.reserve(2 * m_others.size() + 1);
    return hr;
}

void CTagData::SetValue(CRecord& tag, const VARIANT& value, CVariant& other) {
    if (IsText(value)) {
        const Text text(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
        tag.nValue = Append(text);
        tag.nValueLength = static_cast<uint32_t>(text.size());
    } else if (V_VT(&value) == VT_EMPTY) {
        tag.nValue = 0;
        tag.nValueLength = kNoValue;
    } else {
        m_others.push_back(other.Detach());
        tag.nValue = static_cast<uint32_t>(m_others.size() - 1);
        tag.nValueLength = kOtherValue;
    }
}

void CTagData::ForgetValue(CRecord& tag) {
    if (tag.nValueLength == kOtherValue)
        VariantClear(&m_others[tag.nValue]);
    else if (tag.nValueLength != kNoValue)
        m_nLiveText -= tag.nValueLength;
    tag.nValueLength = kNoValue;
}

HRESULT CTagData::Put(Text id, const VARIANT& value) {
    // Grow by doubling, and before anything is taken: a failed Put changes nothing.
    if (m_tags.size() == m_tags.capacity() || 2 * (m_tags.size() + 1) > m_slots.size())
        Reserve(m_tags.empty() ? 8 : 2 * m_tags.size(), 0);
    const size_t slot = SlotOf(id);
    if (m_slots[slot] != 0) return PutValueAt(m_slots[slot] - 1, value);
    CVariant other;
    const HRESULT hr = Prepare(value, id.size(), other);
    if (FAILED(hr)) return hr;
    CRecord tag = {Append(id), static_cast<uint32_t>(id.size()), 0, kNoValue};
    SetValue(tag, value, other);
    m_tags.push_back(tag);
    m_slots[slot] = static_cast<uint32_t>(m_tags.size());
    return S_OK;
}

HRESULT CTagData::PutValueAt(size_t position, const VARIANT& value) {
    CVariant other;
    const HRESULT hr = Prepare(value, 0, other);
    if (FAILED(hr)) return hr;
    CRecord& tag = m_tags[position];
    if (tag.nValueLength == kOtherValue && other.Type() != VT_EMPTY) {
        // In place: a client that writes numbers again and again leaves no holes.
        VariantClear(&m_others[tag.nValue]);
        m_others[tag.nValue] = other.Detach();
        return S_OK;
    }
    ForgetValue(tag);
    SetValue(tag, value, other);
    return S_OK;
}

void CTagData::RemoveAt(size_t position) {
    ForgetValue(m_tags[position]);
    m_nLiveText -= m_tags[position].nIdLength;
    m_tags.erase(m_tags.begin() + static_cast<std::ptrdiff_t>(position));
    Rehash(m_slots.size());  // every later position moved down by one
}

}  // namespace tagserver
