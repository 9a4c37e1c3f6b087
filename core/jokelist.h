#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <random>

namespace zelmo {

// Jokes loaded from the joke file, at positions 1..jokeCount(). A joke is two lines joined by
// CR LF and is sent as it stands.
class JokeList {
public:
    static constexpr qint16 MaxJokes = 32767;

    // Reads the file: lines pair up in file order, a pair with an empty line is dropped whole,
    // a last line without a partner is ignored. CR LF, LF and CR all end a line; bytes are
    // decoded as the system's 8-bit encoding, invalid ones becoming U+FFFD. Loading stops at
    // MaxJokes. A missing or unreadable file loads nothing and returns false.
    bool load(const QString &path);

    qint16 jokeCount() const { return static_cast<qint16>(m_jokes.size()); }
    // The joke at position 1..jokeCount(), or nothing.
    std::optional<QString> at(qint32 position) const;

private:
    QStringList m_jokes;
};

// Draws whole numbers uniformly over 1..max, reseeded from the time of day on every draw.
class RandomNumbers {
public:
    RandomNumbers();
    // 1..max for max >= 1; 1 for max <= 0.
    qint16 randomNumber(qint16 max);

private:
    std::mt19937 m_generator;
    // Mixed into the next seed so that draws within one clock tick still differ.
    quint32 m_previous = 0;
};

} // namespace zelmo
