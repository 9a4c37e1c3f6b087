#pragma once

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QSpinBox;

namespace zelmo {

class IdleAway;

// Whether, and after how many minutes without input, the program goes away by itself.
// Opened modally from the main window's Settings menu.
class IdleDialog : public QDialog {
    Q_OBJECT
public:
    explicit IdleDialog(IdleAway &idleAway, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ok();

    IdleAway &m_idleAway;
    QCheckBox *m_enabled;
    QSpinBox *m_minutes;
    QDialogButtonBox *m_buttons;
};

} // namespace zelmo
