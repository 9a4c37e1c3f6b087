#include "ui/mainwindow.h"

#include "messenger/messengererror.h"
#include "core/logonnames.h"
#include "ui/aboutbox.h"
#include "ui/awaymessageeditor.h"
#include "ui/awaymessageviewer.h"
#include "ui/codedialog.h"
#include "ui/idledialog.h"
#include "ui/mainwindowparts.h"
#include "ui/messagebox.h"
#include "ui/recordwindow.h"
#include "ui/switchprogress.h"
#include "ui/systemtray.h"
#include "ui/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QStatusBar>
#include <QStringListModel>
#include <QTextStream>
#include <QTime>
#include <QTimer>

#include <utility>

// The icons live in this static library: they must be registered before first use.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace zelmo {

namespace {

QLabel *iconLabel(QWidget *parent, const char *name, const QString &resource)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setPixmap(QPixmap(resource));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

void updateLines(QStringListModel &model, const QStringList &lines)
{
    // Rebuilds come one per contact event and mostly change a line or two: touching only the
    // rows that differ keeps the repaint small and the user's selection where it was.
    const QStringList old = model.stringList();
    const int shorter = static_cast<int>(std::min(old.size(), lines.size()));
    int prefix = 0;
    while (prefix < shorter && old.at(prefix) == lines.at(prefix))
        ++prefix;
    int suffix = 0;
    while (suffix < shorter - prefix &&
           old.at(old.size() - 1 - suffix) == lines.at(lines.size() - 1 - suffix))
        ++suffix;
    const int oldMiddle = static_cast<int>(old.size()) - prefix - suffix;
    const int newMiddle = static_cast<int>(lines.size()) - prefix - suffix;
    constexpr int largeChange = 32;
    if (std::min(oldMiddle, newMiddle) > largeChange) {
        // Many lines differ: one reset costs less than row-by-row updates.
        model.setStringList(lines);
        return;
    }
    const int replaced = std::min(oldMiddle, newMiddle);
    for (int i = 0; i < replaced; ++i)
        model.setData(model.index(prefix + i), lines.at(prefix + i));
    if (newMiddle > oldMiddle) {
        model.insertRows(prefix + replaced, newMiddle - oldMiddle);
        for (int i = replaced; i < newMiddle; ++i)
            model.setData(model.index(prefix + i), lines.at(prefix + i));
    } else if (oldMiddle > newMiddle) {
        model.removeRows(prefix + replaced, oldMiddle - newMiddle);
    }
}

MainWindow::MainWindow(Program &program, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint)
    , m_program(program)
{
    m_program.setView(this);
    initResources();
    setObjectName(QStringLiteral("mainWindow"));
    QMainWindow::setWindowTitle(title());
    setWindowIcon(QIcon(QStringLiteral(":/zelmo/zelmo.png")));
    setFont(arialFont(8.25));

    buildMenus();
    buildControls();
    buildStatusBar();

    m_systemTray = new SystemTray(windowIcon(), this);
    m_tray = std::make_unique<Tray>(*m_systemTray, *this);
    connect(m_systemTray, &SystemTray::doubleClicked, this,
            [this] { m_tray->iconDoubleClicked(); });
    connect(m_systemTray, &SystemTray::restoreChosen, this, [this] { m_tray->restoreChosen(); });
    connect(m_systemTray, &SystemTray::exitChosen, this, [this] { m_tray->exitChosen(); });
    connect(m_systemTray, &SystemTray::recordChosen, this, &MainWindow::showActivityRecord);

    // Fixed single border: the client area is fixed, the menu and status bars come on top.
    adjustSize();
    setFixedSize(sizeHint());
    centreOnScreen(this);
}

MainWindow::~MainWindow()
{
    m_program.setView(nullptr);
    if (m_progress)
        delete m_progress.data();
    if (m_record)
        delete m_record.data();
}

void MainWindow::buildMenus()
{
    QMenu *settingsMenu = menuBar()->addMenu(QStringLiteral("&Settings"));
    settingsMenu->setObjectName(QStringLiteral("settingsMenu"));
    QAction *codeItem = settingsMenu->addAction(QStringLiteral("Authorized Password"));
    codeItem->setObjectName(QStringLiteral("codeItem"));
    connect(codeItem, &QAction::triggered, this, &MainWindow::codeChosen);
    QAction *idle = settingsMenu->addAction(QStringLiteral("Go away when &idle..."));
    idle->setObjectName(QStringLiteral("idleaway"));
    const IdleAway &idleAway = m_program.idleAway();
    idle->setEnabled(idleAway.available());
    if (!idleAway.available())
        idle->setToolTip(idleAway.unavailableReason());
    // A menu shows its items' tooltips only when asked to: here it says why one is disabled.
    settingsMenu->setToolTipsVisible(true);
    connect(idle, &QAction::triggered, this, [this] {
        IdleDialog dialog(m_program.idleAway(), this);
        execOverMainWindow(dialog);
    });
    QAction *remember = settingsMenu->addAction(QStringLiteral("&Remember away messages"));
    remember->setObjectName(QStringLiteral("remember"));
    remember->setCheckable(true);
    remember->setChecked(m_program.rememberedMessages().enabled());
    // The window is built before the start-up reads the settings, and may set a malformed
    // file aside: the menu shows the choice as it is stored when it opens.
    connect(settingsMenu, &QMenu::aboutToShow, remember,
            [this, remember] { remember->setChecked(m_program.rememberedMessages().enabled()); });
    connect(remember, &QAction::triggered, this, [this, remember](bool on) {
        RememberedMessages &remembered = m_program.rememberedMessages();
        const bool confirmed =
            on || MessageBox::question(
                      this, applicationTitle(),
                      QStringLiteral("Forget the remembered away messages? The file %1 is "
                                     "deleted now; the away messages set in this run stay "
                                     "until the program ends.")
                          .arg(remembered.path()));
        if (confirmed) {
            if (const QString problem = remembered.setEnabled(on); !problem.isEmpty())
                MessageBox::warning(this, applicationTitle(), problem);
        }
        remember->setChecked(remembered.enabled());
    });
    QAction *record = settingsMenu->addAction(QStringLiteral("&While you were away..."));
    record->setObjectName(QStringLiteral("awayRecord"));
    connect(record, &QAction::triggered, this, &MainWindow::showActivityRecord);

    QMenu *aboutMenu = menuBar()->addMenu(QStringLiteral("&About"));
    aboutMenu->setObjectName(QStringLiteral("aboutMenu"));
    QAction *aboutItem = aboutMenu->addAction(QStringLiteral("About Zelmo Extensions"));
    aboutItem->setObjectName(QStringLiteral("aboutItem"));
    connect(aboutItem, &QAction::triggered, this, &MainWindow::aboutChosen);
}

void MainWindow::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twipsSize(4815, 3375 - 255, this));
    setCentralWidget(client);

    m_onlineFrame = new FrameBox(QStringLiteral("Online Users"), client);
    m_onlineFrame->setObjectName(QStringLiteral("onlineFrame"));
    m_onlineFrame->setAccessibleName(QStringLiteral("Online Users"));
    placeTwips(m_onlineFrame, 0, 0, 4815, 2175);

    // m_statusMessage lies under the list and shows through only while the list is hidden. It has
    // the list's place, and scrolls when a reason under its text is longer still.
    auto *statusMessageBox = new QScrollArea(m_onlineFrame);
    statusMessageBox->setObjectName(QStringLiteral("statusMessageBox"));
    statusMessageBox->setFrameShape(QFrame::NoFrame);
    statusMessageBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    statusMessageBox->setWidgetResizable(true);
    placeTwips(statusMessageBox, 120, 240, 4575, 1740);
    m_statusMessage = new QLabel;
    m_statusMessage->setObjectName(QStringLiteral("statusMessage"));
    m_statusMessage->setAlignment(Qt::AlignCenter);
    m_statusMessage->setWordWrap(true);
    m_statusMessage->setFont(arialFont(11.25));
    m_statusMessage->setAccessibleDescription(QStringLiteral("Messenger status message"));
    statusMessageBox->setWidget(m_statusMessage);

    m_onlineModel = new QStringListModel(this);
    m_onlineList = new QListView(m_onlineFrame);
    m_onlineList->setObjectName(QStringLiteral("onlineList"));
    m_onlineList->setAccessibleName(QStringLiteral("Online Contacts"));
    m_onlineList->setToolTip(QStringLiteral("Online Contacts"));
    m_onlineList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_onlineList->setUniformItemSizes(true);
    m_onlineList->setModel(m_onlineModel);
    placeTwips(m_onlineList, 120, 240, 4575, 1740);
    m_onlineList->setVerticalScrollBar(new SteadyScrollBar(Qt::Vertical, m_onlineList));
    m_onlineList->setHorizontalScrollBar(new SteadyScrollBar(Qt::Horizontal, m_onlineList));
    // Opaque, so that repainting the list does not repaint the frame's title and border
    // behind it each time.
    m_onlineList->setAutoFillBackground(true);
    m_onlineList->raise();
    m_onlineList->viewport()->installEventFilter(this);

    m_onlineCount = new QLabel(client);
    m_onlineCount->setObjectName(QStringLiteral("onlineCount"));
    // A label's text is what a screen reader reads; the description says what it is.
    m_onlineCount->setAccessibleDescription(QStringLiteral("Number of contacts online"));
    placeTwips(m_onlineCount, 60, 2235, 1815, 255);

    const QString viewHint = QStringLiteral("Click to view away messages");
    m_noAwayIcon = iconLabel(client, "noAwayIcon", QStringLiteral(":/zelmo/noaway.png"));
    m_noAwayIcon->setToolTip(viewHint);
    m_noAwayIcon->setAccessibleName(QStringLiteral("No away messages"));
    placeTwips(m_noAwayIcon, 2325, 2235, 480, 480);
    m_awayIcon = iconLabel(client, "awayIcon", QStringLiteral(":/zelmo/away.png"));
    m_awayIcon->setToolTip(viewHint);
    m_awayIcon->setAccessibleName(QStringLiteral("Away messages set"));
    placeTwips(m_awayIcon, 2325, 2235, 480, 480);
    m_awayIcon->hide();

    // Its text is its accessible name, so that a screen reader reads the indicator's state.
    m_indicator = new QLabel(Program::noAwayMessagesText(), client);
    m_indicator->setObjectName(QStringLiteral("indicator"));
    m_indicator->setToolTip(viewHint);
    m_indicator->setAccessibleDescription(viewHint);
    m_indicator->setWordWrap(true);
    placeTwips(m_indicator, 2940, 2235, 1695, 375);
    for (QLabel *opener : {m_noAwayIcon, m_awayIcon, m_indicator}) {
        opener->setCursor(Qt::PointingHandCursor);
        opener->installEventFilter(this);
    }

    m_awayButton = new QPushButton(QStringLiteral("Set yourself &away"), client);
    m_awayButton->setObjectName(QStringLiteral("awayButton"));
    m_awayButton->setToolTip(
        QStringLiteral("Switch your messenger status between away and online"));
    placeTwips(m_awayButton, 60, 2745, 2280, 315);
    connect(m_awayButton, &QPushButton::clicked, this, &MainWindow::awayButtonClicked);

    m_messageButton = new QPushButton(QStringLiteral("Set away &message"), client);
    m_messageButton->setObjectName(QStringLiteral("messageButton"));
    m_messageButton->setToolTip(
        QStringLiteral("Write an away message for a contact or for everyone"));
    placeTwips(m_messageButton, 2490, 2745, 2280, 315);
    connect(m_messageButton, &QPushButton::clicked, this, &MainWindow::messageButtonClicked);
}

