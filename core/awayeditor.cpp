#include "core/awayeditor.h"

#include "core/appstate.h"
#include "core/mainview.h"
#include "core/program.h"
#include "messenger/messengererror.h"

#include <algorithm>
#include <limits>

namespace zelmo {

AwayDialog::AwayDialog(AppState &state, AwayDialogView &view, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_view(view)
{
    m_refreshTimer.setInterval(tickInterval);
    connect(&m_refreshTimer, &QTimer::timeout, this, &AwayDialog::refresh);
}

void AwayDialog::fetchList()
{
    if (MessengerObject *mm = m_state.messenger)
        skipOnFailure([&] { comboUsers = mm->GetList(ListKind::AllContacts); });
}

void AwayDialog::buildEntries()
{
    const qint32 count = contactCount().value_or(0);
    QStringList entries;
    entries.reserve(count + 1);
    for (qint32 i = 0; i < count; ++i) {
        QString name;
        skipOnFailure([&] {
            const UserPtr user = comboUsers->Item(i);
            if (!skipOnFailure([&] { name = user->GetFriendlyName(); }))
                name = user->GetLogonName();
        });
        entries.append(name);
    }
    entries.append(extraEntries());
    m_entries = entries;
    m_view.setEntries(m_entries);
}

void AwayDialog::openList()
{
    m_refreshTimer.start();
    fetchList();
    buildEntries();
}

void AwayDialog::select(qint16 position)
{
    m_view.selectPosition(position);
    selected();
}

QString AwayDialog::selectedEntryText() const
{
    return m_entries.value(m_view.selectedPosition());
}

std::optional<qint32> AwayDialog::contactCount() const
{
    qint32 count = 0;
    if (!comboUsers || !skipOnFailure([&] { count = comboUsers->GetCount(); }))
        return std::nullopt;
    return count;
}

std::optional<QString> AwayDialog::logonNameAt(qint32 position) const
{
    QString name;
    if (!comboUsers || !skipOnFailure([&] { name = comboUsers->Item(position)->GetLogonName(); }))
        return std::nullopt;
    return name;
}

void AwayDialog::refresh()
{
    // The counts and listsRebuilt below are what the main window's rebuild produced.
    m_state.bringListsUpToDate();
    m_savedText = m_view.highlightedEditText();
    m_savedPosition = m_view.selectedPosition();
    fetchList();
    if (!m_state.listsRebuilt || m_state.onlineCount == m_state.onlineCountSoFar)
        return;
    // The first open dialog to see a rebuild takes it for itself.
    m_state.listsRebuilt = false;
    buildEntries();
    m_view.setEditText(m_savedText);
    // Contacts may have gone since: the last entry stands in for a position that no longer
    // exists, and nothing is selected when no entry is left.
    const qint32 last = static_cast<qint32>(m_entries.size()) - 1;
    select(static_cast<qint16>(std::min<qint32>(m_savedPosition, last)));
}

void AwayDialog::stop()
{
    m_refreshTimer.stop();
}

AwayEditor::AwayEditor(AppState &state, MainView &mainView, AwayEditorView &view, QObject *parent)
    : AwayDialog(state, view, parent)
    , m_mainView(mainView)
    , m_editorView(view)
{
}

void AwayEditor::start()
{
    openList();
    const qint32 everyone = static_cast<qint32>(entries().size()) - 1;
    m_view.setEditText(everyoneEntry());
    select(static_cast<qint16>(std::min<qint32>(everyone, std::numeric_limits<qint16>::max())));
}

bool AwayEditor::store(qint32 position, const QString &message)
{
    if (position > std::numeric_limits<qint16>::max())
        return false;
    const std::optional<QString> logonName = logonNameAt(position);
    return logonName && m_state.SetMessage(*logonName, message, static_cast<qint16>(position));
}

AwayEditor::Outcome AwayEditor::storeForEveryone(const QString &message)
{
    Outcome outcome;
    const std::optional<qint32> count = contactCount();
    if (!count) {
        outcome.refusal = QStringLiteral(
            "The away message could not be stored: the contact list cannot be read right now. "
            "Please try again in a moment.");
        return outcome;
    }
    {
        const AppState::AwayMessageBatch batch(m_state);
        for (qint32 i = 0; i < *count; ++i) {
            if (store(i, message))
                ++outcome.stored;
        }
    }
    if (outcome.stored < *count) {
        outcome.refusal =
            QStringLiteral("The away message was stored for %1 of your %2 contacts, but could "
                           "not be stored for the other %3. Please try again in a moment.")
                .arg(outcome.stored)
                .arg(*count)
                .arg(*count - outcome.stored);
    }
    return outcome;
}

AwayEditor::Outcome AwayEditor::storeForOne(qint16 position, const QString &message)
{
    Outcome outcome;
    if (store(position, message)) {
        outcome.stored = 1;
        return outcome;
    }
    const QString name = selectedEntryText();
    outcome.refusal = QStringLiteral("The away message could not be stored for %1. Please try "
                                     "again in a moment.")
                          .arg(name.isEmpty() ? QStringLiteral("this contact") : name);
    return outcome;
}

void AwayEditor::save()
{
    const QString message = m_editorView.messageText();
    Outcome outcome;
    if (selectedEntryText().toUpper().contains(QLatin1String("EVERYONE IN THE LIST"))) {
        outcome = storeForEveryone(message);
    } else {
        const qint16 position = m_view.selectedPosition();
        // Text typed over the field names no contact.
        if (position < 0)
            return;
        outcome = storeForOne(position, message);
    }
    if (outcome.refusal.isEmpty() || outcome.stored > 0)
        m_mainView.showAwayMessagesSet(Program::awayMessagesSetText());
    if (!outcome.refusal.isEmpty()) {
        m_view.showBox(AwayDialogView::BoxIcon::Warning, QStringLiteral("Zelmo Extensions"),
                       outcome.refusal);
        return;
    }
    m_view.closeWindow();
}

void AwayEditor::cancel()
{
    m_view.closeWindow();
}

} // namespace zelmo
