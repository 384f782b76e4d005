#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace game {

// The body lines, flattened: three entries (X, Y, direction) per line, the
// oldest line first. Lines are appended at the end and removed at the front;
// removing at the front only moves a start index, and the storage is
// compacted once the unused front outgrows the live part, so both ends cost
// O(1) amortised however long the snake gets.
class BodyArray {
public:
    std::size_t GetSize() const { return m_data.size() - m_start; }
    bool IsEmpty() const { return GetSize() == 0; }

    std::uint32_t operator[](std::size_t i) const { return m_data[m_start + i]; }
    std::uint32_t& operator[](std::size_t i) { return m_data[m_start + i]; }

    void Add(std::uint32_t value) { m_data.push_back(value); }
    void AddLine(std::int32_t x, std::int32_t y, std::uint32_t dir)
    {
        m_data.push_back(static_cast<std::uint32_t>(x));
        m_data.push_back(static_cast<std::uint32_t>(y));
        m_data.push_back(dir);
    }

    // Removes `count` entries from the front (RemoveAt(0, count)).
    void RemoveFront(std::size_t count)
    {
        m_start += count < GetSize() ? count : GetSize();
        if (m_start > 64 && m_start * 2 > m_data.size()) {
            m_data.erase(m_data.begin(), m_data.begin() + static_cast<std::ptrdiff_t>(m_start));
            m_start = 0;
        }
    }

    // SetSize(0): empties the array and keeps its storage for the next game.
    void RemoveAll()
    {
        m_data.clear();
        m_start = 0;
    }

    const std::uint32_t* Data() const { return m_data.data() + m_start; }
    std::uint32_t* Data() { return m_data.data() + m_start; }

private:
    std::vector<std::uint32_t> m_data;
    std::size_t m_start = 0;
};

} // namespace game
