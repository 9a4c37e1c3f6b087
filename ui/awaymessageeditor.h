#pragma once

#include "core/awayeditor.h"

#include <QComboBox>
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zelmo {

class AppState;
class MainView;

// The editable drop-down of contacts that the away-message editor and viewer share: the
// user picks an entry or types over it, and the field reports a double click.
class ContactCombo : public QComboBox {
    Q_OBJECT
public:
    explicit ContactCombo(QWidget *parent = nullptr);

    // The parts of AwayDialogView that concern the drop-down.
    void setEntries(const QStringList &entries);
    QString highlightedEditText() const;
    qint16 selectedPosition() const;
    void selectPosition(qint16 position);

Q_SIGNALS:
    // The user picked an entry, with the mouse, the arrow keys or the wheel.
    void picked();
    void doubleClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Typing leaves the entry selected in QComboBox, but it no longer names that contact.
    bool m_typedOver = false;
};

// The tooltip-yellow multi-line box of both away-message windows.
QPlainTextEdit *awayMessageBox(QWidget *parent);
// Shows a box through MessageBox.
void showAwayDialogBox(QWidget *parent, AwayDialogView::BoxIcon icon, const QString &title,
                       const QString &text);

// The away-message editor, opened modally from the main window. Its logic is AwayEditor.
class AwayMessageEditor : public QDialog, public AwayEditorView {
    Q_OBJECT
public:
    AwayMessageEditor(AppState &state, MainView &mainView, QWidget *parent = nullptr);

    AwayEditor &logic() { return m_logic; }

    // AwayEditorView
    void setEntries(const QStringList &entries) override { m_contacts->setEntries(entries); }
    void setEditText(const QString &text) override { m_contacts->setEditText(text); }
    QString highlightedEditText() const override { return m_contacts->highlightedEditText(); }
    qint16 selectedPosition() const override { return m_contacts->selectedPosition(); }
    void selectPosition(qint16 position) override { m_contacts->selectPosition(position); }
    void closeWindow() override;
    void showBox(BoxIcon icon, const QString &title, const QString &text) override;
    QString messageText() const override;

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void okClicked();

    // Closing from Ok accepts the dialog; every other way out rejects it.
    bool m_inOk = false;
    QLabel *m_contactLabel;
    ContactCombo *m_contacts;
    QPlainTextEdit *m_message;
    QPushButton *m_okButton;
    QPushButton *m_cancelButton;
    AwayEditor m_logic;
};

} // namespace zelmo