void MainWindow::buildStatusBar()
{
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("statusBar"));
    m_statusBar->setSizeGripEnabled(false);
    m_statusBar->setFixedHeight(std::max(twipsToPixels(255, this), fontMetrics().height() + 6));
    setStatusBar(m_statusBar);

    struct Panel {
        const char *text;
        const char *tip;
        int width;
    };
    const Panel panels[3] = {{"Unread Mail: ", "Unread Mail", 1300},
                             {"Status:", "Current Messenger Status", 1840},
                             {"", "Local Time", 1540}};
    for (int i = 0; i < 3; ++i) {
        auto *label = new QLabel(QString::fromLatin1(panels[i].text), m_statusBar);
        label->setObjectName(QStringLiteral("statusPanel%1").arg(i + 1));
        label->setToolTip(QString::fromLatin1(panels[i].tip));
        label->setAccessibleDescription(QString::fromLatin1(panels[i].tip));
        // The panels share the window's width as their twips say, less the gaps between them.
        label->setFixedWidth(twipsToPixels(panels[i].width, this) - 8);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        // The mail panel is narrow: a framed label's usual indent of half an x, and the
        // window's 8.25-point font, would cut a count of two or three digits.
        label->setIndent(2);
        label->setFont(arialFont(7.5));
        m_statusBar->addWidget(label);
        m_panels[i] = label;
    }

    m_clock = new QTimer(this);
    m_clock->setInterval(1000);
    connect(m_clock, &QTimer::timeout, this, &MainWindow::updateClock);
    m_clock->start();
    updateClock();
}

