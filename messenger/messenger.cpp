#include "messenger/messenger.h"

#include <QMetaMethod>
#include <QMetaObject>

#include <utility>

namespace zelmo {

MessengerObject::MessengerObject(QObject *parent)
    : QObject(parent)
{
    registerMessengerMetaTypes();
}

MessengerObject::~MessengerObject() = default;

void MessengerObject::deliverLater(std::function<void()> raise)
{
    QMetaObject::invokeMethod(this, std::move(raise), Qt::QueuedConnection);
}

void MessengerObject::deliverMessageLater(std::function<void()> raise)
{
    if (isSignalConnected(QMetaMethod::fromSignal(&MessengerObject::OnTextReceived)))
        deliverLater(std::move(raise));
    else if (m_heldMessages.size() < maxHeldMessages)
        m_heldMessages.push_back(std::move(raise));
}

void MessengerObject::connectNotify(const QMetaMethod &signal)
{
    if (signal != QMetaMethod::fromSignal(&MessengerObject::OnTextReceived))
        return;
    // Queued, so that whoever else connects in the same breath hears them too.
    for (std::function<void()> &raise : std::exchange(m_heldMessages, {}))
        deliverLater(std::move(raise));
}

void registerMessengerMetaTypes()
{
    qRegisterMetaType<UserPtr>("zelmo::UserPtr");
    qRegisterMetaType<ServicePtr>("zelmo::ServicePtr");
    qRegisterMetaType<IMSessionPtr>("zelmo::IMSessionPtr");
    qRegisterMetaType<ListKind>("zelmo::ListKind");
}

} // namespace zelmo
