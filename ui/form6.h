#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QTimer;

namespace zelmo {

class AppState;

// The small "changing status" window shown while the own state is being switched. It closes
// itself on the first tick after the switch has signalled its end through CurrStatus.
class Form6 : public QDialog {
    Q_OBJECT
public:
    explicit Form6(AppState &state, QWidget *parent = nullptr);

    static QString title() { return QStringLiteral("Zelmo - Changing Status"); }
    static constexpr int tickInterval = 100;

    qint16 progressValue() const { return progress; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void Form_Load();
    void Timer1_Timer();

    AppState &m_state;
    QProgressBar *pb = nullptr;
    QLabel *Label1 = nullptr;
    QTimer *Timer1 = nullptr;
    qint16 progress = 0;
};

} // namespace zelmo
