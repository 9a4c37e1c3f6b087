#include "core/appstate.h"

#include <QDir>

#include <limits>

namespace zelmo {

AppState::AppState(MessengerObject *messenger)
    : messenger(messenger)
{
}

void AppState::advanceProgress(qint32 step)
{
    if (startupProgress <= std::numeric_limits<qint32>::max() - step)
        startupProgress += step;
    if (onProgress)
        onProgress(startupStep);
}

void AppState::loadJokes()
{
    startupStep = QStringLiteral("Loading file contents");
    advanceProgress();
    jokes.load(QDir(programFolder).filePath(QStringLiteral("blonde.txt")));
}

std::optional<QString> AppState::randomJoke()
{
    return jokes.at(randomNumber(jokes.jokeCount()));
}

} // namespace zelmo
