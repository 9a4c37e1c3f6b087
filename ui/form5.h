#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zelmo {

class AuthorizationCode;

// The dialog in which the user views and changes the authorization code. Opened modally
// from the main window's menu.
class Form5 : public QDialog {
    Q_OBJECT
public:
    explicit Form5(AuthorizationCode &code, QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private Q_SLOTS:
    void Command1_Click();
    void Command2_Click();

private:
    void Form_Load();
    void Form_Activate();
    // The key handlers get the key's character code and may discard the key by setting it
    // to 0.
    void Form_KeyPress(char16_t &KeyAscii);
    void Text1_KeyPress(char16_t &KeyAscii);
    void Text1_Click();

    AuthorizationCode &m_code;
    // Set while a window of this program (a message box, a menu) holds the focus that this
    // dialog gave up, so that getting it back is not taken for a new activation.
    bool m_focusWithOwnWindow = false;

    QLabel *Label1;
    QLineEdit *Text1;
    QPushButton *Command1;
    QPushButton *Command2;
};

} // namespace zelmo
