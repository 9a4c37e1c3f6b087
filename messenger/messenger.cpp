#include "messenger/messenger.h"

#include <QMetaObject>

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

void registerMessengerMetaTypes()
{
    qRegisterMetaType<UserPtr>("zelmo::UserPtr");
    qRegisterMetaType<ServicePtr>("zelmo::ServicePtr");
    qRegisterMetaType<IMSessionPtr>("zelmo::IMSessionPtr");
    qRegisterMetaType<ListKind>("zelmo::ListKind");
}

} // namespace zelmo
