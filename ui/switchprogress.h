#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QTimer;

namespace zelmo {

class AppState;

// The small "changing status" window shown while the own state is being switched. It closes
// itself on the first tick after the switch has signalled its end through switchCompleted.
class SwitchProgress : public QDialog {
    Q_OBJECT
public:
    explicit SwitchProgress(AppState &state, QWidget *parent = nullptr);

    static QString title() { return QStringLiteral("Zelmo - Changing Status"); }
    static constexpr int tickInterval = 100;

    qint16 progressValue() const { return progress; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void start();
    void tick();

    AppState &m_state;
    QProgressBar *m_bar = nullptr;
    QLabel *m_waitLabel = nullptr;
    QTimer *m_ticker = nullptr;
    qint16 progress = 0;
};

} // namespace zelmo
