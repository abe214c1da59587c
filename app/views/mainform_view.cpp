// The main window's widgets and their mapping onto the form and the session.
#include "app/views/mainform_view.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTabBar>
#include <QVBoxLayout>

#include "app/shell/icmp_port_control.h"
#include "app/shell/program_paths.h"
#include "app/shell/random_message_ids.h"
#include "app/shell/udp_port_control.h"
#include "app/views/button3d.h"
#include "app/views/cache_page.h"
#include "app/views/host_editor_dialog.h"
#include "app/views/log_page.h"
#include "app/views/log_settings_dialog.h"
#include "app/views/log_window.h"
#include "app/views/panel3d.h"
#include "app/views/pictures.h"
#include "app/views/server_page.h"
#include "app/views/tabbed_dialog.h"
#include "app/views/tester_dialog.h"
#include "app/views/update_dialog.h"

namespace quenda {
namespace {

constexpr const char* kWindowName = "Quenda_Mainform";

// The label, its object name and the bar's object name, by ShareBar.
struct BarRow {
    const char* caption;
    const char* labelName;
    const char* barName;
};
constexpr BarRow kBarRows[] = {
    {"Served from cache:", "LabelCache", "BarCache"},
    {"Served from name server:", "LabelNameServer", "BarNameServer"},
    {"Not answered or lost:", "LabelLost", "BarLost"},
};

QString Plain(const QString& caption) {
    QString plain = caption;
    plain.remove(QLatin1Char('&'));
    if (plain.endsWith(QLatin1Char(':'))) plain.chop(1);
    return plain;
}

QLabel* MakeLabel(const char* caption, const char* name, QWidget* buddy) {
    auto* label = new QLabel(QString::fromLatin1(caption));
    label->setObjectName(QLatin1String(name));
    label->setBuddy(buddy);
    buddy->setAccessibleName(Plain(label->text()));
    return label;
}

}  // namespace

MainformView::MainformView(Session& session, Mainform& form) : session_(session), form_(form) {
    InstallPanel3DAccessibility();
    setObjectName(QLatin1String(kWindowName));
    setWindowTitle(QStringLiteral("Quenda"));
    setWindowIcon(Logo());

    auto* central = new QWidget;
    central->setObjectName(QStringLiteral("Background"));
    auto* layout = new QVBoxLayout(central);

    tabs_ = new TabbedDialog;
    tabs_->setObjectName(QStringLiteral("SSTab1"));
    tabs_->setAccessibleName(QStringLiteral("Quenda"));
    tabs_->addTab(MakeSystemPage(), QStringLiteral("&System"));
    tabs_->addTab(MakeServerPage(), QStringLiteral("Se&rver"));
    tabs_->addTab(MakeLogPage(), QStringLiteral("&Log"));
    tabs_->addTab(MakeCachePage(), QStringLiteral("&Cache"));
    tabs_->addTab(MakeAboutPage(), QStringLiteral("&About"));
    // The desktop's font stands in where Tahoma is not installed.
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
        tabs_->SetTabFont(QFont(QStringLiteral("Tahoma")));
    }
    layout->addWidget(tabs_, 1);
    connect(tabs_, &TabbedDialog::TabSelected, this, [this](int tab) {
        form_.TabSelected(tab);
        if (tab == kLogTab) logPage_->ShowNewest();
    });

    auto* row = new QHBoxLayout;
    const char* fixed[3][3] = {
        {"H&elp!", "IHelp", "b5"}, {"&Hide", "IHide", "b6"}, {"E&xit", "IExit", "b7"}};
    for (int i = 0; i < 7; ++i) {
        auto* button = new Button3D;
        button->setObjectName(QStringLiteral("b%1").arg(i + 1));
        buttons_[static_cast<size_t>(i)] = button;
        if (i >= 4) {
            button->setText(QLatin1String(fixed[i - 4][0]));
            button->setIcon(Picture(QLatin1String(fixed[i - 4][1])));
        }
        if (i == 4) row->addStretch(1);
        row->addWidget(button);
        connect(button, &Button3D::clicked, this, [this, i] { form_.ButtonClicked(i + 1); });
        connect(button, &Button3D::MouseMoved, this,
                [this, i] { form_.ShowStatus("b" + std::to_string(i + 1)); });
    }
    layout->addLayout(row);
    setCentralWidget(central);

