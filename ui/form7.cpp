#include "ui/form7.h"

#include "core/activitylog.h"
#include "ui/twips.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace zelmo {

Form7::Form7(ActivityLog &log, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint)
    , m_log(log)
    , Label1(new QLabel(tr("What the program did for whom, newest first, earlier runs included:"),
                        this))
    , List1(new QTableView(this))
    , Command1(new QPushButton(tr("C&lear"), this))
    , Command2(new QPushButton(tr("&Close"), this))
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(title());
    setFont(arialFont(8.25));

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setBuddy(List1);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setAccessibleName(tr("What was answered"));
    List1->setModel(&m_log);
    List1->setSelectionBehavior(QAbstractItemView::SelectRows);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setWordWrap(false);
    List1->verticalHeader()->hide();
    List1->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    List1->horizontalHeader()->setSectionResizeMode(ActivityLog::TimeColumn,
                                                    QHeaderView::ResizeToContents);
    List1->horizontalHeader()->setSectionResizeMode(ActivityLog::ContactColumn,
                                                    QHeaderView::Interactive);
    List1->horizontalHeader()->setStretchLastSection(true);
    List1->setColumnWidth(ActivityLog::ContactColumn, twipsToPixels(3000, this));
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAccessibleName(tr("Clear"));
    Command1->setToolTip(tr("Empty the record"));
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setAccessibleName(tr("Close"));
    connect(Command1, &QPushButton::clicked, &m_log, &ActivityLog::clear);
    connect(Command2, &QPushButton::clicked, this, &QDialog::close);
    // Enter and Esc belong to the list, not to a button.
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);
    // Nothing to clear in an empty record.
    const auto follow = [this] { Command1->setEnabled(m_log.rowCount() > 0); };
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
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(List1);
    layout->addLayout(buttons);
    resize(twipsSize(10500, 5400, this));
    centreOnScreen(this);
}

void Form7::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_log.markSeen();
}

} // namespace zelmo
