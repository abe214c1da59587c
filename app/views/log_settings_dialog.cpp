// The "Configure Log" dialog's widgets.
#include "app/views/log_settings_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quenda {
namespace {

QCheckBox* MakeBox(const char* caption, const char* name) {
    auto* box = new QCheckBox(QString::fromLatin1(caption));
    box->setObjectName(QLatin1String(name));
    box->setAccessibleName(QString::fromLatin1(caption));
    return box;
}

}  // namespace

LogSettingsDialog::LogSettingsDialog(Session& session, MessageService& messages, QWidget* parent)
    : QDialog(parent), form_(session, messages) {
    setObjectName(QStringLiteral("Quenda_LogConf"));
    setWindowTitle(QStringLiteral("Configure Log"));
    auto* layout = new QVBoxLayout(this);

    auto* levelGroup = new QGroupBox;
    levelGroup->setObjectName(QStringLiteral("FrameLevel"));
    levelGroup->setAccessibleName(QStringLiteral("Detail level"));
    auto* levelLayout = new QVBoxLayout(levelGroup);
    levels_ = new QButtonGroup(this);
    const char* levelCaptions[3][2] = {
        {"Low, just output requested hosts", "OptionLow"},
        {"Medium, print requested and answerded hosts", "OptionMedium"},
        {"High, log everything", "OptionHigh"}};
    for (int level = 1; level <= 3; ++level) {
        auto* option = new QRadioButton(QString::fromLatin1(levelCaptions[level - 1][0]));
        option->setObjectName(QLatin1String(levelCaptions[level - 1][1]));
        option->setAccessibleName(option->text());
        levels_->addButton(option, level);
        levelLayout->addWidget(option);
    }
    layout->addWidget(levelGroup);
    levelGroup_ = levelGroup;

    auto* dateTimeGroup = new QGroupBox;
    dateTimeGroup->setObjectName(QStringLiteral("FrameDateTime"));
    dateTimeGroup->setAccessibleName(QStringLiteral("Date and time"));
    auto* dateTimeLayout = new QHBoxLayout(dateTimeGroup);
    date_ = MakeBox("Include Date", "CheckDate");
    time_ = MakeBox("Include Time", "CheckTime");
    dateTimeLayout->addWidget(date_);
    dateTimeLayout->addWidget(time_);
    dateTimeLayout->addStretch(1);
    layout->addWidget(dateTimeGroup);
    dateTimeGroup_ = dateTimeGroup;

    auto* fileGroup = new QGroupBox;
    fileGroup->setObjectName(QStringLiteral("FrameFile"));
    fileGroup->setAccessibleName(QStringLiteral("Log file"));
    auto* fileLayout = new QHBoxLayout(fileGroup);
    toFile_ = MakeBox("Write to file:", "CheckFile");
    path_ = new QLineEdit;
    path_->setObjectName(QStringLiteral("TextFile"));
    path_->setAccessibleName(QStringLiteral("Log file path"));
    path_->setMinimumWidth(path_->fontMetrics().averageCharWidth() * 40);
    fileLayout->addWidget(toFile_);
    fileLayout->addWidget(path_, 1);
    layout->addWidget(fileGroup);
    fileGroup_ = fileGroup;
    connect(toFile_, &QCheckBox::clicked, this, [this] { SetPathBoxState(); });

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OK"));
    ok->setToolTip(QStringLiteral("Submit changes"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("Cancel"));
    cancel->setToolTip(QStringLiteral("Cancel changes"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &LogSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LogSettingsDialog::reject);
    layout->addWidget(buttons);

    tip_ = new QLabel;
    tip_->setObjectName(QStringLiteral("Tip"));
    tip_->setAccessibleName(QStringLiteral("Tip"));
    tip_->setFrameShape(QFrame::StyledPanel);
    tip_->setFrameShadow(QFrame::Sunken);
    // One line high even while empty.
    tip_->setMinimumHeight(tip_->fontMetrics().height() + 6);
    layout->addWidget(tip_);

    form_.Open();
    const LogSettingsFields& fields = form_.Fields();
    if (QAbstractButton* level = levels_->button(fields.level)) level->setChecked(true);
    date_->setChecked(fields.date);
    time_->setChecked(fields.time);
    toFile_->setChecked(fields.toFile);
    path_->setText(QString::fromStdString(fields.path));
    SetPathBoxState();
    tip_->clear();

    Watch(levelGroup_);
    Watch(dateTimeGroup_);
    Watch(fileGroup_);
    setFixedSize(sizeHint());
}

void LogSettingsDialog::Watch(QWidget* part) {
    part->installEventFilter(this);
    for (QWidget* child : part->findChildren<QWidget*>()) child->installEventFilter(this);
}

bool LogSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter) {
        for (auto* widget = qobject_cast<QWidget*>(watched); widget != nullptr;
             widget = widget->parentWidget()) {
            const std::optional<LogSettingsPart> part =
                widget == levelGroup_      ? std::optional(LogSettingsPart::kLevels)
                : widget == dateTimeGroup_ ? std::optional(LogSettingsPart::kDateTime)
                : widget == fileGroup_     ? std::optional(LogSettingsPart::kFile)
                                           : std::nullopt;
            if (!part) continue;
            if (form_.PointAt(*part)) tip_->setText(QString::fromStdString(form_.Tip()));
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void LogSettingsDialog::SetPathBoxState() {
    form_.Fields().toFile = toFile_->isChecked();
    const bool editable = form_.PathEditable();
    path_->setEnabled(editable);
    path_->setReadOnly(!editable);
    QPalette palette = path_->palette();
    const QColor colour =
        editable ? QColor(0xFF, 0xFF, 0xFF) : this->palette().color(QPalette::Window);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, colour);
    }
    path_->setPalette(palette);
}

void LogSettingsDialog::accept() {
    LogSettingsFields& fields = form_.Fields();
    fields.level = static_cast<int16_t>(levels_->checkedId() > 0 ? levels_->checkedId() : 0);
    fields.date = date_->isChecked();
    fields.time = time_->isChecked();
    fields.toFile = toFile_->isChecked();
    fields.path = path_->text().toStdString();
    form_.Ok();
    if (toFile_->isChecked() != fields.toFile) {
        toFile_->setChecked(fields.toFile);
        SetPathBoxState();
    }
    QDialog::accept();
}

}  // namespace quenda
