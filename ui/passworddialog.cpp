#include "ui/passworddialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zelmo {

PasswordDialog::PasswordDialog(const QString &account, bool offerSave, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Zelmo Extensions - Sign in"));
    auto *layout = new QVBoxLayout(this);
    auto *prompt = new QLabel(QStringLiteral("Password for %1:").arg(account), this);
    layout->addWidget(prompt);

    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setAccessibleName(QStringLiteral("Password"));
    prompt->setBuddy(m_password);
    layout->addWidget(m_password);

    m_save = new QCheckBox(QStringLiteral("&Keep the password in the keyring"), this);
    m_save->setAccessibleName(QStringLiteral("Keep the password in the keyring"));
    m_save->setVisible(offerSave);
    layout->addWidget(m_save);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(QStringLiteral("&Sign in"));
    m_ok->setEnabled(false);
    layout->addWidget(buttons);

    connect(m_password, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_ok->setEnabled(!text.isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString PasswordDialog::password() const
{
    return m_password->text();
}

bool PasswordDialog::savePassword() const
{
    return !m_save->isHidden() && m_save->isChecked();
}

std::optional<PasswordDialog::Answer> PasswordDialog::ask(const QString &account, bool offerSave,
                                                          QWidget *parent)
{
    PasswordDialog dialog(account, offerSave, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return Answer{dialog.password(), dialog.savePassword()};
}

} // namespace zelmo
