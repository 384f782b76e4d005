#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace game {

// The body lines, flattened: three entries (X, Y, direction) per line, the
// oldest line first. Lines are appended at the end and removed at the front;
// removing at the front only moves a start index, and the storage is
// compacted once the unused front outgrows the live part, so both ends cost
// O(1) amortised however long the snake gets.
//
// Version() moves on every change, and on every access that could change an
// entry (non-const operator[] and Data()), so that records kept alongside the
// body (the game's Occupancy) can tell when it was changed behind their back.
// A reference or pointer obtained that way must not be kept and written to
// later: the write would come after the version moved.
class BodyArray {
public:
    BodyArray() = default;
    BodyArray(const BodyArray&) = default;
    BodyArray(BodyArray&&) = default;
    // An assigned body is a change like any other: its version moves past
    // both, so that no record synced to either takes it for unchanged.
    BodyArray& operator=(const BodyArray& other)
    {
        m_data = other.m_data;
        m_start = other.m_start;
        m_version = (m_version > other.m_version ? m_version : other.m_version) + 1;
        return *this;
    }
    BodyArray& operator=(BodyArray&& other) noexcept
    {
        const std::uint64_t version = (m_version > other.m_version ? m_version : other.m_version) + 1;
        m_data = std::move(other.m_data);
        m_start = other.m_start;
        m_version = version;
        other.m_data.clear();
        other.m_start = 0;
        ++other.m_version;
        return *this;
    }

    std::size_t GetSize() const { return m_data.size() - m_start; }
    bool IsEmpty() const { return GetSize() == 0; }

    std::uint32_t operator[](std::size_t i) const { return m_data[m_start + i]; }
    std::uint32_t& operator[](std::size_t i)
    {
        ++m_version;
        return m_data[m_start + i];
    }

    void Add(std::uint32_t value)
    {
        ++m_version;
        m_data.push_back(value);
    }
    void AddLine(std::int32_t x, std::int32_t y, std::uint32_t dir)
    {
        ++m_version;
        m_data.push_back(static_cast<std::uint32_t>(x));
        m_data.push_back(static_cast<std::uint32_t>(y));
        m_data.push_back(dir);
    }

    // Removes `count` entries from the front (RemoveAt(0, count)).
    void RemoveFront(std::size_t count)
    {
        ++m_version;
        m_start += count < GetSize() ? count : GetSize();
        if (m_start > 64 && m_start * 2 > m_data.size()) {
            m_data.erase(m_data.begin(), m_data.begin() + static_cast<std::ptrdiff_t>(m_start));
            m_start = 0;
        }
    }

    // SetSize(0): empties the array and keeps its storage for the next game.
    void RemoveAll()
    {
        ++m_version;
        m_data.clear();
        m_start = 0;
    }

    const std::uint32_t* Data() const { return m_data.data() + m_start; }
    std::uint32_t* Data()
    {
        ++m_version;
        return m_data.data() + m_start;
    }

    std::uint64_t Version() const { return m_version; }

private:
    std::vector<std::uint32_t> m_data;
    std::size_t m_start = 0;
    std::uint64_t m_version = 0;
};

} // namespace game