QString MainWindow::clockText(const QTime &time)
{
    // Hours and minutes, in the user's own notation.
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(QRegularExpression(QStringLiteral("[:.]ss?")));
    return locale.toString(time, format);
}

void MainWindow::updateClock()
{
    const QString now = clockText(QTime::currentTime());
    if (m_panels[2]->text() != now)
        m_panels[2]->setText(now);
}

QString MainWindow::panelText(int panel) const
{
    return panel >= 1 && panel <= 3 ? m_panels[panel - 1]->text() : QString();
}

void MainWindow::setOnlineLines(const QStringList &lines)
{
    updateLines(*m_onlineModel, lines);
}

void MainWindow::setOnlineCountText(const QString &text)
{
    m_onlineCount->setText(text);
}

void MainWindow::setMailText(const QString &text)
{
    m_panels[0]->setText(text);
}

void MainWindow::setStatusText(const QString &text)
{
    m_panels[1]->setText(text);
}

void MainWindow::setSwitchCaption(const QString &text)
{
    m_awayButton->setText(text);
}

void MainWindow::setTitle(const QString &title)
{
    QMainWindow::setWindowTitle(title);
}

void MainWindow::setSwitchEnabled(bool enabled)
{
    m_awayButton->setEnabled(enabled);
}

void MainWindow::setWindowEnabled(bool enabled)
{
    setEnabled(enabled);
}

