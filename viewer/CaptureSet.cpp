#include "viewer/CaptureSet.h"

#include <algorithm>

namespace zop::viewer {

size_t CaptureSet::Add(Capture capture, bool followed)
{
    m_entries.push_back({ std::move(capture), true, followed, m_nextColour++ });
    const size_t index = m_entries.size() - 1;
    if (!m_reference)
        m_reference = index;
    if (!m_selected || followed)
        m_selected = index;
    if (followed)
        TrimFollowed();
    return m_entries.size() - 1; // trimming moved it
}

void CaptureSet::Erase(size_t index)
{
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
    const auto shift = [&](std::optional<size_t>& place) {
        if (!place)
            return;
        if (*place == index)
            place = m_entries.empty() ? std::nullopt : std::optional<size_t>(std::min(index, m_entries.size() - 1));
        else if (*place > index)
            --*place;
    };
    shift(m_reference);
    shift(m_selected);
}

void CaptureSet::Remove(size_t index)
{
    if (index < m_entries.size())
        Erase(index);
}

void CaptureSet::Clear()
{
    m_entries.clear();
    m_reference.reset();
    m_selected.reset();
}

void CaptureSet::SetShown(size_t index, bool shown)
{
    if (index < m_entries.size())
        m_entries[index].Shown = shown;
}

void CaptureSet::SetReference(size_t index)
{
    if (index < m_entries.size())
        m_reference = index;
}

void CaptureSet::SetSelected(size_t index)
{
    if (index < m_entries.size())
        m_selected = index;
}

void CaptureSet::SetPersistence(size_t count)
{
    m_persistence = std::max<size_t>(count, 1);
    TrimFollowed();
}

std::optional<size_t> CaptureSet::FollowedAge(size_t index) const
{
    if (index >= m_entries.size() || !m_entries[index].Followed)
        return std::nullopt;
    size_t age = 0;
    for (size_t i = index + 1; i < m_entries.size(); ++i)
        age += m_entries[i].Followed ? 1 : 0;
    return age;
}

void CaptureSet::TrimFollowed()
{
    auto followed = static_cast<size_t>(
        std::count_if(m_entries.begin(), m_entries.end(), [](const CaptureEntry& entry) { return entry.Followed; }));
    for (size_t i = 0; i < m_entries.size() && followed > m_persistence;) {
        if (m_entries[i].Followed) {
            Erase(i);
            --followed;
        } else {
            ++i;
        }
    }
}

std::vector<const Capture*> CaptureSet::ShownCaptures() const
{
    std::vector<const Capture*> shown;
    for (const CaptureEntry& entry : m_entries)
        if (entry.Shown)
            shown.push_back(&entry.Data);
    return shown;
}

} // namespace zop::viewer
