#pragma once
// The captures a viewer window holds, in the order they came: which are
// shown, which one is the reference the table measures against, which one
// is selected, and how many captures of a followed folder are kept.
#include <cstddef>
#include <optional>
#include <vector>

#include "viewer/Capture.h"

namespace zop::viewer {

struct CaptureEntry {
    Capture Data;
    bool Shown = true;
    bool Followed = false; // came from a followed folder
    size_t ColourIndex = 0; // its place in the palette, kept for its life
};

class CaptureSet {
public:
    // Adds a capture; the first one becomes the reference and the selected
    // one. A followed capture pushes out the oldest followed ones beyond the
    // persistence count. Returns the new capture's index.
    size_t Add(Capture capture, bool followed = false);
    void Remove(size_t index);
    void Clear();

    size_t Size() const { return m_entries.size(); }
    bool Empty() const { return m_entries.empty(); }
    const CaptureEntry& operator[](size_t index) const { return m_entries[index]; }
    const std::vector<CaptureEntry>& Entries() const { return m_entries; }

    void SetShown(size_t index, bool shown);
    std::optional<size_t> Reference() const { return m_reference; }
    void SetReference(size_t index);
    std::optional<size_t> Selected() const { return m_selected; }
    void SetSelected(size_t index);

    // How many followed captures stay overlaid (at least 1).
    size_t Persistence() const { return m_persistence; }
    void SetPersistence(size_t count);
    // How old a followed capture is among the followed ones: 0 newest.
    std::optional<size_t> FollowedAge(size_t index) const;

    // The captures drawn, in order.
    std::vector<const Capture*> ShownCaptures() const;

private:
    void TrimFollowed();
    void Erase(size_t index);

    std::vector<CaptureEntry> m_entries;
    std::optional<size_t> m_reference;
    std::optional<size_t> m_selected;
    size_t m_persistence = 10;
    size_t m_nextColour = 0;
};

} // namespace zop::viewer
