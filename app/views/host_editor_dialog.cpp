// The host entry editor's widgets and their mapping onto the editor.
#include "app/views/host_editor_dialog.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "app/views/button3d.h"
#include "app/views/pictures.h"

namespace quenda {
namespace {

constexpr int kTickMs = 1000;

}  // namespace

HostEditorDialog::HostEditorDialog(HostEditor& editor, Mainform& form,
                                   const HostEditorPreset& preset,
                                   std::function<void()> cacheChanged, QWidget* parent)
    : QDialog(parent),
      editor_(editor),
      form_(form),
      preset_(preset),
      cacheChanged_(std::move(cacheChanged)) {
    setObjectName(QStringLiteral("Quenda_UpdateEntry"));
    const bool update = !preset.name.empty();
    setWindowTitle(update ? QStringLiteral("Update entry.") : QStringLiteral("Add an entry"));
    setWindowIcon(Logo());
    auto* layout = new QVBoxLayout(this);

    auto* request = new QGroupBox(QStringLiteral("Request"));
    request->setObjectName(QStringLiteral("FrameRequest"));
    auto* fields = new QFormLayout(request);
    text1_ = new QLineEdit;
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setAccessibleName(QStringLiteral("Domain"));
    text1_->setMinimumWidth(260);
    theType_ = new QComboBox;
    theType_->setObjectName(QStringLiteral("TheType"));
    theType_->setAccessibleName(QStringLiteral("Type"));
    theType_->addItems({QStringLiteral("A"), QStringLiteral("MX")});
    auto* domainLabel = new QLabel(QStringLiteral("Domain:"));
    domainLabel->setObjectName(QStringLiteral("LabelDomain"));
    domainLabel->setBuddy(text1_);
    auto* typeLabel = new QLabel(QStringLiteral("Type:"));
    typeLabel->setObjectName(QStringLiteral("LabelTheType"));
    typeLabel->setBuddy(theType_);
    fields->addRow(domainLabel, text1_);
    fields->addRow(typeLabel, theType_);
    layout->addWidget(request);

    auto* status = new QGroupBox(QStringLiteral("Status"));
    status->setObjectName(QStringLiteral("FrameStatus"));
    auto* statusLayout = new QVBoxLayout(status);
    addStatus_ = new QLabel;
    addStatus_->setObjectName(QStringLiteral("Addstatus"));
    addStatus_->setAccessibleName(QStringLiteral("Status"));
    addStatus_->setWordWrap(true);
    addStatus_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for the longest status, two lines, so the dialog does not jump as it changes.
    addStatus_->setMinimumHeight(2 * addStatus_->fontMetrics().lineSpacing() + 4);
    statusLayout->addWidget(addStatus_);
    layout->addWidget(status);

    auto* buttons = new QHBoxLayout;
    start_ = new Button3D;
    start_->setObjectName(QStringLiteral("SSCommand2"));
    start_->setText(QStringLiteral("&Start"));
    start_->setDefault(true);
    start_->setIcon(Picture(QStringLiteral("IRefresh")));
    auto* closer = new Button3D;
    closer->setObjectName(QStringLiteral("SSCommand1"));
    closer->setText(QStringLiteral("&Close"));
    closer->setIcon(Picture(QStringLiteral("IExit")));
    auto* help = new Button3D;
    help->setObjectName(QStringLiteral("SSCommand3"));
    help->setText(QStringLiteral("&Help"));
    help->setIcon(Picture(QStringLiteral("IHelp")));
    buttons->addWidget(start_);
    buttons->addStretch(1);
    buttons->addWidget(closer);
    buttons->addWidget(help);
    layout->addLayout(buttons);

    label1_ = new QLabel;
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setAccessibleName(QStringLiteral("Tip"));
    label1_->setFrameShape(QFrame::StyledPanel);
    label1_->setFrameShadow(QFrame::Sunken);
    label1_->setMinimumHeight(label1_->fontMetrics().lineSpacing() + 6);
    layout->addWidget(label1_);

    text1_->setText(
        QString::fromLatin1(preset.name.data(), static_cast<qsizetype>(preset.name.size())));
    text1_->setEnabled(!update);
    theType_->setCurrentText(preset.type == "MX" ? QStringLiteral("MX") : QStringLiteral("A"));
    theType_->setEnabled(preset.type.empty());

    Watch(this, HostEditorPart::kForm);
    Watch(request, HostEditorPart::kRequest);
    Watch(status, HostEditorPart::kStatus);
    Watch(start_, HostEditorPart::kStart);
    Watch(closer, HostEditorPart::kClose);
    Watch(help, HostEditorPart::kHelp);

    connect(text1_, &QLineEdit::textChanged, this, [this] { editor_.RequestChanged(); });
    connect(theType_, &QComboBox::activated, this, [this] { editor_.RequestChanged(); });
    connect(start_, &Button3D::clicked, this, [this] {
        editor_.Start(text1_->text().toLatin1().toStdString(),
                      theType_->currentText().toStdString());
    });
    connect(closer, &Button3D::clicked, this, [this] {
        editor_.ShowTip(HostEditorPart::kClose, text1_->text().isEmpty());
        close();
    });
    connect(help, &Button3D::clicked, this, [this] { form_.OpenHelp(); });

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(kTickMs);
    connect(timer1_, &QTimer::timeout, this, [this] { editor_.TimerTick(); });
}

HostEditorDialog::~HostEditorDialog() {
    Finish();
}

void HostEditorDialog::Begin() {
    savedHelpContext_ = form_.HelpContext();
    form_.SetHelpContext(Mainform::HelpContextOf(kCacheTab));
    timer1_->start();
    editor_.Open(this, preset_);
}

void HostEditorDialog::SetStatus(const std::string& text) {
    addStatus_->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void HostEditorDialog::SetStartEnabled(bool enabled) {
    start_->setEnabled(enabled);
}

void HostEditorDialog::SetTip(const std::string& text) {
    label1_->setText(QString::fromStdString(text));
}

void HostEditorDialog::CacheEntryChanged() {
    if (cacheChanged_) cacheChanged_();
}

void HostEditorDialog::done(int result) {
    Finish();
    QDialog::done(result);
}

void HostEditorDialog::Finish() {
    if (finished_) return;
    finished_ = true;
    timer1_->stop();
    editor_.Close();
    if (savedHelpContext_ >= 0) form_.SetHelpContext(savedHelpContext_);
}

void HostEditorDialog::Watch(QWidget* widget, HostEditorPart part) {
    widget->setProperty("tipPart", static_cast<int>(part));
    widget->installEventFilter(this);
}

bool HostEditorDialog::eventFilter(QObject* watched, QEvent* event) {
    const QVariant part = watched->property("tipPart");
    if (part.isValid() && event->type() == QEvent::Enter) {
        editor_.ShowTip(static_cast<HostEditorPart>(part.toInt()), text1_->text().isEmpty());
    }
    // Leaving a part for the dialog's background enters nothing new.
    if (part.isValid() && event->type() == QEvent::Leave && watched != this) {
        editor_.ShowTip(HostEditorPart::kForm, text1_->text().isEmpty());
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace quenda
