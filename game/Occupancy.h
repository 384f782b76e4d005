#pragma once
#include "game/BodyArray.h"

#include <cstdint>
#include <vector>

namespace game {

// A running record of which pixels the tested body lines cover, so that the
// hit test and the food placement look up pixels instead of scanning the body.
//
// The tested lines are the leading lines of the body whose first entry index
// is below the tested-entry count: lines 0 .. ceil(E / 3) - 1 for E > 0, and
// never more than the whole lines the body holds. Each pixel of the grid keeps
// how many tested lines cover it. A line with any pixel outside the grid (only
// a head shifted past a wall, or values put in by hand, do that) is kept in a
// short list instead and looked at one by one.
//
// The record follows the body in two ways. The game's own changes are applied
// line by line (Settle, DropFirstLine, BeginRewrite and EndRewrite, each
// ending in MarkSynced or followed by it). Any other change of
// the body (the BodyArray version moves) or of the tested-entry count is caught
// by InSync, and the record is then rebuilt from the body in one pass.
class Occupancy {
public:
    // The grid: every pixel a line can reach in play, with room to spare.
    static constexpr int kLeft = -16;
    static constexpr int kTop = 48;
    static constexpr int kWidth = 304;
    static constexpr int kHeight = 304;

    Occupancy();

    // How many leading lines the tested prefix holds for a body of `size`
    // entries and a tested-entry count `entries`.
    static std::size_t TestedLines(std::size_t size, std::int32_t entries);

    bool InSync(const BodyArray& body, std::int32_t entries) const
    {
        return m_synced && body.Version() == m_version && entries == m_entries;
    }
    // Counts the tested lines of the body afresh.
    void Rebuild(const BodyArray& body, std::int32_t entries);
    // Records that the counts now match this body and count.
    void MarkSynced(const BodyArray& body, std::int32_t entries)
    {
        m_version = body.Version();
        m_entries = entries;
        m_synced = true;
    }

    // Lines counted so far: always the leading ones.
    std::size_t CoveredLines() const { return m_lines; }
    // Adds or drops lines at the end of the counted prefix until it is the
    // tested prefix of this body and count.
    void Settle(const BodyArray& body, std::int32_t entries);
    // Before the body drops its first line: uncounts it if it was counted.
    void DropFirstLine(const BodyArray& body);
    // Around a rewrite of the values of the first `lines` lines in place:
    // uncounts those of them that are counted, and counts them again after.
    void BeginRewrite(const BodyArray& body, std::size_t lines);
    void EndRewrite(const BodyArray& body, std::size_t lines);

    // True when a tested line covers the pixel (x, y).
    bool Covers(std::int32_t x, std::int32_t y) const
    {
        const std::int64_t gx = std::int64_t{x} - kLeft;
        const std::int64_t gy = std::int64_t{y} - kTop;
        if (gx >= 0 && gx < kWidth && gy >= 0 && gy < kHeight
            && m_counts[static_cast<std::size_t>(gy * kWidth + gx)] != 0)
            return true;
        return !m_outside.empty() && OutsideCovers(x, y);
    }
    // True when a tested line covers any pixel of the size x size block whose
    // top-left pixel is (x, y).
    bool BlockCovered(std::int32_t x, std::int32_t y, int size) const;

    // For a search over many blocks of one size: a table of covered-pixel
    // sums over the blocks with top-left corner in [left, left + width) x
    // [top, top + height), which answers each block in constant time.
    void PrepareBlockSearch(int left, int top, int width, int height, int size);
    // The first free block in row-major order from (startCol, startRow) of
    // the table, coming round to the first row after the last: true and its
    // column and row in the table, or false and the last position looked at.
    bool FirstFreeBlock(int startCol, int startRow, int& col, int& row) const;

    // How often the record was rebuilt from the body (the slow way).
    std::uint64_t Rebuilds() const { return m_rebuilds; }

private:
    struct Line { std::int32_t x, y; std::uint32_t dir; };
    void Apply(std::int32_t x, std::int32_t y, std::uint32_t dir, int delta);
    void ApplyLineAt(const BodyArray& body, std::size_t line, int delta);
    bool OutsideCovers(std::int32_t x, std::int32_t y) const;

    std::vector<std::uint32_t> m_counts;
    std::vector<Line> m_outside;
    std::size_t m_lines = 0;

    // The block search table: sums over (width + size) x (height + size)
    // pixels, one extra row and column of zeros at the top and left.
    std::vector<std::uint32_t> m_sums;
    int m_sumLeft = 0, m_sumTop = 0, m_sumWidth = 0, m_sumHeight = 0, m_sumSize = 0;

    bool m_synced = false;
    std::uint64_t m_version = 0;
    std::int32_t m_entries = 0;
    std::uint64_t m_rebuilds = 0;
};

} // namespace game
