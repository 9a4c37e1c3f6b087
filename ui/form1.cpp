#include "ui/form1.h"

#include "messenger/messengererror.h"
#include "core/logonnames.h"
#include "ui/form2.h"
#include "ui/form3.h"
#include "ui/form4.h"
#include "ui/form5.h"
#include "ui/form6.h"
#include "ui/form7.h"
#include "ui/idledialog.h"
#include "ui/messagebox.h"
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
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyleOptionSlider>
#include <QStringListModel>
#include <QTextStream>
#include <QTime>
#include <QTimer>

#include <optional>
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

// A scroll bar that repaints only when what it shows changes. Every contact coming online
// moves the list's range by one row, which rarely moves the handle by a pixel; repainting
// the bar each time cost more than the rest of the update.
class SteadyScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override
    {
        if (m_painted && *m_painted == look())
            return;
        QScrollBar::sliderChange(change);
    }

    void paintEvent(QPaintEvent *event) override
    {
        // Whatever made this paint (a resize, a new style, a hover), this is now on screen.
        m_painted = look();
        QScrollBar::paintEvent(event);
    }

private:
    struct Look {
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        bool enabled = false;
        bool operator==(const Look &) const = default;
    };

    Look look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                        this),
                option.sliderValue == option.minimum, option.sliderValue == option.maximum,
                isEnabled()};
    }

    std::optional<Look> m_painted;
};

// A frame with its caption in the top border, as a frame's caption is drawn; most Linux
// styles put a group box's title on a line of its own above the frame instead.
class FrameBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        // The border runs through the middle of the caption, etched: a shadow, then a light.
        const QRect border = rect().adjusted(0, metrics.height() / 2, -2, -2);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(border);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(border.translated(1, 1));
        const QRect caption(metrics.averageCharWidth(), 0,
                            metrics.horizontalAdvance(title()) + 2 * captionPadding,
                            metrics.height());
        painter.fillRect(caption, palette().window());
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, title());
    }

private:
    static constexpr int captionPadding = 2;
};

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

Form1::Form1(Program &program, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint)
    , m_program(program)
{
    m_program.setView(this);
    initResources();
    setObjectName(QStringLiteral("Form1"));
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
    connect(m_systemTray, &SystemTray::restoreChosen, this, [this] { m_tray->mnuRestore_Click(); });
    connect(m_systemTray, &SystemTray::exitChosen, this, [this] { m_tray->mnuexit_Click(); });
    connect(m_systemTray, &SystemTray::recordChosen, this, &Form1::showActivityRecord);

    // Fixed single border: the client area is fixed, the menu and status bars come on top.
    adjustSize();
    setFixedSize(sizeHint());
    centreOnScreen(this);
}

Form1::~Form1()
{
    m_program.setView(nullptr);
    if (m_progress)
        delete m_progress.data();
    if (m_record)
        delete m_record.data();
}

void Form1::buildMenus()
{
    QMenu *settingsMenu = menuBar()->addMenu(QStringLiteral("&Settings"));
    settingsMenu->setObjectName(QStringLiteral("Settings"));
    QAction *authpass = settingsMenu->addAction(QStringLiteral("Authorized Password"));
    authpass->setObjectName(QStringLiteral("authpass"));
    connect(authpass, &QAction::triggered, this, &Form1::authpass_Click);
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
    connect(record, &QAction::triggered, this, &Form1::showActivityRecord);

    QMenu *aboutMenu = menuBar()->addMenu(QStringLiteral("&About"));
    aboutMenu->setObjectName(QStringLiteral("About"));
    QAction *zelmo = aboutMenu->addAction(QStringLiteral("About Zelmo Extensions"));
    zelmo->setObjectName(QStringLiteral("zelmo"));
    connect(zelmo, &QAction::triggered, this, &Form1::zelmo_Click);
}

