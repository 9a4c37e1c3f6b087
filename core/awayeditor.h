#pragma once

#include "messenger/messenger.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>

namespace zelmo {

class AppState;
class MainView;

// What the away-message editor and viewer need of their window: the contact drop-down,
// closing, and message boxes.
class AwayDialogView {
public:
    enum class BoxIcon { Information, Warning };

    virtual ~AwayDialogView() = default;
    // Replaces every entry of the drop-down; no entry is selected afterwards.
    virtual void setEntries(const QStringList &entries) = 0;
    virtual void setEditText(const QString &text) = 0;
    // The highlighted part of the drop-down's edit field.
    virtual QString highlightedEditText() const = 0;
    // The selected entry, or -1: none was picked, or the user has typed over it since.
    virtual qint16 selectedPosition() const = 0;
    // -1 selects nothing and leaves the edit text as it is.
    virtual void selectPosition(qint16 position) = 0;
    virtual void closeWindow() = 0;
    // A modal box with an OK button; returns once the user has closed it.
    virtual void showBox(BoxIcon icon, const QString &title, const QString &text) = 0;
};

// What the editor and the viewer share: the drop-down built from contact list kind 0, where an
// entry's position is the contact's position in `comboUsers`, and the 500 ms refresh that
// follows the main window's rebuilds of its online list.
//
// Messenger failures: every read is guarded and a failing one is skipped. A list that cannot
// be fetched keeps the one fetched before; a contact whose display name cannot be read is
// listed by its logon name, or by an empty line, so that later contacts keep their positions.
class AwayDialog : public QObject {
    Q_OBJECT
public:
    static constexpr int tickInterval = 500;

    // The refresh: saves the highlighted edit text and the position, fetches the list again,
    // and rebuilds the entries once after each rebuild of the online list (`listsRebuilt`,
    // taken by the first open dialog that sees it), unless `onlineCount` equals `onlineCountSoFar`.
    void refresh();
    // The dialog has closed: the refresh stops.
    void stop();

    bool timerRunning() const { return m_refreshTimer.isActive(); }
    const QStringList &entries() const { return m_entries; }

protected:
    AwayDialog(AppState &state, AwayDialogView &view, QObject *parent);

    // What both dialogs do at their start: timer on, a fresh list, the entries.
    void openList();
    // Selecting a position by the dialog itself; runs selected() like a pick of the user.
    void select(qint16 position);
    // The text of the selected entry, empty when none is selected.
    QString selectedEntryText() const;
    // Reads from the latest comboUsers; nothing when the read fails.
    std::optional<qint32> contactCount() const;
    std::optional<QString> logonNameAt(qint32 position) const;

    // What the dialog does when a position gets selected.
    virtual void selected() {}
    // Entries listed after the contacts.
    virtual QStringList extraEntries() const { return {}; }

    AppState &m_state;
    AwayDialogView &m_view;
    UserCollectionPtr comboUsers;

private:
    void fetchList();
    void buildEntries();

    QTimer m_refreshTimer;
    QStringList m_entries;
    QString m_savedText;
    qint16 m_savedPosition = -1;
};

// What the editor needs besides the drop-down: the message the user wrote.
class AwayEditorView : public AwayDialogView {
public:
    // The message box, with CR LF line breaks.
    virtual QString messageText() const = 0;
};

// The away-message editor `AwayMessageEditor`: stores the message for one contact, or for every
// contact, in the away-message table, by position.
//
// Storing can fail for a contact: its logon name cannot be read, or the table, sized at the
// last rebuild of the online list, has no entry yet at its position. The editor then tells
// the user and stays open, so that the message is not lost; what could be stored stays
// stored, and the indicator is switched as soon as anything is.
class AwayEditor : public AwayDialog {
    Q_OBJECT
public:
    AwayEditor(AppState &state, MainView &mainView, AwayEditorView &view,
               QObject *parent = nullptr);

    static QString everyoneEntry() { return QStringLiteral("Everyone in the list"); }
    static QString title() { return QStringLiteral("Zelmo Extensions - Set Away Message"); }

    void start();
    // Ok.
    void save();
    // Cancel, and the close box.
    void cancel();

protected:
    QStringList extraEntries() const override { return {everyoneEntry()}; }

private:
    struct Outcome {
        qint32 stored = 0;
        QString refusal; // what to tell the user, empty when everything went in
    };
    Outcome storeForEveryone(const QString &message);
    Outcome storeForOne(qint16 position, const QString &message);
    // Whether the message went in for the contact at position.
    bool store(qint32 position, const QString &message);

    MainView &m_mainView;
    AwayEditorView &m_editorView;
};

} // namespace zelmo