void MainWindow::showProgress()
{
    if (m_progress)
        m_progress->close();
    // A window of its own rather than a child: a child would be disabled with this window.
    m_progress = new SwitchProgress(state());
    m_progress->setAttribute(Qt::WA_DeleteOnClose);
    m_progress->show();
}

SwitchProgress *MainWindow::progressWindow() const
{
    return m_progress.data();
}

void MainWindow::dismissProgress()
{
    if (m_progress)
        m_progress->close();
}

void MainWindow::awayButtonClicked()
{
    // A failure passed up from the switch has already given the window back; the next
    // refresh shows the state the client really has.
    skipOnFailure([&] { localStatus().toggleAway(); });
}

void MainWindow::codeChosen()
{
    CodeDialog dialog(authorizationCode(), this);
    execOverMainWindow(dialog);
}

void MainWindow::showWindow()
{
    show();
}

void MainWindow::setAwayEditorEnabled(bool enabled)
{
    m_messageButton->setEnabled(enabled);
}

void MainWindow::setOnlineListVisible(bool visible)
{
    m_onlineList->setVisible(visible);
}

void MainWindow::setNotConnectedText(const QString &text)
{
    m_notConnectedText = text;
    showNotConnectedLabel();
}

void MainWindow::setNotConnectedReason(const QString &reason)
{
    m_notConnectedReason = reason;
    showNotConnectedLabel();
}

void MainWindow::showNotConnectedLabel()
{
    if (m_notConnectedReason.isEmpty()) {
        m_statusMessage->setText(m_notConnectedText);
        return;
    }
    // Smaller than the program's own text, so that both fit the area.
    QString said = m_notConnectedReason.toHtmlEscaped();
    said[0] = said[0].toUpper();
    m_statusMessage->setText(m_notConnectedText +
                             QStringLiteral("<br><span style=\"font-size: 8pt\">") + said +
                             QStringLiteral("</span>"));
}

void MainWindow::showNoAwayMessages(const QString &text)
{
    m_indicator->setText(text);
    m_noAwayIcon->show();
    m_awayIcon->hide();
}

void MainWindow::showAwayMessagesSet(const QString &text)
{
    m_indicator->setText(text);
    m_noAwayIcon->hide();
    m_awayIcon->show();
}

void MainWindow::warnUser(const QString &text, bool wait)
{
    QTextStream(stderr) << "zelmo: " << text << '\n';
    if (wait)
        MessageBox::warning(this, applicationTitle(), text);
    else
        MessageBox::warningLater(this, applicationTitle(), text);
}

