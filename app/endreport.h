#pragma once

// Telling the user why the run ends by itself, the same way on every backend.

#include "messenger/messenger.h"

#include <QObject>
#include <QString>

#include <functional>

namespace zelmo {

// Once the client goes (the messenger raises OnLogoff, or tell() is called for a client that
// was never reached), says why in one line on standard error, "zelmo: WHY; ending.", and from
// then on adds the reason below the text of the main window's not-connected display, each time
// the program writes that text: the program's own text stays as it is, and the user learns why
// (the client quit, a wrong password, an unreachable server).
class EndReport : public QObject {
    Q_OBJECT
public:
    // reason: empty while there is nothing to tell (a sign-out the program asked for).
    EndReport(MessengerObject &messenger, std::function<QString()> reason,
              QObject *parent = nullptr);
    ~EndReport() override;

    // Says it now: the line once, the reason on every main window once the running handler
    // has finished.
    void tell();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refreshLater();
    void refresh(QObject *window);

    std::function<QString()> m_reason;
    bool m_told = false;
};

} // namespace zelmo