    hlp_ = new QLabel;
    hlp_->setObjectName(QStringLiteral("hlp"));
    hlp_->setAccessibleName(QStringLiteral("Status"));
    statusBar()->addWidget(hlp_, 1);
    statusBar()->setSizeGripEnabled(true);

    MakeMenus();
    MakeTrayMenu();

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { form_.OpenHelp(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { form_.ShowHide(); });

    WatchMouse(this);
    for (size_t bar = 0; bar < bars_.size(); ++bar) {
        bars_[bar]->SetValue(session_.Panel().shares[bar]);
    }
    waiting_->SetCaption(QString::fromStdString(session_.Panel().waiting));
    gain_->SetCaption(QString::fromStdString(session_.Panel().timeGained));
    resize(600, 440);

    session_.AddObserver(this);
    form_.SetWindow(this);
}

MainformView::~MainformView() {
    // No tray click may reach the form once the window is gone.
    tray_.reset();
    // The separate window watches the session and the form, which may go next.
    delete logWindow_;
    form_.SetWindow(nullptr);
    session_.RemoveObserver(this);
}

QWidget* MainformView::MakeSystemPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* statistics = new QGroupBox(QStringLiteral("Statistics"));
    statistics->setObjectName(QStringLiteral("FrameStatistics"));
    auto* grid = new QGridLayout(statistics);
    grid->setColumnStretch(1, 1);
    int line = 0;
    for (const BarRow& row : kBarRows) {
        auto* bar = new Panel3D(Panel3D::Mode::kBar);
        bar->setObjectName(QLatin1String(row.barName));
        bars_[static_cast<size_t>(line)] = bar;
        grid->addWidget(MakeLabel(row.caption, row.labelName, bar), line, 0);
        grid->addWidget(bar, line, 1);
        ++line;
    }
    gain_ = new Panel3D(Panel3D::Mode::kCaption);
    gain_->setObjectName(QStringLiteral("Gain"));
    waiting_ = new Panel3D(Panel3D::Mode::kCaption);
    waiting_->setObjectName(QStringLiteral("Waiting"));
    grid->addWidget(MakeLabel("Total gain:", "LabelGain", gain_), line, 0);
    grid->addWidget(gain_, line++, 1);
    grid->addWidget(MakeLabel("Waiting for an answer:", "LabelWaiting", waiting_), line, 0);
    grid->addWidget(waiting_, line, 1);
    layout->addWidget(statistics);

    auto* options = new QGroupBox(QStringLiteral("Options"));
    options->setObjectName(QStringLiteral("FrameOptions"));
    auto* boxes = new QVBoxLayout(options);
    check3_ = new QCheckBox(QStringLiteral("Disable Cache"));
    check3_->setObjectName(QStringLiteral("Check3"));
    check2_ = new QCheckBox(QStringLiteral("Startup in System Tray"));
    check2_->setObjectName(QStringLiteral("Check2"));
    boxes->addWidget(check3_);
    boxes->addWidget(check2_);
    connect(check3_, &QCheckBox::clicked, this, [this](bool on) { form_.CacheBoxClicked(on); });
    connect(check2_, &QCheckBox::clicked, this, [this](bool on) { form_.TrayBoxClicked(on); });
    layout->addWidget(options);
    layout->addStretch(1);
    return page;
}

QWidget* MainformView::MakeServerPage() {
    serverPage_ = new ServerPage(session_, form_);
    return serverPage_;
}

