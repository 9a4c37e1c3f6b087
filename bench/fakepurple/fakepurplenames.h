#pragma once

// Where the fake libpurple client answers: libpurple's own name, object and interface, and the
// control interface through which a benchmark drives it.

#include <QString>

namespace zelmo::fakepurple {

inline const QString service = QStringLiteral("im.pidgin.purple.PurpleService");
inline const QString path = QStringLiteral("/im/pidgin/purple/PurpleObject");
inline const QString interface = QStringLiteral("im.pidgin.purple.PurpleInterface");
inline const QString controlPath = QStringLiteral("/net/zelmo/test/FakePurple");
inline const QString controlInterface = QStringLiteral("net.zelmo.test.FakePurple");

} // namespace zelmo::fakepurple
