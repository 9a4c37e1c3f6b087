#include "app/purplesetup.h"

#include "app/accountkey.h"
#include "app/endreport.h"
#include "platform/messenger/purple/purplemessenger.h"

#include <QDBusConnection>
#include <QTextStream>

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
    QString accountKey() const override
    {
        return m_messenger.accountName().isEmpty()
                   ? QString()
                   : purpleAccountKey(m_messenger.protocolId(), m_messenger.accountName());
    }

    void attach()
    {
        QTextStream err(stderr);
        if (m_messenger.attach(&m_reason)) {
            err << "zelmo: attached to " << m_messenger.clientName() << ", account "
                << m_messenger.accountName() << " (" << m_messenger.protocolId() << ")\n";
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
