#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace zelmo {

// Asks for the password of the XMPP account the program signs in to, and whether to keep it
// in the desktop's keyring for the next run.
class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    // offerSave: a keyring answered, so the password can be kept there.
    PasswordDialog(const QString &account, bool offerSave, QWidget *parent = nullptr);

    QString password() const;
    bool savePassword() const;

    struct Answer {
        QString password;
        bool save = false;
    };
    // Shows the dialog modally; nothing when the user cancels.
    static std::optional<Answer> ask(const QString &account, bool offerSave,
                                     QWidget *parent = nullptr);

private:
    QLineEdit *m_password;
    QCheckBox *m_save;
    QPushButton *m_ok;
};

} // namespace zelmo
