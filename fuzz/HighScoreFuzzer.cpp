// Feeds arbitrary bytes to the high-score loader's parser, as the game does
// with what it read of "HiScores.ini", and checks what comes out.
//
// The input is handed over in a buffer of exactly its own length, so a read
// one byte past what the file held is an AddressSanitizer report.

#include "highscores/HighScoreFile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace highscores;

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckTable(const std::vector<std::string>& names, const std::vector<std::uint32_t>& scores)
{
    Require(names.size() == static_cast<std::size_t>(kEntries));
    Require(scores.size() == static_cast<std::size_t>(kEntries));
    for (const std::string& name : names) {
        // Every name read from the file is its field cut or padded to 44.
        Require(name.size() == kStoredNameLength);
        Require(name.find(kDelimiter) == std::string::npos);
    }
    for (const std::uint32_t score : scores)
        Require(score <= 99999);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The game reads at most 2500 bytes of the file.
    const std::size_t length = size < kMaxFileBytes ? size : kMaxFileBytes;
    std::unique_ptr<char[]> buffer(new char[length ? length : 1]);
    if (length)
        std::memcpy(buffer.get(), data, length);

    std::vector<std::string> names;
    std::vector<std::uint32_t> scores;
    const ParseResult result = ParseHighScores(buffer.get(), length, names, scores);
    CheckTable(names, scores);
    Require(result.stored >= 0 && result.stored <= 99999);

    // A table the loader accepts is written back by the game's writer and
    // must be accepted again, entry for entry, also when its checksum does
    // not fit the five-digit field (a hand-made table can fall outside it).
    if (!result.Matches())
        return 0;
    const std::int32_t checksum = Checksum(names, scores);
    const std::string written = FormatHighScores(names, scores);
    Require(written.size() <= 75 + kEntries * kStoredNameLength);

    std::vector<std::string> namesAgain;
    std::vector<std::uint32_t> scoresAgain;
    const ParseResult again = ParseHighScores(written.data(), written.size(), namesAgain, scoresAgain);
    Require(again.Matches());
    Require(again.stored == FieldValue(checksum));
    Require(namesAgain == names);
    Require(scoresAgain == scores);
    return 0;
}