void Form1::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twipsSize(4815, 3375 - 255, this));
    setCentralWidget(client);

    Frame1 = new FrameBox(QStringLiteral("Online Users"), client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setAccessibleName(QStringLiteral("Online Users"));
    placeTwips(Frame1, 0, 0, 4815, 2175);

    // Label2 lies under the list and shows through only while the list is hidden. It has the
    // list's place, and scrolls when a reason under its text is longer still.
    auto *label2Box = new QScrollArea(Frame1);
    label2Box->setObjectName(QStringLiteral("Label2Box"));
    label2Box->setFrameShape(QFrame::NoFrame);
    label2Box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    label2Box->setWidgetResizable(true);
    placeTwips(label2Box, 120, 240, 4575, 1740);
    Label2 = new QLabel;
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setWordWrap(true);
    Label2->setFont(arialFont(11.25));
    Label2->setAccessibleDescription(QStringLiteral("Messenger status message"));
    label2Box->setWidget(Label2);

    m_onlineModel = new QStringListModel(this);
    List1 = new QListView(Frame1);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setAccessibleName(QStringLiteral("Online Contacts"));
    List1->setToolTip(QStringLiteral("Online Contacts"));
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setUniformItemSizes(true);
    List1->setModel(m_onlineModel);
    placeTwips(List1, 120, 240, 4575, 1740);
    List1->setVerticalScrollBar(new SteadyScrollBar(Qt::Vertical, List1));
    List1->setHorizontalScrollBar(new SteadyScrollBar(Qt::Horizontal, List1));
    // Opaque, so that repainting the list does not repaint the frame's title and border
    // behind it each time.
    List1->setAutoFillBackground(true);
    List1->raise();
    List1->viewport()->installEventFilter(this);

    Label1 = new QLabel(client);
    Label1->setObjectName(QStringLiteral("Label1"));
    // A label's text is what a screen reader reads; the description says what it is.
    Label1->setAccessibleDescription(QStringLiteral("Number of contacts online"));
    placeTwips(Label1, 60, 2235, 1815, 255);

    const QString viewHint = QStringLiteral("Click to view away messages");
    im1 = iconLabel(client, "im1", QStringLiteral(":/zelmo/noaway.png"));
    im1->setToolTip(viewHint);
    im1->setAccessibleName(QStringLiteral("No away messages"));
    placeTwips(im1, 2325, 2235, 480, 480);
    im2 = iconLabel(client, "im2", QStringLiteral(":/zelmo/away.png"));
    im2->setToolTip(viewHint);
    im2->setAccessibleName(QStringLiteral("Away messages set"));
    placeTwips(im2, 2325, 2235, 480, 480);
    im2->hide();

    // Its text is its accessible name, so that a screen reader reads the indicator's state.
    Label3 = new QLabel(Program::noAwayMessagesText(), client);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setToolTip(viewHint);
    Label3->setAccessibleDescription(viewHint);
    Label3->setWordWrap(true);
    placeTwips(Label3, 2940, 2235, 1695, 375);
    for (QLabel *opener : {im1, im2, Label3}) {
        opener->setCursor(Qt::PointingHandCursor);
        opener->installEventFilter(this);
    }

    Command2 = new QPushButton(QStringLiteral("Set yourself &away"), client);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setToolTip(QStringLiteral("Switch your messenger status between away and online"));
    placeTwips(Command2, 60, 2745, 2280, 315);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);

    Command1 = new QPushButton(QStringLiteral("Set away &message"), client);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setToolTip(QStringLiteral("Write an away message for a contact or for everyone"));
    placeTwips(Command1, 2490, 2745, 2280, 315);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
}

void Form1::buildStatusBar()
{
    sb = new QStatusBar(this);
    sb->setObjectName(QStringLiteral("sb"));
    sb->setSizeGripEnabled(false);
    sb->setFixedHeight(std::max(twipsToPixels(255, this), fontMetrics().height() + 6));
    setStatusBar(sb);

    struct Panel {
        const char *text;
        const char *tip;
        int width;
    };
    const Panel panels[3] = {{"Unread Mail: ", "Unread Mail", 1300},
                             {"Status:", "Current Messenger Status", 1840},
                             {"", "Local Time", 1540}};
    for (int i = 0; i < 3; ++i) {
        auto *label = new QLabel(QString::fromLatin1(panels[i].text), sb);
        label->setObjectName(QStringLiteral("sbPanel%1").arg(i + 1));
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
        sb->addWidget(label);
        m_panels[i] = label;
    }

    m_clock = new QTimer(this);
    m_clock->setInterval(1000);
    connect(m_clock, &QTimer::timeout, this, &Form1::updateClock);
    m_clock->start();
    updateClock();
}

QString Form1::clockText(const QTime &time)
{
    // Hours and minutes, in the user's own notation.
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(QRegularExpression(QStringLiteral("[:.]ss?")));
    return locale.toString(time, format);
}

void Form1::updateClock()
{
    const QString now = clockText(QTime::currentTime());
    if (m_panels[2]->text() != now)
        m_panels[2]->setText(now);
}

QString Form1::panelText(int panel) const
{
    return panel >= 1 && panel <= 3 ? m_panels[panel - 1]->text() : QString();
}

void Form1::setOnlineLines(const QStringList &lines)
{
    updateLines(*m_onlineModel, lines);
}

void Form1::setOnlineCountText(const QString &text)
{
    Label1->setText(text);
}

void Form1::setMailText(const QString &text)
{
    m_panels[0]->setText(text);
}

void Form1::setStatusText(const QString &text)
{
    m_panels[1]->setText(text);
}

void Form1::setSwitchCaption(const QString &text)
{
    Command2->setText(text);
}

void Form1::setTitle(const QString &title)
{
    QMainWindow::setWindowTitle(title);
}

void Form1::setSwitchEnabled(bool enabled)
{
    Command2->setEnabled(enabled);
}

void Form1::setWindowEnabled(bool enabled)
{
    setEnabled(enabled);
}

void Form1::showProgress()
{
    if (m_progress)
        m_progress->close();
    // A window of its own rather than a child: a child would be disabled with this window.
    m_progress = new Form6(state());
    m_progress->setAttribute(Qt::WA_DeleteOnClose);
    m_progress->show();
}

Form6 *Form1::progressWindow() const
{
    return m_progress.data();
}

void Form1::dismissProgress()
{
    if (m_progress)
        m_progress->close();
}