QWidget* MainformView::MakeLogPage() {
    logPage_ = new LogPage(session_);
    return logPage_;
}

QWidget* MainformView::MakeCachePage() {
    cachePage_ = new CachePage(session_.Cache(), form_);
    return cachePage_;
}

QWidget* MainformView::MakeAboutPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* frame = new QGroupBox;
    frame->setObjectName(QStringLiteral("FrameAbout"));
    auto* inside = new QHBoxLayout(frame);
    inside->setContentsMargins(24, 24, 24, 24);
    inside->setSpacing(24);

    auto* logo = new QLabel;
    logo->setObjectName(QStringLiteral("Logo"));
    logo->setPixmap(Logo().pixmap(96, 96));
    logo->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    logo->setAccessibleName(QStringLiteral("Quenda logo"));
    inside->addWidget(logo);

    auto* words = new QVBoxLayout;
    auto* product = new QLabel(QStringLiteral("Quenda"));
    product->setObjectName(QStringLiteral("ProductName"));
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    product->setFont(big);
    auto* version = new QLabel(
        QStringLiteral("Version %1").arg(QString::fromStdString(session_.ProgramVersion())));
    version->setObjectName(QStringLiteral("Version"));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* about = new QLabel(QStringLiteral(
        "A caching DNS forwarder for your desktop or a small network. It answers from its "
        "cache when it can and asks your name servers in any case."));
    about->setWordWrap(true);
    webLink_ = new QLabel;
    webLink_->setObjectName(QStringLiteral("WebLink"));
    const QString address = QString::fromStdString(form_.WebAddress());
    webLink_->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()));
    webLink_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    webLink_->setCursor(Qt::PointingHandCursor);
    webLink_->setAccessibleName(QStringLiteral("Visit the Morvale web page"));
    connect(webLink_, &QLabel::linkActivated, this, [this] { form_.OpenWebPage(); });
    webLink_->installEventFilter(this);
    words->addWidget(product);
    words->addWidget(version);
    words->addSpacing(12);
    words->addWidget(about);
    words->addSpacing(12);
    words->addWidget(webLink_);
    words->addStretch(1);
    inside->addLayout(words, 1);
    layout->addWidget(frame, 1);
    return page;
}

