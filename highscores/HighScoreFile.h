#pragma once
// The byte format of "HiScores.ini": ten records "name~SSSSS~" and a
// five-digit checksum, with "~" as the only delimiter. Pure functions, shared
// by the game, the tests and the fuzz target.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace highscores {

constexpr const char* kFileName = "HiScores.ini";
constexpr char kDelimiter = '~';
constexpr char kDelimiterStandIn = '-';
constexpr std::size_t kMaxFileBytes = 2500;
constexpr int kEntries = 10;
constexpr std::size_t kStoredNameLength = 44;
constexpr int kChecksumOffset = 90;
constexpr const char* kDefaultName = "Quillware";

// The letter weight of a name: a and e weigh 1, n and s 2, i and m 3
// (lower case only), every other byte 0.
int LetterWeight(std::string_view name);

// The value of a five-byte numeric field at `pos`: each digit counts at its
// place, any other byte (or a byte past the end) counts 0.
std::int32_t ReadNumericField(const char* data, std::size_t size, std::size_t pos);

// The value a numeric field holds for `value`: a value outside 0 to 99999
// does not fit, and the field holds its remainder modulo 100000.
std::int32_t FieldValue(std::int64_t value);

// Writes FieldValue(value) as five zero-padded digits.
void AppendNumericField(std::string& out, std::int64_t value);

struct ParseResult {
    std::int32_t stored = 0;     // h: the checksum field of the file
    std::int32_t computed = 0;   // i: the checksum of the names and scores read
    // The field holds the checksum as written, modulo 100000 where it does
    // not fit five digits, so that every table written reads back.
    bool Matches() const { return stored == FieldValue(computed); }
};

// Reads ten records and the checksum field from what was read of the file
// (at most kMaxFileBytes), appending ten names, each right-padded with
// spaces to 44 characters (a longer field counts whole in the checksum but
// is kept to its first 44 bytes), and ten scores. Never reads outside
// `size`: a record that runs past the end reads as an empty name and a
// score of 0.
ParseResult ParseHighScores(const char* data, std::size_t size, std::vector<std::string>& names,
                            std::vector<std::uint32_t>& scores);

// The checksum of a table: scores plus letter weights, minus 90.
std::int32_t Checksum(const std::vector<std::string>& names, const std::vector<std::uint32_t>& scores);

// The whole file for a table of ten entries; a "~" in a name is written as "-".
std::string FormatHighScores(const std::vector<std::string>& names, const std::vector<std::uint32_t>& scores);

// The table installed when the file is missing or fails its check.
void DefaultTable(std::vector<std::string>& names, std::vector<std::uint32_t>& scores);

} // namespace highscores
