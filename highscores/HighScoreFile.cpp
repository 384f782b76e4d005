#include "highscores/HighScoreFile.h"

#include <cstring>

namespace highscores {

int LetterWeight(std::string_view name)
{
    int weight = 0;
    for (const char c : name) {
        switch (c) {
        case 'a': case 'e': weight += 1; break;
        case 'n': case 's': weight += 2; break;
        case 'i': case 'm': weight += 3; break;
        default: break;
        }
    }
    return weight;
}

std::int32_t ReadNumericField(const char* data, std::size_t size, std::size_t pos)
{
    std::int32_t value = 0;
    std::int32_t place = 10000;
    for (std::size_t k = 0; k < 5; ++k, place /= 10) {
        if (pos + k >= size)
            continue;
        const char c = data[pos + k];
        if (c >= '0' && c <= '9')
            value += (c - '0') * place;
    }
    return value;
}

std::int32_t FieldValue(std::int64_t value)
{
    std::int64_t v = value % 100000;
    if (v < 0)
        v += 100000;
    return static_cast<std::int32_t>(v);
}

void AppendNumericField(std::string& out, std::int64_t value)
{
    std::int32_t v = FieldValue(value);
    char digits[6];
    for (int k = 4; k >= 0; --k) {
        digits[k] = static_cast<char>('0' + v % 10);
        v /= 10;
    }
    out.append(digits, 5);
}

ParseResult ParseHighScores(const char* data, std::size_t size, std::vector<std::string>& names,
                            std::vector<std::uint32_t>& scores)
{
    ParseResult result;
    std::size_t p = 0;
    std::int32_t sum = 0;
    for (int record = 0; record < kEntries; ++record) {
        std::size_t end = p < size ? p : size;
        while (end < size && data[end] != kDelimiter)
            ++end;
        const std::string_view field(data + (p < size ? p : size), end - (p < size ? p : size));
        // The check weighs the whole field as the file holds it; the table
        // keeps 44 bytes of it, as for every name read. A longer name, which
        // only a hand-made file holds, would otherwise be written back whole
        // and could push the file past the 2500 bytes that are read.
        sum += LetterWeight(field);
        std::string name(field.substr(0, kStoredNameLength));
        name.append(kStoredNameLength - name.size(), ' ');
        names.push_back(std::move(name));

        p = end + 1;
        const std::int32_t score = ReadNumericField(data, size, p);
        sum += score;
        p += 6;
        scores.push_back(static_cast<std::uint32_t>(score));
    }
    result.computed = sum - kChecksumOffset;
    result.stored = ReadNumericField(data, size, p);
    return result;
}

std::int32_t Checksum(const std::vector<std::string>& names, const std::vector<std::uint32_t>& scores)
{
    std::int64_t sum = 0;
    for (std::size_t k = 0; k < names.size() && k < scores.size(); ++k)
        sum += LetterWeight(names[k]) + static_cast<std::int64_t>(scores[k]);
    return static_cast<std::int32_t>(sum - kChecksumOffset);
}

std::string FormatHighScores(const std::vector<std::string>& names, const std::vector<std::uint32_t>& scores)
{
    std::string out;
    out.reserve(600);
    for (std::size_t k = 0; k < names.size() && k < scores.size(); ++k) {
        for (const char c : names[k])
            out.push_back(c == kDelimiter ? kDelimiterStandIn : c);
        out.push_back(kDelimiter);
        AppendNumericField(out, scores[k]);
        out.push_back(kDelimiter);
    }
    AppendNumericField(out, Checksum(names, scores));
    return out;
}

void DefaultTable(std::vector<std::string>& names, std::vector<std::uint32_t>& scores)
{
    names.clear();
    scores.clear();
    for (int k = 0; k < kEntries; ++k) {
        names.emplace_back(kDefaultName);
        scores.push_back(static_cast<std::uint32_t>(100 - 10 * k));
    }
}

} // namespace highscores
