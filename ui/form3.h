#pragma once

#include "core/awayviewer.h"
#include "ui/form2.h"

#include <QDialog>

namespace zelmo {

class AppState;

// The away-message viewer, opened modally from the main window's indicator. Its logic is
// AwayViewer.
class Form3 : public QDialog, public AwayViewerView {
    Q_OBJECT
public:
    explicit Form3(AppState &state, QWidget *parent = nullptr);

    AwayViewer &logic() { return m_logic; }

    // AwayViewerView
    void setEntries(const QStringList &entries) override { cm->setEntries(entries); }
    void setEditText(const QString &text) override { cm->setEditText(text); }
    QString highlightedEditText() const override { return cm->highlightedEditText(); }
    qint16 selectedPosition() const override { return cm->selectedPosition(); }
    void selectPosition(qint16 position) override { cm->selectPosition(position); }
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
    QPlainTextEdit *Text1;
    QPushButton *Command1;
    QPushButton *Command2;
    QPushButton *Command3;
    ContactCombo *cm;
    QLabel *Label1;
    AwayViewer m_logic;
};

} // namespace zelmo
