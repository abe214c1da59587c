// The name-server tester's widgets and their mapping onto the tester's logic.
#include "app/views/tester_dialog.h"

#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/views/button3d.h"
#include "app/views/panel3d.h"
#include "app/views/pictures.h"

namespace quenda {
namespace {

// The main window's result pictures, drawn 28 by 16.
constexpr QSize kPictureSize(28, 16);

QString Text(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Bytes(const QString& text) {
    return text.toLatin1().toStdString();
}

// The part of the dialog a widget belongs to, by its own or its parents' object name.
TesterArea AreaOf(QWidget* widget, QWidget* dialog) {
    static const std::pair<const char*, TesterArea> kAreas[] = {
        {"FrameNameserver", TesterArea::kNameserver},
        {"FrameAskFor", TesterArea::kAskFor},
        {"FrameResult", TesterArea::kResult},
        {"SSCommand1", TesterArea::kClose},
        {"SSCommand3", TesterArea::kHelp},
        {"SSCommand4", TesterArea::kStop},
        {"SSCommand2", TesterArea::kStart},
    };
    for (; widget != nullptr && widget != dialog; widget = widget->parentWidget()) {
        for (const auto& [name, area] : kAreas) {
            if (widget->objectName() == QLatin1String(name)) return area;
        }
    }
    return TesterArea::kForm;
}

Panel3D* MakePanel(Panel3D::Mode mode, const char* name, const char* accessible) {
    auto* panel = new Panel3D(mode);
    panel->setObjectName(QLatin1String(name));
    panel->setAccessibleName(QLatin1String(accessible));
    // Hidden panels keep their room, so nothing jumps when a test starts.
    QSizePolicy policy = panel->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    panel->setSizePolicy(policy);
    return panel;
}

QLabel* MakePicture(const char* name, const char* accessible) {
    auto* picture = new QLabel;
    picture->setObjectName(QLatin1String(name));
    picture->setAccessibleName(QLatin1String(accessible));
    picture->setFixedSize(kPictureSize + QSize(4, 4));
    picture->setAlignment(Qt::AlignCenter);
    return picture;
}

Button3D* MakeButton(const char* caption, const char* name, const char* picture) {
    auto* button = new Button3D;
    button->setText(QLatin1String(caption));
    button->setObjectName(QLatin1String(name));
    QString plain = button->text();
    plain.remove(QLatin1Char('&'));
    button->setAccessibleName(plain);
    if (picture != nullptr) button->setIcon(Picture(QLatin1String(picture)));
    return button;
}

}  // namespace

TesterDialog::TesterDialog(TesterForm& form, QWidget* parent) : QDialog(parent), form_(form) {
    InstallPanel3DAccessibility();
    setObjectName(QStringLiteral("Quenda_TestForm"));
    setWindowTitle(QStringLiteral("DNS server test"));
    setAccessibleName(windowTitle());
    setModal(true);
    auto* layout = new QVBoxLayout(this);

    auto* servers = new QGroupBox(QStringLiteral("Nameserver"));
    servers->setObjectName(QStringLiteral("FrameNameserver"));
    servers->setAccessibleName(servers->title());
    auto* serverRow = new QHBoxLayout(servers);
    combo1_ = new QComboBox;
    combo1_->setObjectName(QStringLiteral("Combo1"));
    combo1_->setAccessibleName(QStringLiteral("Nameserver"));
    combo1_->setEditable(true);
    combo1_->setInsertPolicy(QComboBox::NoInsert);
    combo1_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    combo1_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    combo1_->setMinimumContentsLength(32);
    serverRow->addWidget(combo1_);
    layout->addWidget(servers);

    auto* ask = new QGroupBox(QStringLiteral("Ask for"));
    ask->setObjectName(QStringLiteral("FrameAskFor"));
    ask->setAccessibleName(ask->title());
    auto* askRow = new QHBoxLayout(ask);
    text2_ = new QLineEdit(Text(form_.DomainText()));
    text2_->setObjectName(QStringLiteral("Text2"));
    text2_->setAccessibleName(QStringLiteral("Domainname"));
    auto* domainLabel = new QLabel(QStringLiteral("Domainname:"));
    domainLabel->setObjectName(QStringLiteral("LabelDomain"));
    domainLabel->setAccessibleName(QStringLiteral("Domainname"));
    domainLabel->setBuddy(text2_);
    askRow->addWidget(domainLabel);
    askRow->addWidget(text2_, 1);
    layout->addWidget(ask);

    auto* result = new QGroupBox(QStringLiteral("Test result"));
    result->setObjectName(QStringLiteral("FrameResult"));
    result->setAccessibleName(result->title());
    auto* grid = new QGridLayout(result);
    grid->setColumnStretch(3, 1);
    lTime_ = MakePanel(Panel3D::Mode::kCaption, "LTime", "Lookup time");
    pTime_ = MakePanel(Panel3D::Mode::kCaption, "PTime", "Ping time");
    lTime_->setMinimumWidth(110);
    pTime_->setMinimumWidth(110);
    testImage_ = MakePicture("TestImage", "Lookup result");
    pTestImage_ = MakePicture("PTestImage", "Ping result");
    pLookup_ = MakePanel(Panel3D::Mode::kBar, "PLookup", "Lookup progress");
    pPing_ = MakePanel(Panel3D::Mode::kBar, "PPing", "Ping progress");
    auto* lookupLabel = new QLabel(QStringLiteral("Lookup time:"));
    lookupLabel->setObjectName(QStringLiteral("LabelLookup"));
    lookupLabel->setAccessibleName(QStringLiteral("Lookup time"));
    auto* pingLabel = new QLabel(QStringLiteral("Ping time:"));
    pingLabel->setObjectName(QStringLiteral("LabelPing"));
    pingLabel->setAccessibleName(QStringLiteral("Ping time"));
    grid->addWidget(lookupLabel, 0, 0);
    grid->addWidget(lTime_, 0, 1);
    grid->addWidget(testImage_, 0, 2);
    grid->addWidget(pLookup_, 0, 3);
    grid->addWidget(pingLabel, 1, 0);
    grid->addWidget(pTime_, 1, 1);
    grid->addWidget(pTestImage_, 1, 2);
    grid->addWidget(pPing_, 1, 3);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("Status"));
    status_->setAccessibleName(QStringLiteral("Status"));
    status_->setMinimumHeight(status_->fontMetrics().height() + 4);
    grid->addWidget(status_, 2, 0, 1, 4);
    layout->addWidget(result);

