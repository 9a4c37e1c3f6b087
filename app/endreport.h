#pragma once

// Telling why the run ends by itself, the same way on every backend.

#include "messenger/messenger.h"

#include <QObject>
#include <QString>

#include <functional>

namespace zelmo {

// Once the client goes (the messenger raises OnLogoff, or tell() is called for a client that
// was never reached), says why in one line on standard error, "zelmo: WHY; ending.". The
// program holds the same reason for its views (Program::setEndReason).
class EndReport : public QObject {
    Q_OBJECT
public:
    // reason: empty while there is nothing to tell (a sign-out the program asked for).
    EndReport(MessengerObject &messenger, std::function<QString()> reason,
              QObject *parent = nullptr);
    ~EndReport() override;

    // Says it now, once.
    void tell();
    QString reason() const { return m_reason(); }

private:
    std::function<QString()> m_reason;
    bool m_told = false;
};

} // namespace zelmo
