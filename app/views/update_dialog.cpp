// The update dialog's widgets and the modal run.
#include "app/views/update_dialog.h"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/views/button3d.h"
#include "app/views/panel3d.h"
#include "app/views/pictures.h"

namespace quenda {
namespace {

constexpr const char* kDialogName = "Quenda_UpdateCheck";
constexpr int kDialogWidth = 480;

QLabel* NewLabel(const char* name, const char* accessible) {
    auto* label = new QLabel;
    label->setObjectName(QLatin1String(name));
    label->setAccessibleName(QLatin1String(accessible));
    label->setWordWrap(true);
    // Some of them show what the update page says: text, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

Button3D* NewButton(const char* name, const QString& caption) {
    auto* button = new Button3D;
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    return button;
}

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), text.size());
}

}  // namespace

bool DesktopInstallerOpener::OpenInstaller(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

UpdateDialog::UpdateDialog(UpdateCheck& check, QWidget* parent) : QDialog(parent), check_(check) {
    InstallPanel3DAccessibility();
    setObjectName(QLatin1String(kDialogName));
    setWindowTitle(QStringLiteral("Quenda Update"));
    setAccessibleName(QStringLiteral("Quenda Update"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 8);
    label1_ = NewLabel("Label1", "Message");
    QFont big = label1_->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    label1_->setFont(big);
    status_ = NewLabel("status", "Version status");
    label4_ = NewLabel("Label4", "Version");
    label2_ = NewLabel("Label2", "Website note");
    label3_ = new QLabel;
    label3_->setObjectName(QStringLiteral("Label3"));
    label3_->setAccessibleName(QStringLiteral("Link"));
    label3_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label3_->setCursor(Qt::PointingHandCursor);
    label3_->installEventFilter(this);
    connect(label3_, &QLabel::linkActivated, this, [this] { check_.LinkClicked(); });
    text1_ = new QPlainTextEdit;
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setAccessibleName(QStringLiteral("Information about the new version"));
    text1_->setReadOnly(true);
    label5_ = NewLabel("Label5", "Download note");
    progress_ = new Panel3D(Panel3D::Mode::kBar);
    progress_->setObjectName(QStringLiteral("DProgress"));
    progress_->setAccessibleName(QStringLiteral("Download progress"));

    layout->addWidget(label1_);
    layout->addWidget(status_);
    layout->addSpacing(8);
    layout->addWidget(label4_);
    layout->addWidget(label2_);
    layout->addWidget(label3_);
    layout->addWidget(text1_, 1);
    layout->addWidget(label5_);
    layout->addWidget(progress_);
    layout->addStretch(0);

    auto* row = new QHBoxLayout;
    help_ = NewButton("b5", QStringLiteral("&Help"));
    help_->setIcon(Picture(QStringLiteral("IHelp")));
    download_ = NewButton("SSCommand2", QStringLiteral("&Download"));
    download_->setIcon(Picture(QStringLiteral("IAdd")));
    close_ = NewButton("SSCommand1", QStringLiteral("&Cancel"));
    row->addWidget(help_);
    row->addStretch(1);
    row->addWidget(download_);
    row->addWidget(close_);
    layout->addSpacing(8);
    layout->addLayout(row);
    connect(help_, &Button3D::clicked, this, [this] { check_.OpenHelp(); });
    connect(download_, &Button3D::clicked, this, [this] { check_.DownloadClicked(); });
    connect(close_, &Button3D::clicked, this, [this] { check_.CloseClicked(); });

    hlp_ = new QLabel(QStringLiteral(" "));
    hlp_->setObjectName(QStringLiteral("hlp"));
    hlp_->setAccessibleName(QStringLiteral("Status"));
    hlp_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    hlp_->setMinimumHeight(hlp_->fontMetrics().height() + 8);
    layout->addWidget(hlp_);

    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [this] { check_.OpenHelp(); });

    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    setMinimumWidth(kDialogWidth);
    check_.SetWindow(this);
}

UpdateDialog::~UpdateDialog() {
    check_.SetWindow(nullptr);
}

void UpdateDialog::ShowFace(const UpdateFace& face) {
    label1_->setText(Text(face.message));
    status_->setText(Text(face.status));
    status_->setVisible(!face.status.empty());
    label2_->setText(Text(face.label2));
    label2_->setVisible(!face.label2.empty());
    const QString link = Text(face.link);
    if (link != shownLink_) {
        shownLink_ = link;
        label3_->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(link.toHtmlEscaped()));
    }
    label3_->setVisible(!face.link.empty());
    label4_->setText(Text(face.label4));
    label4_->setVisible(!face.label4.empty());
    label5_->setText(Text(face.label5));
    label5_->setVisible(!face.label5.empty());
    QString information = Text(face.information);
    information.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (information.endsWith(QLatin1Char('\n'))) information.chop(1);
    if (text1_->toPlainText() != information) text1_->setPlainText(information);
    // Without the information the dialog is only as tall as its texts.
    if (text1_->isHidden() != face.information.empty() || !sized_) {
        sized_ = true;
        text1_->setVisible(!face.information.empty());
        resize(kDialogWidth, layout()->heightForWidth(kDialogWidth));
    }
    close_->setText(Text(face.closeCaption));
    close_->setAccessibleName(Text(face.closeCaption).remove(QLatin1Char('&')));
    close_->setIcon(face.closePicture ? Picture(QStringLiteral("IExit")) : QIcon());
    download_->setVisible(face.downloadVisible);
    download_->setEnabled(face.downloadEnabled);
    progress_->setVisible(face.progressVisible);
    progress_->SetValue(face.progress);
}

void UpdateDialog::SetStatusLine(const std::string& text) {
    hlp_->setText(Text(text));
}

void UpdateDialog::CloseDialog() {
    closing_ = true;
    QDialog::reject();
}

void UpdateDialog::reject() {
    if (closing_) {
        QDialog::reject();
        return;
    }
    check_.Escape();
}

void UpdateDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (activated_) return;
    activated_ = true;
    // The fetch starts once the dialog is up, from the loop.
    QTimer::singleShot(0, this, [this] { check_.Activate(); });
}

bool UpdateDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == label3_) {
        // The link sinks a little while pressed, as a button would.
        if (event->type() == QEvent::MouseButtonPress) label3_->move(label3_->pos() + QPoint(1, 1));
        if (event->type() == QEvent::MouseButtonRelease) {
            label3_->move(label3_->pos() - QPoint(1, 1));
        }
    }
    if ((event->type() == QEvent::Enter || event->type() == QEvent::Leave) &&
        watched->isWidgetType() && watched != this) {
        // Leaving a control for its parent enters nothing new: the parent speaks again. The
        // parts of a control (a text box's viewport) speak for it.
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Leave) widget = widget->parentWidget();
        for (; widget != nullptr; widget = widget->parentWidget()) {
            const std::string name = widget->objectName().toStdString();
            if (widget == this || std::string(UpdateCheck::StatusTextOf(name)) != " ") {
                check_.ShowStatus(name);
                break;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void RunUpdateCheck(Session& session, Mainform& form, QWidget* parent) {
    UpdateCheckSettings settings =
        LoadUpdateCheckSettings(session.Paths(), form.Links().updateAddress);
    settings.webAddress = form.WebAddress();
    settings.helpUrl = form.HelpUrl(kHelpIndex);
    settings.programVersion = session.ProgramVersion();
    DesktopInstallerOpener opener;
    UpdateCheck check(std::move(settings), form.Messages(), form.DesktopLinks(), opener);
    UpdateDialog dialog(check, parent);
    dialog.exec();
}

}  // namespace quenda