void MainWindow::showActivityRecord()
{
    // Asked for at the start (rows an earlier run did not show): on top of the main window,
    // not under it, once that is shown.
    if (!m_shownOnce) {
        m_recordAfterFirstShow = true;
        return;
    }
    if (!m_record) {
        m_record = new RecordWindow(program().activityLog());
        m_record->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_record->show();
    m_record->raise();
    m_record->activateWindow();
}

void MainWindow::closeSplash()
{
    if (m_closeSplash)
        m_closeSplash();
}

void MainWindow::removeTrayIcon()
{
    m_tray->removeIcon();
}

QString MainWindow::currentTitle() const
{
    return QMainWindow::windowTitle();
}

void MainWindow::hideWindow()
{
    // Hidden once the state change is over: hiding from inside it confuses some window
    // managers about the window's state.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized())
            hide();
    });
}

void MainWindow::restoreWindow()
{
    showNormal();
    raise();
    activateWindow();
    update();
    // A dialog left open comes back on top of the window it belongs to, even where the window
    // manager minimised it with the window.
    if (QWidget *dialog = QApplication::activeModalWidget(); dialog && dialog != this) {
        dialog->showNormal();
        dialog->raise();
        dialog->activateWindow();
    }
}

void MainWindow::closeWindow()
{
    close();
}

void MainWindow::execOverMainWindow(QDialog &dialog)
{
    // Dialogs block the main window only: the tray icon (and the built-in messenger's window)
    // must still answer, or a main window minimised behind an open dialog could never come
    // back.
    dialog.setWindowModality(Qt::WindowModal);
    dialog.installEventFilter(this);
    dialog.exec();
}

void MainWindow::aboutChosen()
{
    AboutBox about(this);
    execOverMainWindow(about);
}

void MainWindow::messageButtonClicked()
{
    AwayMessageEditor editor(state(), *this, this);
    execOverMainWindow(editor);
}

void MainWindow::indicatorClicked()
{
    openViewer();
}

void MainWindow::openViewer()
{
    AwayMessageViewer viewer(state(), this);
    execOverMainWindow(viewer);
}

void MainWindow::showSelectedLogonNames()
{
    state().bringListsUpToDate();
    const QModelIndex current = m_onlineList->selectionModel()->currentIndex();
    const QString line =
        m_onlineList->selectionModel()->isSelected(current) ? current.data().toString() : QString();
    // Every matching contact gets a box of its own, one after the other.
    for (const QString &logon : logonNamesForLine(state().allContacts, line))
        MessageBox::information(this, QStringLiteral("Zelmo Extensions - Buddy Login ID"), logon);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // A dialog minimised on its own would leave the blocked main window with no way to bring
    // it back: the main window goes to the tray with it, as many window managers do anyway.
    if (event->type() == QEvent::WindowStateChange && qobject_cast<QDialog *>(watched) &&
        static_cast<QWidget *>(watched)->isMinimized() && !isMinimized() && isVisible()) {
        QTimer::singleShot(0, this, [this] {
            if (!isMinimized())
                showMinimized();
        });
    }
    // The boxes and dialogs open once the release has been handled: a modal loop run from
    // inside the mouse event leaves the window deaf to the mouse after it closes.
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == m_onlineList->viewport()) {
            QTimer::singleShot(0, this, &MainWindow::showSelectedLogonNames);
        } else if (watched == m_indicator || watched == m_noAwayIcon || watched == m_awayIcon) {
            auto *label = static_cast<QWidget *>(watched);
            const auto *release = static_cast<QMouseEvent *>(event);
            // A click ends over the control it began on.
            if (label->rect().contains(release->pos()))
                QTimer::singleShot(0, this, &MainWindow::openViewer);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::endProgram(int status)
{
    hide();
    if (m_endProgram)
        m_endProgram(status);
    else
        QCoreApplication::exit(status);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing is never refused; the shutdown saves the code and ends the program.
    QMainWindow::closeEvent(event);
    m_program.shutDown();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    m_shownOnce = true;
    if (std::exchange(m_recordAfterFirstShow, false))
        QTimer::singleShot(0, this, &MainWindow::showActivityRecord);
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_program.windowActivated();
    if (event->type() == QEvent::WindowStateChange)
        m_tray->windowResized(isMinimized());
}

} // namespace zelmo
