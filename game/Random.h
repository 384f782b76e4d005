#pragma once
#include <cstdint>

namespace game {

// The C runtime's kind of pseudo-random generator: a linear congruence
// returning 15 bits. It is never seeded, so every run of the program draws
// the same sequence.
class Random {
public:
    int rand()
    {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFFu);
    }

private:
    std::uint32_t m_state = 1;
};

} // namespace game
