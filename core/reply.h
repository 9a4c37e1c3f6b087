#pragma once

#include "messenger/messenger.h"

#include <QString>

namespace zelmo {

// The colour of the format header in front of a reply line.
enum class ReplyColour {
    // CO=800000: jokes, the online-users listing, the help menu. The format header writes
    // colours blue-green-red, so 800000 is dark blue (#000080), not maroon.
    DarkBlue,
    Black, // CO=0: every other answer
};

// The header block sent in front of every reply line: three header lines and an empty one,
// each ended by CR LF.
QString ReplyHeader(ReplyColour colour);

// Sends reply lines on the session an incoming message came on, one instant message per
// line. A line whose send fails is lost; the lines after it still go out.
class Reply {
public:
    // While *silenced is true (the program is ending), nothing is sent.
    explicit Reply(IMSessionPtr session, ReplyColour colour = ReplyColour::DarkBlue,
                   const bool *silenced = nullptr);

    void setColour(ReplyColour colour) { m_colour = colour; }
    ReplyColour colour() const { return m_colour; }

    // Returns whether the line went out.
    bool send(const QString &line);
    // What this reply sent so far: the first line and how many.
    QString firstSent() const { return m_firstSent; }
    int sentCount() const { return m_sentCount; }

private:
    IMSessionPtr m_session;
    ReplyColour m_colour;
    const bool *m_silenced;
    QString m_firstSent;
    int m_sentCount = 0;
};

} // namespace zelmo
