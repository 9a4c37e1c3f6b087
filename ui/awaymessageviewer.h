#pragma once

#include "core/awayviewer.h"
#include "ui/awaymessageeditor.h"

#include <QDialog>

namespace zelmo {

class AppState;

// The away-message viewer, opened modally from the main window's indicator. Its logic is
// AwayViewer.
class AwayMessageViewer : public QDialog, public AwayViewerView {
    Q_OBJECT
public:
    explicit AwayMessageViewer(AppState &state, QWidget *parent = nullptr);

    AwayViewer &logic() { return m_logic; }

    // AwayViewerView
    void setEntries(const QStringList &entries) override { m_contacts->setEntries(entries); }
    void setEditText(const QString &text) override { m_contacts->setEditText(text); }
    QString highlightedEditText() const override { return m_contacts->highlightedEditText(); }
    qint16 selectedPosition() const override { return m_contacts->selectedPosition(); }
    void selectPosition(qint16 position) override { m_contacts->selectPosition(position); }
    void closeWindow() override;
    void showBox(BoxIcon icon, const QString &title, const QString &text) override;
    void setMessageText(const QString &text) override;

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Ok accepts the dialog; every other way out rejects it.
    bool m_inOk = false;
    QPlainTextEdit *m_message;
    QPushButton *m_deleteButton;
    QPushButton *m_okButton;
    QPushButton *m_cancelButton;
    ContactCombo *m_contacts;
    QLabel *m_contactLabel;
    AwayViewer m_logic;
};

} // namespace zelmo
