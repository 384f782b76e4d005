#include "game/Occupancy.h"
#include "game/Direction.h"

#include <algorithm>

namespace game {

namespace {
constexpr int kLineLength = 10;

bool InGrid(std::int64_t x, std::int64_t y)
{
    return x >= Occupancy::kLeft && x < Occupancy::kLeft + Occupancy::kWidth && y >= Occupancy::kTop
        && y < Occupancy::kTop + Occupancy::kHeight;
}
} // namespace

Occupancy::Occupancy()
    : m_counts(static_cast<std::size_t>(kWidth) * kHeight, 0)
{
}

std::size_t Occupancy::TestedLines(std::size_t size, std::int32_t entries)
{
    // Line t is tested when its first entry, 3t, is below the count.
    const std::size_t whole = size / 3;
    if (entries <= 0)
        return 0;
    const std::size_t prefix = (static_cast<std::size_t>(entries) + 2) / 3;
    return std::min(prefix, whole);
}

void Occupancy::Rebuild(const BodyArray& body, std::int32_t entries)
{
    std::fill(m_counts.begin(), m_counts.end(), 0u);
    m_outside.clear();
    m_lines = 0;
    ++m_rebuilds;
    Settle(body, entries);
}

void Occupancy::Settle(const BodyArray& body, std::int32_t entries)
{
    const std::size_t target = TestedLines(body.GetSize(), entries);
    while (m_lines < target)
        ApplyLineAt(body, m_lines++, +1);
    while (m_lines > target)
        ApplyLineAt(body, --m_lines, -1);
    MarkSynced(body, entries);
}

void Occupancy::DropFirstLine(const BodyArray& body)
{
    if (m_lines == 0)
        return;
    ApplyLineAt(body, 0, -1);
    --m_lines;
}

void Occupancy::BeginRewrite(const BodyArray& body, std::size_t lines)
{
    for (std::size_t t = 0; t < std::min(lines, m_lines); ++t)
        ApplyLineAt(body, t, -1);
}

void Occupancy::EndRewrite(const BodyArray& body, std::size_t lines)
{
    for (std::size_t t = 0; t < std::min(lines, m_lines); ++t)
        ApplyLineAt(body, t, +1);
}

void Occupancy::ApplyLineAt(const BodyArray& body, std::size_t line, int delta)
{
    Apply(static_cast<std::int32_t>(body[3 * line]), static_cast<std::int32_t>(body[3 * line + 1]),
          body[3 * line + 2], delta);
}

void Occupancy::Apply(std::int32_t x, std::int32_t y, std::uint32_t dir, int delta)
{
    const bool vertical = IsVertical(dir);
    if (!vertical && !IsHorizontal(dir))
        return;   // covers nothing
    // A vertical line is the row segment (x .. x + 9, y), a horizontal one the
    // column segment (x, y .. y + 9).
    const std::int64_t lastX = std::int64_t{x} + (vertical ? kLineLength - 1 : 0);
    const std::int64_t lastY = std::int64_t{y} + (vertical ? 0 : kLineLength - 1);
    if (!InGrid(x, y) || !InGrid(lastX, lastY)) {
        const Line line{x, y, dir};
        if (delta > 0) {
            m_outside.push_back(line);
        } else {
            const auto it = std::find_if(m_outside.begin(), m_outside.end(), [&](const Line& l) {
                return l.x == line.x && l.y == line.y && l.dir == line.dir;
            });
            if (it != m_outside.end()) {
                *it = m_outside.back();
                m_outside.pop_back();
            }
        }
        return;
    }
    std::uint32_t* cell = &m_counts[static_cast<std::size_t>((y - kTop) * kWidth + (x - kLeft))];
    const std::ptrdiff_t step = vertical ? 1 : kWidth;
    for (int i = 0; i < kLineLength; ++i, cell += step)
        *cell += static_cast<std::uint32_t>(delta);
}

bool Occupancy::OutsideCovers(std::int32_t x, std::int32_t y) const
{
    for (const Line& l : m_outside) {
        if (IsVertical(l.dir) && l.x <= x && std::int64_t{x} < std::int64_t{l.x} + kLineLength && y == l.y)
            return true;
        if (IsHorizontal(l.dir) && x == l.x && l.y <= y && std::int64_t{y} < std::int64_t{l.y} + kLineLength)
            return true;
    }
    return false;
}

bool Occupancy::BlockCovered(std::int32_t x, std::int32_t y, int size) const
{
    const std::int64_t lastX = std::int64_t{x} + size - 1;
    const std::int64_t lastY = std::int64_t{y} + size - 1;
    if (m_outside.empty() && InGrid(x, y) && InGrid(lastX, lastY)) {
        const std::uint32_t* row = &m_counts[static_cast<std::size_t>((y - kTop) * kWidth + (x - kLeft))];
        for (int j = 0; j < size; ++j, row += kWidth)
            for (int i = 0; i < size; ++i)
                if (row[i] != 0)
                    return true;
        return false;
    }
    for (int j = 0; j < size; ++j)
        for (int i = 0; i < size; ++i)
            if (Covers(static_cast<std::int32_t>(x + i), static_cast<std::int32_t>(y + j)))
                return true;
    return false;
}

void Occupancy::PrepareBlockSearch(int left, int top, int width, int height, int size)
{
    m_sumLeft = left;
    m_sumTop = top;
    m_sumWidth = width;
    m_sumHeight = height;
    m_sumSize = size;
    // Pixels left .. left + width + size - 2 across, likewise down.
    const int w = width + size - 1;
    const int h = height + size - 1;
    const std::size_t stride = static_cast<std::size_t>(w) + 1;
    m_sums.assign(stride * (static_cast<std::size_t>(h) + 1), 0u);
    // The columns of the table that lie in the grid; the others count 0.
    const int firstIn = std::clamp(kLeft - left, 0, w);
    const int endIn = std::clamp(kLeft + kWidth - left, firstIn, w);
    for (int j = 0; j < h; ++j) {
        const int py = top + j;
        const std::uint32_t* above = &m_sums[static_cast<std::size_t>(j) * stride + 1];
        std::uint32_t* out = &m_sums[(static_cast<std::size_t>(j) + 1) * stride + 1];
        const bool rowIn = py >= kTop && py < kTop + kHeight;
        const std::uint32_t* counts
            = rowIn ? &m_counts[static_cast<std::size_t>(py - kTop) * kWidth + static_cast<std::size_t>(left - kLeft)]
                    : nullptr;
        std::uint32_t rowSum = 0;
        for (int i = 0; i < w; ++i) {
            if (rowIn && i >= firstIn && i < endIn && counts[i] != 0)
                ++rowSum;
            out[i] = above[i] + rowSum;
        }
    }
}

bool Occupancy::FirstFreeBlock(int startCol, int startRow, int& col, int& row) const
{
    const std::size_t stride = static_cast<std::size_t>(m_sumWidth + m_sumSize - 1) + 1;
    const std::size_t down = static_cast<std::size_t>(m_sumSize) * stride;
    const int count = m_sumWidth * m_sumHeight;
    int i = startCol, j = startRow;
    for (int n = 0; n < count;) {
        // The rest of row j from column i, or up to the start column when
        // the search has come round to its first row again.
        const int end = (n + (m_sumWidth - i) > count) ? i + (count - n) : m_sumWidth;
        const std::uint32_t* top = &m_sums[static_cast<std::size_t>(j) * stride];
        const std::uint32_t* bottom = top + down;
        for (int k = i; k < end; ++k) {
            const std::uint32_t covered = bottom[k + m_sumSize] - bottom[k] - top[k + m_sumSize] + top[k];
            if (covered == 0 && (m_outside.empty() || !BlockCovered(m_sumLeft + k, m_sumTop + j, m_sumSize))) {
                col = k;
                row = j;
                return true;
            }
        }
        n += end - i;
        i = 0;
        if (++j == m_sumHeight)
            j = 0;
    }
    // The last position looked at: the one just before the start.
    col = startCol == 0 ? m_sumWidth - 1 : startCol - 1;
    row = startCol == 0 ? (startRow == 0 ? m_sumHeight - 1 : startRow - 1) : startRow;
    return false;
}

} // namespace game