    auto* buttons = new QHBoxLayout;
    start_ = MakeButton("&Start!", "SSCommand2", "ITest");
    stop_ = MakeButton("Stop!", "SSCommand4", nullptr);
    auto* help = MakeButton("&Help", "SSCommand3", "IHelp");
    auto* close = MakeButton("&Close", "SSCommand1", "IExit");
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addStretch(1);
    buttons->addWidget(help);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    testTip_ = new QLabel(QStringLiteral(" "));
    testTip_->setObjectName(QStringLiteral("TestTip"));
    testTip_->setAccessibleName(QStringLiteral("Tip"));
    testTip_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    testTip_->setMinimumHeight(testTip_->fontMetrics().height() + 6);
    layout->addWidget(testTip_);

    connect(combo1_, &QComboBox::editTextChanged, this,
            [this](const QString& text) { form_.SetServerText(Bytes(text)); });
    connect(text2_, &QLineEdit::textChanged, this,
            [this](const QString& text) { form_.SetDomainText(Bytes(text)); });
    const auto act = [this](void (TesterForm::*handler)()) {
        return [this, handler] {
            (form_.*handler)();
            Refresh();
        };
    };
    connect(start_, &Button3D::clicked, this, act(&TesterForm::StartClicked));
    connect(stop_, &Button3D::clicked, this, act(&TesterForm::StopClicked));
    connect(help, &Button3D::clicked, this, act(&TesterForm::HelpClicked));
    connect(close, &Button3D::clicked, this, &QDialog::accept);
    connect(&timer_, &QTimer::timeout, this, act(&TesterForm::TimerTick));
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, act(&TesterForm::HelpClicked));

    setMouseTracking(true);
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setMouseTracking(true);
        child->installEventFilter(this);
    }
    timer_.setInterval(kTesterTimerMs);
    setMinimumWidth(460);
}

void TesterDialog::Run() {
    form_.Load();
    combo1_->clear();
    for (const std::string& item : form_.Face().servers) combo1_->addItem(Text(item));
    // The user picks a server or types one; none is chosen for him.
    combo1_->setCurrentIndex(-1);
    combo1_->setEditText(QString());
    Refresh();
    exec();
}

void TesterDialog::Refresh() {
    const TesterFace& face = form_.Face();
    lTime_->SetCaption(Text(face.lookupTime));
    pTime_->SetCaption(Text(face.pingTime));
    const auto picture = [](bool okay) {
        return Picture(okay ? QStringLiteral("okay") : QStringLiteral("Sleeping"))
            .pixmap(kPictureSize);
    };
    testImage_->setPixmap(picture(face.lookupOkay));
    pTestImage_->setPixmap(picture(face.pingOkay));
    pLookup_->setVisible(face.lookupProgress >= 0);
    pLookup_->SetValue(face.lookupProgress);
    pPing_->setVisible(face.pingProgress >= 0);
    pPing_->SetValue(face.pingProgress);
    status_->setText(Text(face.status));
    start_->setEnabled(face.startEnabled);
    stop_->setEnabled(face.stopEnabled);
    if (testTip_->text() != Text(face.tip)) testTip_->setText(Text(face.tip));
    if (face.timerEnabled && !timer_.isActive()) timer_.start();
    if (!face.timerEnabled) timer_.stop();
}

void TesterDialog::TipFor(QWidget* widget) {
    form_.MouseOver(AreaOf(widget, this));
    Refresh();
}

bool TesterDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Enter) TipFor(widget);
        if (event->type() == QEvent::Leave && widget != this) TipFor(widget->parentWidget());
    }
    return QDialog::eventFilter(watched, event);
}

void TesterDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        form_.Activated();
        Refresh();
    }
}

void TesterDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    form_.Activated();
    Refresh();
}

void TesterDialog::done(int result) {
    if (!unloaded_) {
        unloaded_ = true;
        form_.Unload();
        Refresh();
    }
    QDialog::done(result);
}

}  // namespace quenda
