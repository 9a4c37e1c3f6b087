#include "app/purplesetup.h"

#include "app/accountkey.h"
#include "app/endreport.h"
#include "app/lines.h"
#include "platform/messenger/purple/purplemessenger.h"

#include <QDBusConnection>

namespace zelmo {

namespace {

class PurpleBackend : public MessengerBackend {
public:
    explicit PurpleBackend(const purple::PurpleAccount &account)
        : m_messenger(QDBusConnection::sessionBus(), account)
        , m_end(m_messenger,
                [this] { return m_reason.isEmpty() ? m_messenger.endReason() : m_reason; })
    {
    }

    MessengerObject &messenger() override { return m_messenger; }
    QString endReason() const override { return m_end.reason(); }
    bool credentialsRefused() const override { return m_messenger.credentialsRefused(); }
    QString accountKey() const override
    {
        return m_messenger.accountName().isEmpty()
                   ? QString()
                   : purpleAccountKey(m_messenger.protocolId(), m_messenger.accountName());
    }

    void attach()
    {
        if (m_messenger.attach(&m_reason)) {
            writeLine(LinePriority::Info,
                      QStringLiteral("attached to %1, account %2 (%3)")
                          .arg(m_messenger.clientName(), m_messenger.accountName(),
                               m_messenger.protocolId()));
            return;
        }
        m_end.tell();
    }

private:
    purple::PurpleMessenger m_messenger;
    QString m_reason;
    EndReport m_end;
};

} // namespace

std::unique_ptr<MessengerBackend> createPurpleBackend(const Options &options)
{
    purple::PurpleAccount account{options.purpleAccount, options.acceptStrangers};
    account.reconnectLimitMs = options.reconnectLimitS * 1000;
    auto backend = std::make_unique<PurpleBackend>(account);
    backend->attach();
    return backend;
}

} // namespace zelmo
