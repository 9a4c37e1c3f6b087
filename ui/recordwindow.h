#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTableView;

namespace zelmo {

class ActivityLog;

// "While you were away...": the record of what the program did for whom, earlier runs included,
// newest first, with a button that empties it. A window of its own, not modal and with no
// parent, so that it can stay open beside the main window, whatever dialog that has open.
class RecordWindow : public QDialog {
    Q_OBJECT
public:
    explicit RecordWindow(ActivityLog &log, QWidget *parent = nullptr);

    static QString title() { return QStringLiteral("Zelmo Extensions - While You Were Away"); }

protected:
    void showEvent(QShowEvent *event) override;

private:
    ActivityLog &m_log;
    QLabel *m_intro;
    QTableView *m_table;
    QPushButton *m_clearButton; // Clear
    QPushButton *m_closeButton; // Close
};

} // namespace zelmo
