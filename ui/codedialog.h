#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zelmo {

class AuthorizationCode;

// The dialog in which the user views and changes the authorization code. Opened modally
// from the main window's menu.
class CodeDialog : public QDialog {
    Q_OBJECT
public:
    explicit CodeDialog(AuthorizationCode &code, QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private Q_SLOTS:
    void saveCode();
    void cancel();

private:
    void start();
    void windowActivated();
    // The key handlers get the key's character code and may discard the key by setting it
    // to 0.
    void filterDialogKey(char16_t &key);
    void filterCodeKey(char16_t &key);
    void codeFieldClicked();

    AuthorizationCode &m_code;
    // Set while a window of this program (a message box, a menu) holds the focus that this
    // dialog gave up, so that getting it back is not taken for a new activation.
    bool m_focusWithOwnWindow = false;

    QLabel *m_codeLabel;
    QLineEdit *m_codeField;
    QPushButton *m_setButton;
    QPushButton *m_cancelButton;
};

} // namespace zelmo
