#include "TagList.h"

namespace tagserver {

CTag* CTagList::Find(const WString& id) const {
    const auto found = m_positions.find(id);
    return found == m_positions.end() ? nullptr : m_tags[found->second].Get();
}

bool CTagList::PositionOf(const WString& id, size_t& position) const {
    const auto found = m_positions.find(id);
    if (found == m_positions.end()) return false;
    position = found->second;
    return true;
}

HRESULT CTagList::AddOrReplace(const WString& id, const VARIANT& value, CComPtr<CTag>* tag) {
    if (CTag* existing = Find(id)) {
        const HRESULT hr = existing->SetValue(value);
        if (SUCCEEDED(hr) && tag) *tag = existing;
        return hr;
    }
    CComPtr<CTag> created;
    const HRESULT hr = CTag::Create(id, value, created);
    if (FAILED(hr)) return hr;
    m_tags.push_back(created);
    try {
        m_positions.emplace(id, m_tags.size() - 1);
    } catch (...) {
        m_tags.pop_back();
        throw;
    }
    if (tag) *tag = created;
    return S_OK;
}

void CTagList::RemoveAt(size_t position) {
    m_positions.erase(m_tags[position]->Id());
    m_tags.erase(m_tags.begin() + static_cast<std::ptrdiff_t>(position));
    Reindex(position);
}

bool CTagList::Remove(const WString& id) {
    const auto found = m_positions.find(id);
    if (found == m_positions.end()) return false;
    RemoveAt(found->second);
    return true;
}

void CTagList::Clear() {
    m_tags.clear();
    m_positions.clear();
}

void CTagList::Swap(CTagList& other) noexcept {
    m_tags.swap(other.m_tags);
    m_positions.swap(other.m_positions);
}

void CTagList::Reindex(size_t from) {
    for (size_t position = from; position < m_tags.size(); ++position)
        m_positions[m_tags[position]->Id()] = position;
}

}  // namespace tagserver
