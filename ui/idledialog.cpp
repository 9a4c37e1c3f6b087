#include "ui/idledialog.h"

#include "core/idleaway.h"
#include "ui/messagebox.h"
#include "ui/twips.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>

namespace zelmo {

IdleDialog::IdleDialog(IdleAway &idleAway, QWidget *parent)
    : QDialog(parent)
    , m_idleAway(idleAway)
    , m_enabled(new QCheckBox(tr("&Go away when idle for"), this))
    , m_minutes(new QSpinBox(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(tr("Zelmo Extensions - Go Away When Idle"));
    setFont(arialFont(8.25));
    setFixedSize(twipsSize(4080, 1080, this));

    m_enabled->setObjectName(QStringLiteral("enabled"));
    m_enabled->setAccessibleName(tr("Go away when idle"));
    m_minutes->setObjectName(QStringLiteral("minutes"));
    m_minutes->setAccessibleName(tr("Minutes without input"));
    m_minutes->setRange(IdleAway::minMinutes, IdleAway::maxMinutes);
    m_minutes->setSuffix(tr(" minutes"));
    m_buttons->setObjectName(QStringLiteral("buttons"));
    m_buttons->button(QDialogButtonBox::Ok)->setAccessibleName(tr("OK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));
    placeTwips(m_enabled, 120, 150, 2175, 255);
    placeTwips(m_minutes, 2400, 120, 1560, 315);
    placeTwips(m_buttons, 120, 600, 3840, 375);

    const IdleAway::Choice choice = m_idleAway.choice();
    m_enabled->setChecked(choice.enabled);
    m_minutes->setValue(choice.minutes);
    m_minutes->setEnabled(choice.enabled);
    connect(m_enabled, &QCheckBox::toggled, m_minutes, &QSpinBox::setEnabled);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &IdleDialog::ok);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void IdleDialog::showEvent(QShowEvent *event)
{
    const CentredShow centred(this, event);
    QDialog::showEvent(event);
}

void IdleDialog::ok()
{
    // A value typed but not yet taken by the spin box counts as well.
    m_minutes->interpretText();
    if (!m_idleAway.setChoice({m_enabled->isChecked(), m_minutes->value()}))
        MessageBox::warning(this, applicationTitle(),
                            tr("The new setting is in force now, but it could not be saved for "
                               "the next start."));
    accept();
}

} // namespace zelmo
