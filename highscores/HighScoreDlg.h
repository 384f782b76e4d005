#pragma once
#include "platform/Dialog.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The high-score table, and the list dialog "All times greatest" that shows it.
class CHighScoreDlg : public platform::Dialog {
public:
    CHighScoreDlg();

    // Reads "HiScores.ini" once, into the empty table; installs the default
    // table when the file is missing, cannot be read or fails its checksum.
    void LoadHighScores();
    // Writes the table to the file, taken under its lock. When another game
    // has saved there since this one read or wrote it, the scores admitted
    // here since the last save are placed into the table the file holds now,
    // which is then written and becomes the table. A table in the file that
    // cannot be read is never written over. False (after telling the player
    // why) when nothing could be written; the table and the scores waiting
    // to be saved stay for the next save.
    bool SaveHighScores();

    // Admits a final score if it reaches a stored one, asks for the name,
    // puts the entry at its rank and saves the table. Sets m_bQualified.
    void InsertScore(std::uint32_t score);
    // Copies the table into the list's display strings.
    void FillDisplay();

    void DoDataExchange(platform::DataExchange& dx) override;

    std::array<char, 2500> m_fileBuffer{};
    std::uint8_t m_bQualified = 0;
    std::vector<std::uint32_t> m_scores;
    std::vector<std::string> m_names;
    std::string m_strName1, m_strScore1, m_strName2, m_strName3, m_strScore2, m_strScore3,
        m_strName10, m_strName4, m_strName5, m_strName6, m_strName7, m_strName8, m_strName9,
        m_strScore4, m_strScore5, m_strScore6, m_strScore7, m_strScore8, m_strScore9, m_strScore10;

private:
    // What this game last knew the file to hold: what the load found, or
    // what its last save wrote. Nothing until then.
    struct KnownFile {
        enum Kind { Nothing, Missing, Unreadable, Bytes } kind = Nothing;
        std::string bytes;   // the first bytes, as many as are read
    };
    struct Entry {
        std::string name;
        std::uint32_t score = 0;
    };

    std::string& NameString(int rank);
    std::string& ScoreString(int rank);

    KnownFile m_known;
    std::vector<Entry> m_pending;   // admitted, not yet in the file, oldest first
};