void MainformView::MakeMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mDatei"));
    QAction* hide = file->addAction(QStringLiteral("&Hide Window"));
    hide->setObjectName(QStringLiteral("mnuPanel"));
    connect(hide, &QAction::triggered, this, [this] { form_.ShowHide(); });
    file->addSeparator();
    QAction* quit = file->addAction(Picture(QStringLiteral("IExit")), QStringLiteral("&Exit"));
    quit->setObjectName(QStringLiteral("mnuQuit"));
    connect(quit, &QAction::triggered, this, [this] { form_.FileExit(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mHelp"));
    QAction* web = help->addAction(QStringLiteral("Morvale &Webpage"));
    web->setObjectName(QStringLiteral("mWeb"));
    connect(web, &QAction::triggered, this, [this] { form_.OpenWebPage(); });
    QAction* manual =
        help->addAction(Picture(QStringLiteral("IHelp")), QStringLiteral("Help (F1)"));
    manual->setObjectName(QStringLiteral("mTheHlp"));
    connect(manual, &QAction::triggered, this, [this] { form_.OpenHelp(); });
}

void MainformView::MakeTrayMenu() {
    sMenu_ = new QMenu(QStringLiteral("Menu"), this);
    sMenu_->setObjectName(QStringLiteral("sMenu"));
    QAction* quit = sMenu_->addAction(QStringLiteral("&Quit"));
    quit->setObjectName(QStringLiteral("sQuit"));
    sShow_ = sMenu_->addAction(QStringLiteral("&Show"));
    sShow_->setObjectName(QStringLiteral("sShow"));
    sHide_ = sMenu_->addAction(QStringLiteral("&Hide"));
    sHide_->setObjectName(QStringLiteral("sHide"));
    connect(quit, &QAction::triggered, this, [this] { form_.TrayQuit(); });
    connect(sShow_, &QAction::triggered, this, [this] { form_.TrayShow(); });
    connect(sHide_, &QAction::triggered, this, [this] { form_.TrayHide(); });
}

bool MainformView::PlaceTrayIcon(std::unique_ptr<TrayIcon> icon, const std::string& pictureFile) {
    tray_ = std::make_unique<MainformTray>(form_, std::move(icon), [this] { PopUpTrayMenu(); });
    return tray_->Show(pictureFile);
}

void MainformView::PopUpTrayMenu() {
    const QPoint pointer = QCursor::pos();
    sMenu_->exec(pointer - QPoint(sMenu_->sizeHint().width(), 0));
}

void MainformView::WatchMouse(QWidget* widget) {
    widget->installEventFilter(this);
    for (QWidget* child : widget->findChildren<QWidget*>()) child->installEventFilter(this);
}

void MainformView::StatusForWidget(QWidget* widget) {
    // The parts of a control (a scroll area's viewport) speak for it.
    for (; widget != nullptr && widget != this; widget = widget->parentWidget()) {
        const std::string name = widget->objectName().toStdString();
        if (name.size() == 2 && name[0] == 'b' && name[1] >= '1' && name[1] <= '7') {
            form_.ShowStatus(name);
            return;
        }
        if (const char* text = Mainform::ControlStatusText(name)) {
            form_.ShowStatus(text);
            return;
        }
        if (const std::optional<std::string> text = serverPage_->StatusText(name)) {
            form_.ShowStatus(*text);
            return;
        }
    }
    // The background, the tab strip and the status line clear the line.
    form_.ShowStatus(" ");
    form_.ShowStatus(kWindowName);
}

bool MainformView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == webLink_) {
        // The link sinks a little while pressed, as a button would.
        if (event->type() == QEvent::MouseButtonPress)
            webLink_->move(webLink_->pos() + QPoint(1, 1));
        if (event->type() == QEvent::MouseButtonRelease) {
            webLink_->move(webLink_->pos() - QPoint(1, 1));
        }
    }
    if (watched->isWidgetType() && watched != this) {
        auto* widget = static_cast<QWidget*>(watched);
        // Leaving a control for its parent enters nothing new: the parent speaks again.
        if (event->type() == QEvent::Enter) StatusForWidget(widget);
        if (event->type() == QEvent::Leave) StatusForWidget(widget->parentWidget());
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainformView::SetButtonFace(int button, const ButtonFace& face) {
    if (button < 1 || button > 4) return;
    Button3D* b = buttons_[static_cast<size_t>(button - 1)];
    b->setText(QString::fromStdString(face.caption));
    b->setIcon(Picture(QString::fromStdString(face.picture)));
    b->setVisible(face.visible);
}

void MainformView::SetStatusText(const std::string& text) {
    hlp_->setText(QString::fromStdString(text));
}

void MainformView::ShowOptions(bool cacheDisabled, bool startupInTray) {
    check3_->setChecked(cacheDisabled);
    check2_->setChecked(startupInTray);
}

void MainformView::ShowWindow() {
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

void MainformView::HideWindow() {
    hide();
}

void MainformView::MinimiseWindow() {
    showMinimized();
}

void MainformView::SetTrayItems(bool showEnabled, bool hideEnabled) {
    sShow_->setEnabled(showEnabled);
    sHide_->setEnabled(hideEnabled);
}

void MainformView::FocusTabControl() {
    tabs_->setFocus();
}

void MainformView::UnloadOtherWindows() {
    if (tray_ != nullptr) tray_->Remove();
    sMenu_->close();
    if (hostEditor_ != nullptr) hostEditor_->close();
    if (logSettings_ != nullptr) logSettings_->reject();
    // Its geometry is stored as it closes, before the settings are saved.
    if (logWindow_ != nullptr && logWindow_->isVisible()) logWindow_->close();
}

void MainformView::ShowCacheEntries(const CacheFilter& filter) {
    cachePage_->ShowEntries(filter);
}

std::string MainformView::SelectedCacheKey() {
    return cachePage_->SelectedKey();
}

void MainformView::OpenHostEditor(const HostEditorPreset& preset) {
    if (hostEditor_ != nullptr) hostEditor_->close();
    auto* dialog = new HostEditorDialog(
        session_.Editor(), form_, preset, [this] { form_.Cache().Refresh(); }, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    hostEditor_ = dialog;
    dialog->show();
    dialog->Begin();
}

void MainformView::OpenUpdateCheck() {
    RunUpdateCheck(session_, form_, this);
}

void MainformView::OpenLogSettings() {
    LogSettingsDialog dialog(session_, form_.Messages(), this);
    logSettings_ = &dialog;
    dialog.exec();
}

void MainformView::ToggleLogWindow() {
    // A closed window is deleted later; until then it is still there, hidden.
    if (logWindow_ != nullptr && logWindow_->isVisible()) {
        logWindow_->close();
        return;
    }
    logWindow_ = new LogWindowView(session_, form_.LogWindow());
    logWindow_->Open();
}

WindowRoom MainformView::LogWindowRoom() {
    const QRect screen = this->screen()->availableGeometry();
    return {width(), height(), screen.width(), screen.height()};
}

void MainformView::OpenTester() {
    // The controls live as long as the dialog; their libraries are where the program's are.
    const std::string libraries = LoadedLibraryDirectory("libquenda_winmsg.so");
    HRESULT created = S_OK;
    std::unique_ptr<UdpPortControl> tudp =
        UdpPortControl::Create(libraries + "libtarnel.so", &created);
    if (!tudp) {
        session_.Log().WriteLog("Name server test: the UDPPort control cannot be created (error " +
                                    std::to_string(created & 0xFFFF) + ")",
                                2);
    }
    std::unique_ptr<IcmpPortControl> icmpPort1 =
        IcmpPortControl::Create(libraries + kIcmpPortLibraryName);
    SystemClock clock;
    RandomMessageIds random;
    TesterForm tester({session_.Servers(), session_.Local(), tudp.get(), icmpPort1.get(),
                       form_.Messages(), session_.Log(), clock, random, form_, pingRefusalLogged_});
    TesterDialog dialog(tester, this);
    if (tudp) {
        tudp->SetDataInHandler([&](std::string_view datagram, const std::string&, uint16_t) {
            tester.LookupDataIn(datagram);
            dialog.Refresh();
        });
    }
    if (icmpPort1) {
        icmpPort1->SetDataInHandler(
            [&](int type, int code, std::string_view data, bool, const std::string&) {
                tester.PingDataIn(type, code, data);
                dialog.Refresh();
            });
    }
    dialog.Run();
    if (tudp) tudp->SetDataInHandler({});
    if (icmpPort1) icmpPort1->SetDataInHandler({});
}

void MainformView::ShareChanged(ShareBar bar, int percent) {
    bars_[static_cast<size_t>(bar)]->SetValue(percent);
}

void MainformView::WaitingChanged(const std::string& text) {
    waiting_->SetCaption(QString::fromStdString(text));
}

void MainformView::TimeGainedChanged(const std::string& text) {
    gain_->SetCaption(QString::fromStdString(text));
}

void MainformView::closeEvent(QCloseEvent* event) {
    // Closing only hides the window; the form decides, and the quit paths end the program.
    event->ignore();
    if (unload_) unload_(UnloadReason::kUserClosed);
}

void MainformView::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FocusTabControl();
    // Brought back from the task bar rather than through the form.
    if (event->type() == QEvent::WindowStateChange && isVisible() && !isMinimized()) {
        form_.WindowRestored();
    }
}

void MainformView::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FocusTabControl();
}

}  // namespace quenda
