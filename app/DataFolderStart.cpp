// A start from the menu entry: the player's data folder made the current
// folder, the home folder's table copied into it, and the one message where
// that cannot be. The folders themselves are platform/DataFolder's, the
// reading and writing platform/FileStore's.

#include "app/DataFolderStart.h"
#include "highscores/HighScoreFile.h"
#include "platform/DataFolder.h"
#include "platform/FileStore.h"
#include "platform/Modal.h"

#include <QString>
#include <cstdio>
#include <string>

namespace {

// The name of the game's folder in the player's data home.
constexpr const char* kFolderName = "coilrunner";

// The game writes at most 515 bytes; a larger file, up to this, is still
// copied whole, and one larger still is left where it is.
constexpr std::size_t kMostCopied = 1 << 16;

QString Shown(const std::string& path) { return QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())); }

std::string InFolder(const std::string& folder, const char* name)
{
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

// In the data folder, just entered: copies the home folder's table there
// when the data folder has none. "" when the game can go on there (also
// when there was nothing to copy), else why the table could not be copied.
QString CopyTableFromHome(const std::string& home)
{
    using platform::ReadResult;
    // Anything under the name, a table or not, is the data folder's own:
    // the game's load deals with it.
    if (home.empty() || platform::ReadFileStart(highscores::kFileName, 0).status != ReadResult::Missing)
        return {};
    const std::string fromHome = InFolder(home, highscores::kFileName);
    const ReadResult table = platform::ReadFileStart(fromHome.c_str(), kMostCopied + 1);
    if (table.status == ReadResult::Missing)
        return {};
    if (table.status == ReadResult::Failed)
        return table.reason;
    if (table.bytes.size() > kMostCopied)
        return QStringLiteral("it is larger than a table of high scores can be");

    // Under the data folder's lock: a table that another start copied, or a
    // game saved, since the look above stands, and nothing is written.
    bool tableThere = false;
    const platform::FileResult copied =
        platform::UpdateFileContents(highscores::kFileName, 0, [&](const ReadResult& now) {
            platform::Update update;
            if (now.status != ReadResult::Missing) {
                tableThere = true;
                return update;
            }
            update.write = true;
            update.bytes = table.bytes;
            return update;
        });
    // A table that stands but whose folder could not be synced loses
    // nothing: the home folder's copy stays.
    if (copied.written || tableThere)
        return {};
    return copied.reason;
}

// The one message: in a box, and on standard error, where launchers keep
// what a program says.
void Tell(const QString& text)
{
    std::fprintf(stderr, "coilrunner: %s\n", qPrintable(QString(text).replace(QStringLiteral("\n\n"), QStringLiteral(" "))));
    platform::MessageBox(nullptr, text, platform::MB_ICONEXCLAMATION);
}

QString StayingIn(const platform::StartFolder& start)
{
    if (start.Path().empty())
        return QStringLiteral("This time they are kept in \"%1\" in the folder the game was started from.")
            .arg(QString::fromLatin1(highscores::kFileName));
    return QStringLiteral("This time they are kept in \"%1\" in \"%2\", the folder the game was started from.")
        .arg(QString::fromLatin1(highscores::kFileName), Shown(start.Path()));
}

} // namespace

bool StartInDataFolder()
{
    const platform::StartFolder start;
    const platform::DataFolder folder = platform::FindDataFolder(kFolderName);
    QString reason;
    if (!platform::EnterDataFolder(folder, reason)) {
        const QString where = folder.base.empty() ? QStringLiteral("the data folder")
                                                  : QStringLiteral("the data folder \"%1\"").arg(Shown(folder.Path()));
        Tell(QStringLiteral("The high scores cannot be kept in %1: %2.\n\n%3").arg(where, reason, StayingIn(start)));
        return false;
    }
    reason = CopyTableFromHome(folder.home);
    if (reason.isEmpty())
        return true;
    const QString what = QStringLiteral("The high scores in \"%1\" could not be copied to the data folder \"%2\": %3.")
                             .arg(Shown(InFolder(folder.home, highscores::kFileName)), Shown(folder.Path()), reason);
    if (!start.Return()) {
        Tell(what + QStringLiteral("\n\nThis time the game keeps its scores in the data folder, without that table."));
        return true;
    }
    Tell(what + QStringLiteral("\n\n") + StayingIn(start));
    return false;
}
