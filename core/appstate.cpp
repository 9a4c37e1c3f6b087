#include "core/appstate.h"

#include <QDir>

#include <limits>

namespace zelmo {

AppState::AppState(MessengerObject *messenger)
    : mm(messenger)
{
}

void AppState::advanceProgress(qint32 step)
{
    if (statusbar <= std::numeric_limits<qint32>::max() - step)
        statusbar += step;
    if (onProgress)
        onProgress(Status);
}

void AppState::Open_file()
{
    Status = QStringLiteral("Loading file contents");
    advanceProgress();
    jokes.load(QDir(programFolder).filePath(QStringLiteral("blonde.txt")));
}

std::optional<QString> AppState::Print_ChatupLine()
{
    return jokes.at(Random_Num(jokes.jokeCount()));
}

} // namespace zelmo