void Form1::Command2_Click()
{
    // A failure passed up from the switch has already given the window back; the next
    // refresh shows the state the client really has.
    skipOnFailure([&] { localStatus().Command2_Click(); });
}

void Form1::authpass_Click()
{
    Form5 dialog(authorizationCode(), this);
    execOverMainWindow(dialog);
}

void Form1::showWindow()
{
    show();
}

void Form1::setAwayEditorEnabled(bool enabled)
{
    Command1->setEnabled(enabled);
}

void Form1::setOnlineListVisible(bool visible)
{
    List1->setVisible(visible);
}

void Form1::setNotConnectedText(const QString &text)
{
    m_notConnectedText = text;
    showNotConnectedLabel();
}

void Form1::setNotConnectedReason(const QString &reason)
{
    m_notConnectedReason = reason;
    showNotConnectedLabel();
}

void Form1::showNotConnectedLabel()
{
    if (m_notConnectedReason.isEmpty()) {
        Label2->setText(m_notConnectedText);
        return;
    }
    // Smaller than the program's own text, so that both fit the area.
    QString said = m_notConnectedReason.toHtmlEscaped();
    said[0] = said[0].toUpper();
    Label2->setText(m_notConnectedText + QStringLiteral("<br><span style=\"font-size: 8pt\">") +
                    said + QStringLiteral("</span>"));
}

void Form1::showNoAwayMessages(const QString &text)
{
    Label3->setText(text);
    im1->show();
    im2->hide();
}

void Form1::showAwayMessagesSet(const QString &text)
{
    Label3->setText(text);
    im1->hide();
    im2->show();
}

void Form1::warnUser(const QString &text, bool wait)
{
    QTextStream(stderr) << "zelmo: " << text << '\n';
    if (wait)
        MessageBox::warning(this, applicationTitle(), text);
    else
        MessageBox::warningLater(this, applicationTitle(), text);
}

void Form1::showActivityRecord()
{
    // Asked for at the start (rows an earlier run did not show): on top of the main window,
    // not under it, once that is shown.
    if (!m_shownOnce) {
        m_recordAfterFirstShow = true;
        return;
    }
    if (!m_record) {
        m_record = new Form7(program().activityLog());
        m_record->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_record->show();
    m_record->raise();
    m_record->activateWindow();
}

void Form1::closeSplash()
{
    if (m_closeSplash)
        m_closeSplash();
}

void Form1::removeTrayIcon()
{
    m_tray->removeIcon();
}

QString Form1::currentTitle() const
{
    return QMainWindow::windowTitle();
}

void Form1::hideWindow()
{
    // Hidden once the state change is over: hiding from inside it confuses some window
    // managers about the window's state.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized())
            hide();
    });
}

void Form1::restoreWindow()
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

void Form1::closeWindow()
{
    close();
}

void Form1::execOverMainWindow(QDialog &dialog)
{
    // Dialogs block the main window only: the tray icon (and the built-in messenger's window)
    // must still answer, or a main window minimised behind an open dialog could never come
    // back.
    dialog.setWindowModality(Qt::WindowModal);
    dialog.installEventFilter(this);
    dialog.exec();
}

void Form1::zelmo_Click()
{
    Form4 about(this);
    execOverMainWindow(about);
}

void Form1::Command1_Click()
{
    Form2 editor(state(), *this, this);
    execOverMainWindow(editor);
}

void Form1::Label3_Click()
{
    openViewer();
}

void Form1::openViewer()
{
    Form3 viewer(state(), this);
    execOverMainWindow(viewer);
}

void Form1::List1_MouseUp()
{
    state().bringListsUpToDate();
    const QModelIndex current = List1->selectionModel()->currentIndex();
    const QString line =
        List1->selectionModel()->isSelected(current) ? current.data().toString() : QString();
    // Every matching contact gets a box of its own, one after the other.
    for (const QString &logon : logonNamesForLine(state().allusers, line))
        MessageBox::information(this, QStringLiteral("Zelmo Extensions - Buddy Login ID"), logon);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
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
        if (watched == List1->viewport()) {
            QTimer::singleShot(0, this, &Form1::List1_MouseUp);
        } else if (watched == Label3 || watched == im1 || watched == im2) {
            auto *label = static_cast<QWidget *>(watched);
            const auto *release = static_cast<QMouseEvent *>(event);
            // A click ends over the control it began on.
            if (label->rect().contains(release->pos()))
                QTimer::singleShot(0, this, &Form1::openViewer);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::endProgram(int status)
{
    hide();
    if (m_endProgram)
        m_endProgram(status);
    else
        QCoreApplication::exit(status);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing is never refused; the shutdown saves the code and ends the program.
    QMainWindow::closeEvent(event);
    m_program.Form_Unload();
}

void Form1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    m_shownOnce = true;
    if (std::exchange(m_recordAfterFirstShow, false))
        QTimer::singleShot(0, this, &Form1::showActivityRecord);
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_program.Form_Activate();
    if (event->type() == QEvent::WindowStateChange)
        m_tray->Form_Resize(isMinimized());
}

} // namespace zelmo
