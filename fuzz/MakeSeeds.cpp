// Writes the fuzz target's seed corpus into the folder given as argument,
// with the game's own writer: the default table (165 bytes), the same table
// read back and written again (515 bytes), a tampered copy, and files that
// are too short or too long.

#include "highscores/HighScoreFile.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace highscores;

namespace {

bool WriteSeed(const std::string& folder, const char* name, const std::string& bytes)
{
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    // The stream holds the bytes until it is closed: only then does an
    // error of the write show.
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];

    std::vector<std::string> names;
    std::vector<std::uint32_t> scores;
    DefaultTable(names, scores);
    const std::string defaults = FormatHighScores(names, scores);

    // Read back, every name is padded to 44 bytes; written again, 515 bytes.
    std::vector<std::string> readNames;
    std::vector<std::uint32_t> readScores;
    ParseHighScores(defaults.data(), defaults.size(), readNames, readScores);
    const std::string padded = FormatHighScores(readNames, readScores);

    // A changed score digit: the checksum no longer agrees.
    std::string tampered = defaults;
    tampered[10] = '9';

    // Names with letters of every weight and a "~" written as "-".
    std::vector<std::string> mixedNames = {"Sam", "SAM", "a~b", "mississippi", "   ",
                                           "Zoe", "eve", "nina", "x", std::string(27, 'm')};
    std::vector<std::uint32_t> mixedScores = {990, 870, 870, 500, 420, 300, 120, 40, 10, 0};
    const std::string mixed = FormatHighScores(mixedNames, mixedScores);

    std::string overlong = padded;
    while (overlong.size() <= kMaxFileBytes + 100)
        overlong += padded;

    struct Seed { const char* name; std::string bytes; };
    const Seed seeds[] = {
        {"default-165", defaults},
        {"padded-515", padded},
        {"tampered", tampered},
        {"mixed-names", mixed},
        {"empty", std::string()},
        {"one-byte", std::string("~")},
        {"short", defaults.substr(0, 40)},
        {"no-checksum", defaults.substr(0, defaults.size() - 5)},
        {"overlong", overlong},
        {"long-name", std::string(3000, 'a') + defaults},
    };
    for (const Seed& seed : seeds) {
        if (!WriteSeed(folder, seed.name, seed.bytes)) {
            std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), seed.name);
            return 1;
        }
    }
    return 0;
}
