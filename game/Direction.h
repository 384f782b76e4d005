#pragma once
#include <cstdint>

namespace game {

// Direction codes of the head and of body lines.
enum : std::uint32_t {
    DIR_UP = 1,
    DIR_RIGHT = 2,
    DIR_DOWN = 3,
    DIR_LEFT = 4,
};

inline bool IsVertical(std::uint32_t dir) { return dir == DIR_UP || dir == DIR_DOWN; }
inline bool IsHorizontal(std::uint32_t dir) { return dir == DIR_RIGHT || dir == DIR_LEFT; }

} // namespace game
