#pragma once

#include "core/awayeditor.h"

namespace zelmo {

// What the viewer needs besides the drop-down: the box that shows a message.
class AwayViewerView : public AwayDialogView {
public:
    // The message box; the message as stored, with its CR LF line breaks.
    virtual void setMessageText(const QString &text) = 0;
};

// The away-message viewer `AwayMessageViewer`: shows the message stored for a contact, deletes it,
// and tells a contact's logon name on a double click.
//
// Messenger failures: a contact that cannot be read shows no message rather than the one of
// the contact picked before; a delete whose contact cannot be read deletes nothing and
// leaves the message shown; a double click skips the contacts it cannot read.
class AwayViewer : public AwayDialog {
    Q_OBJECT
public:
    AwayViewer(AppState &state, AwayViewerView &view, QObject *parent = nullptr);

    static QString title() { return QStringLiteral("Zelmo Extensions - View Away messages"); }
    static QString logonNameTitle() { return QStringLiteral("Zelmo Extensions - Buddy Login ID"); }

    void start();
    // The selection of an entry, by the user or by the viewer itself.
    void showSelected();
    void showLogonNames();
    // Delete.
    void deleteSelected();
    // Ok.
    void ok();
    // Cancel, and the close box.
    void cancel();

protected:
    void selected() override { showSelected(); }

private:
    AwayViewerView &m_viewerView;
};

} // namespace zelmo
