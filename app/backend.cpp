#include "app/backend.h"

#include "app/endreport.h"
#include "app/purplesetup.h"
#include "app/xmppsetup.h"
#include "platform/messenger/sim/simmessenger.h"
#include "platform/messenger/sim/simtools.h"

namespace zelmo {

namespace {

class SimBackend : public MessengerBackend {
public:
    MessengerObject &messenger() override { return m_sim; }
    void startScript() override { m_tools->startScript(); }

    QString endReason() const override
    {
        switch (m_sim.serviceStatus()) {
        case ServiceStatus::NotConnected:
            return QStringLiteral("the built-in messenger signed out");
        case ServiceStatus::ConnectionLost:
            return QStringLiteral("the built-in messenger lost its connection");
        default:
            return {};
        }
    }

    sim::SimMessenger m_sim;
    std::unique_ptr<sim::SimTools> m_tools;
    EndReport m_end{m_sim, [this] { return endReason(); }};
};

std::unique_ptr<MessengerBackend> createSim(const Options &options, QString *error, int *exitCode)
{
    auto backend = std::make_unique<SimBackend>();
    backend->m_sim.setConfirmDelay(options.confirmDelayMs);
    if (!options.contactsFile.isEmpty()) {
        QString reason;
        if (!backend->m_sim.loadContactsFile(options.contactsFile, &reason)) {
            *error = QStringLiteral("cannot use the contacts file ") + options.contactsFile +
                     QStringLiteral(": ") + reason;
            *exitCode = 1;
            return nullptr;
        }
    }
    // Loaded before the start-up, so that what the start-up does is logged too.
    backend->m_tools =
        sim::SimTools::create(backend->m_sim, options.simScript, options.simLog, error);
    if (!backend->m_tools) {
        *exitCode = 2;
        return nullptr;
    }
    return backend;
}

} // namespace

std::unique_ptr<MessengerBackend> MessengerBackend::create(const Options &options, QString *error,
                                                           int *exitCode)
{
    if (!options.xmppJid.isEmpty())
        return createXmppBackend(options, error, exitCode);
    if (options.purple)
        return createPurpleBackend(options);
    return createSim(options, error, exitCode);
}

} // namespace zelmo
