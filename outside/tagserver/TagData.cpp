#include "TagData.h"

#include <cwchar>
#include <new>

namespace tagserver {

CTagData::CTagData(const CTagData& other) {
    Reserve(other.Count());
    for (size_t i = 0; i < other.Count(); ++i) {
        CBstr id(other.m_ids[i], SysStringLen(other.m_ids[i]));
        CVariant value;
        if (!id.Get() || FAILED(VariantCopy(value.Get(), const_cast<VARIANT*>(&other.m_values[i]))))
            throw std::bad_alloc();
        Put(id, value);
    }
}

CTagData::~CTagData() {
    for (BSTR id : m_ids) SysFreeString(id);
    for (VARIANT& value : m_values) VariantClear(&value);
}

uint32_t CTagData::Hash(const WCHAR* id, UINT length) {
    uint32_t hash = 2166136261u;  // FNV-1a over the 16-bit units
    for (UINT i = 0; i < length; ++i) hash = (hash ^ id[i]) * 16777619u;
    return hash;
}

bool CTagData::Find(const WCHAR* id, UINT length, size_t& position) const {
    if (m_slots.empty()) return false;
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = Hash(id, length) & mask; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        const BSTR candidate = m_ids[m_slots[slot] - 1];
        if (SysStringLen(candidate) == length && std::wmemcmp(candidate, id, length) == 0) {
            position = m_slots[slot] - 1;
            return true;
        }
    }
    return false;
}

void CTagData::Reserve(size_t count) {
    m_ids.reserve(count);
    m_values.reserve(count);
    size_t slotCount = m_slots.empty() ? 16 : m_slots.size();
    while (slotCount < 2 * count) slotCount *= 2;
    if (slotCount != m_slots.size()) Rehash(slotCount);
}

void CTagData::Rehash(size_t slotCount) {
    m_slots.assign(slotCount, 0);
    for (size_t position = 0; position < m_ids.size(); ++position) Index(position);
}

void CTagData::Index(size_t position) {
    const size_t mask = m_slots.size() - 1;
    size_t slot = Hash(m_ids[position], SysStringLen(m_ids[position])) & mask;
    while (m_slots[slot] != 0) slot = (slot + 1) & mask;
    m_slots[slot] = static_cast<uint32_t>(position + 1);
}

void CTagData::Put(CBstr& id, CVariant& value) {
    size_t position = 0;
    if (Find(id.Get(), id.Length(), position)) return TakeValueAt(position, value);
    // Grow by doubling, and before anything is taken: a failed Put changes nothing.
    if (m_ids.size() == m_ids.capacity() || 2 * (m_ids.size() + 1) > m_slots.size())
        Reserve(m_ids.empty() ? 8 : 2 * m_ids.size());
    m_ids.push_back(id.Detach());
    m_values.push_back(value.Detach());
    Index(m_ids.size() - 1);
}

void CTagData::TakeValueAt(size_t position, CVariant& value) {
    VariantClear(&m_values[position]);
    m_values[position] = value.Detach();
}

void CTagData::RemoveAt(size_t position) {
    SysFreeString(m_ids[position]);
    VariantClear(&m_values[position]);
    m_ids.erase(m_ids.begin() + static_cast<std::ptrdiff_t>(position));
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(position));
    Rehash(m_slots.size());  // every later position moved down by one
}

}  // namespace tagserver
