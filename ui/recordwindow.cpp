#include "ui/recordwindow.h"

#include "core/activitylog.h"
#include "ui/twips.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace zelmo {

RecordWindow::RecordWindow(ActivityLog &log, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
    , m_log(log)
    , m_intro(new QLabel(tr("What the program did for whom, newest first, earlier runs included:"),
                         this))
    , m_table(new QTableView(this))
    , m_clearButton(new QPushButton(tr("C&lear"), this))
    , m_closeButton(new QPushButton(tr("&Close"), this))
{
    setObjectName(QStringLiteral("recordWindow"));
    setWindowTitle(title());
    setFont(arialFont(8.25));

    m_intro->setObjectName(QStringLiteral("intro"));
    m_intro->setBuddy(m_table);
    m_table->setObjectName(QStringLiteral("table"));
    m_table->setAccessibleName(tr("What was answered"));
    m_table->setModel(&m_log);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(ActivityLog::TimeColumn,
                                                      QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(ActivityLog::ContactColumn,
                                                      QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(ActivityLog::ContactColumn, twipsToPixels(3000, this));
    m_clearButton->setObjectName(QStringLiteral("clearButton"));
    m_clearButton->setAccessibleName(tr("Clear"));
    m_clearButton->setToolTip(tr("Empty the record"));
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    m_closeButton->setAccessibleName(tr("Close"));
    connect(m_clearButton, &QPushButton::clicked, &m_log, &ActivityLog::clear);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::close);
    // Enter and Esc belong to the list, not to a button.
    m_clearButton->setAutoDefault(false);
    m_closeButton->setAutoDefault(false);
    // Nothing to clear in an empty record.
    const auto follow = [this] { m_clearButton->setEnabled(m_log.rowCount() > 0); };
    connect(&m_log, &QAbstractItemModel::rowsInserted, this, follow);
    connect(&m_log, &QAbstractItemModel::modelReset, this, follow);
    follow();
    // A row the open window shows is seen: it is not shown again at the next start.
    connect(&m_log, &QAbstractItemModel::rowsInserted, this, [this] {
        if (isVisible())
            m_log.markSeen();
    });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_clearButton);
    buttons->addWidget(m_closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_intro);
    layout->addWidget(m_table);
    layout->addLayout(buttons);
    resize(twipsSize(10500, 5400, this));
    centreOnScreen(this);
}

void RecordWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_log.markSeen();
}

} // namespace zelmo
