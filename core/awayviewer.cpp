#include "core/awayviewer.h"

#include "core/appstate.h"
#include "messenger/messengererror.h"

namespace zelmo {

AwayViewer::AwayViewer(AppState &state, AwayViewerView &view, QObject *parent)
    : AwayDialog(state, view, parent)
    , m_viewerView(view)
{
}

void AwayViewer::start()
{
    openList();
    // An empty list leaves nothing selected and the message box empty.
    if (entries().isEmpty())
        return;
    m_view.setEditText(entries().first());
    select(0);
}

void AwayViewer::showSelected()
{
    const qint16 position = m_view.selectedPosition();
    if (position < 0)
        return;
    const std::optional<QString> logonName = logonNameAt(position);
    m_viewerView.setMessageText(logonName ? m_state.GetMessage(*logonName) : QString());
}

void AwayViewer::showLogonNames()
{
    // Each box lets the refresh run, which may replace the list: the loop keeps the one it
    // started with.
    const UserCollectionPtr users = comboUsers;
    const QString name = selectedEntryText();
    const qint32 count = contactCount().value_or(0);
    for (qint32 i = 0; i < count; ++i) {
        std::optional<QString> logonName;
        skipOnFailure([&] {
            const UserPtr user = users->Item(i);
            if (user->GetFriendlyName() == name)
                logonName = user->GetLogonName();
        });
        if (logonName)
            m_view.showBox(AwayDialogView::BoxIcon::Information, logonNameTitle(), *logonName);
    }
}

void AwayViewer::deleteSelected()
{
    const qint16 position = m_view.selectedPosition();
    if (position < 0)
        return;
    const std::optional<QString> logonName = logonNameAt(position);
    if (!logonName)
        return;
    m_state.DeleteMessage(*logonName);
    m_viewerView.setMessageText(QString());
}

void AwayViewer::ok()
{
    m_view.closeWindow();
}

void AwayViewer::cancel()
{
    m_view.closeWindow();
}

} // namespace zelmo
