// The name-server table's widgets and their mapping onto the table's logic.
#include "app/views/server_page.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>
#include <functional>

#include "app/views/correct_dialog.h"
#include "app/views/panel3d.h"
#include "app/views/pictures.h"

namespace quenda {

// A text box of a row that tells when it gets the focus, when the user leaves it (not when
// the window merely loses the focus or a pop-up menu opens) and when Esc is pressed in it.
class RowField final : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;

    std::function<void()> entered;
    std::function<void()> left;
    std::function<void()> escape;  // set: Esc is the field's own key, not the window's

  protected:
    bool event(QEvent* event) override {
        // Esc restores the field; it must not also hide the window through its shortcut.
        if (event->type() == QEvent::ShortcutOverride && escape &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        return QLineEdit::event(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && escape) {
            escape();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        if (entered) entered();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        const Qt::FocusReason reason = event->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
        if (left) left();
    }
};

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// White with black writing, or the button face with its own writing.
void PaintDescription(QLineEdit* field, bool white) {
    QPalette palette =
        field->parentWidget() != nullptr ? field->parentWidget()->palette() : field->palette();
    if (white) {
        palette.setColor(QPalette::Base, QColor(255, 255, 255));
        palette.setColor(QPalette::Active, QPalette::Text, QColor(0, 0, 0));
        palette.setColor(QPalette::Inactive, QPalette::Text, QColor(0, 0, 0));
        palette.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
    } else {
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        palette.setColor(QPalette::Active, QPalette::Text,
                         palette.color(QPalette::Active, QPalette::ButtonText));
        palette.setColor(QPalette::Inactive, QPalette::Text,
                         palette.color(QPalette::Inactive, QPalette::ButtonText));
    }
    field->setPalette(palette);
}

}  // namespace

ServerPage::ServerPage(Session& session, Mainform& form, QWidget* parent)
    : QWidget(parent), form_(form), table_(session, session.Messages()) {
    auto* layout = new QVBoxLayout(this);
    auto* frame = new QGroupBox(QStringLiteral("Name Server:"));
    frame->setObjectName(QStringLiteral("tabelle"));
    frame->setAccessibleName(QStringLiteral("Name Server"));
    auto* stack = new QVBoxLayout(frame);
    stack->setContentsMargins(8, 4, 8, 8);
    stack->setSpacing(2);
    for (int n = 0; n < kUsedNameServers; ++n) {
        rows_[static_cast<size_t>(n)] = MakeRow(n);
        stack->addWidget(rows_[static_cast<size_t>(n)].pic);
    }
    stack->addStretch(1);
    layout->addWidget(frame, 1);
    table_.SetWindow(this);
}

ServerPage::~ServerPage() {
    // Fields losing the focus while the page goes must not reach the table.
    for (Row& row : rows_) {
        for (RowField* field : {row.text, row.desc}) {
            field->entered = nullptr;
            field->left = nullptr;
            field->escape = nullptr;
        }
    }
    table_.SetWindow(nullptr);
}

ServerPage::Row ServerPage::MakeRow(int n) {
    const auto name = [n](const char* control) {
        return QStringLiteral("%1(%2)").arg(QLatin1String(control)).arg(n);
    };
    const QString server = QStringLiteral("Name server %1").arg(n + 1);
    Row row;
    row.pic = new QFrame;
    row.pic->setObjectName(name("pic"));
    row.pic->setAccessibleName(server);
    auto* line = new QHBoxLayout(row.pic);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);

    row.check = new QCheckBox;
    row.check->setObjectName(name("Check"));
    row.check->setAccessibleName(server + QStringLiteral(" enabled"));
    row.checkI = new QLabel;
    row.checkI->setObjectName(name("CheckI"));
    row.checkI->setAccessibleName(server + QStringLiteral(" answered"));
    row.checkI->setFixedSize(30, 18);
    row.checkI->setAlignment(Qt::AlignCenter);
    // A hidden image keeps its place, so the columns stay in line.
    QSizePolicy keepPlace = row.checkI->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    row.checkI->setSizePolicy(keepPlace);

    row.text = new RowField;
    row.text->setObjectName(name("Text"));
    row.text->setAccessibleName(server + QStringLiteral(" address"));
    row.text->setFixedWidth(
        row.text->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 20);
    row.desc = new RowField;
    row.desc->setObjectName(name("Desc"));
    row.desc->setAccessibleName(server + QStringLiteral(" description"));
    row.proz = new Panel3D(Panel3D::Mode::kBar);
    row.proz->setObjectName(name("Proz"));
    row.proz->setAccessibleName(server + QStringLiteral(" share of first answers"));
    row.proz->setFixedWidth(row.proz->fontMetrics().horizontalAdvance(QStringLiteral("100.0%")) +
                            24);
    row.aTime = new QLineEdit;
    row.aTime->setObjectName(name("ATime"));
    row.aTime->setAccessibleName(server + QStringLiteral(" average reply time"));
    row.aTime->setReadOnly(true);
    row.aTime->setAlignment(Qt::AlignRight);
    row.aTime->setFixedWidth(row.aTime->fontMetrics().horizontalAdvance(QStringLiteral("99999ms")) +
                             20);
    row.proz->setFixedHeight(row.text->sizeHint().height());

    line->addWidget(row.check);
    line->addWidget(row.checkI);
    line->addWidget(row.text);
    line->addWidget(row.desc, 1);
    line->addWidget(row.proz);
    line->addWidget(row.aTime);

    connect(row.check, &QCheckBox::clicked, this, [this, n](bool ticked) {
        table_.CheckClicked(n, ticked);
        ShowStatusOf(rows_[static_cast<size_t>(n)].check);
    });
    connect(row.text, &QLineEdit::textEdited, this,
            [this, n](const QString& text) { table_.AddressTyped(n, text.toStdString()); });
    connect(row.desc, &QLineEdit::textEdited, this,
            [this, n](const QString& text) { table_.DescriptionTyped(n, text.toStdString()); });
    row.text->entered = [this, n] { table_.AddressFocused(n); };
    row.text->left = [this, n, field = row.text] {
        // The focus change (and a tab switch that caused it) finishes first, so a check that
        // opens a dialog and moves the focus back does not run inside it.
        QMetaObject::invokeMethod(
            field, [this, n] { table_.AddressLeft(n); }, Qt::QueuedConnection);
    };
    row.text->escape = [this, n] { table_.AddressKey(n, kEscapeKey); };
    row.desc->entered = [this, n] { table_.DescriptionFocused(n); };
    row.desc->left = [this, n] { table_.DescriptionLeft(n); };
    return row;
}

void ServerPage::ShowStatusOf(QWidget* widget) {
    // A click changes what the box under the mouse is for.
    if (!widget->underMouse()) return;
    if (const auto text = table_.StatusText(widget->objectName().toStdString())) {
        form_.ShowStatus(*text);
    }
}

void ServerPage::SetAddressField(int row, const std::string& text) {
    rows_[static_cast<size_t>(row)].text->setText(Text(text));
}

void ServerPage::SetDescriptionField(int row, const std::string& text) {
    rows_[static_cast<size_t>(row)].desc->setText(Text(text));
}

void ServerPage::ShowFigures(int row, const ServerFigures& figures) {
    Row& r = rows_[static_cast<size_t>(row)];
    r.aTime->setText(Text(figures.averageTime));
    r.proz->SetCaption(Text(figures.share));
    r.proz->SetValue(figures.sharePercent);
    if (r.responded != figures.responded) {
        r.responded = figures.responded;
        const QIcon image =
            Picture(figures.responded ? QStringLiteral("okay") : QStringLiteral("Sleeping"));
        r.checkI->setPixmap(image.pixmap(QSize(28, 16)));
        const QString tip = QLatin1String(figures.responded ? kRespondedTip : kSleepingTip);
        r.checkI->setToolTip(tip);
        r.checkI->setAccessibleDescription(tip);
    }
    r.check->setEnabled(figures.checkEnabled);
    if (r.descriptionWhite != figures.descriptionWhite) {
        r.descriptionWhite = figures.descriptionWhite;
        PaintDescription(r.desc, figures.descriptionWhite);
    }
}

void ServerPage::SetCheckBox(int row, bool ticked) {
    rows_[static_cast<size_t>(row)].check->setChecked(ticked);
}

void ServerPage::SetRowLive(int row, bool live) {
    Row& r = rows_[static_cast<size_t>(row)];
    r.desc->setEnabled(live);
    r.proz->setEnabled(live);
    r.aTime->setEnabled(live);
    r.checkI->setVisible(live);
}

int ServerPage::ShowCorrectDialog(const std::string& message, const std::string& title) {
    CorrectDialog dialog(
        Text(message), Text(title), [this] { form_.OpenHelp(); }, window());
    dialog.exec();
    return dialog.Result();
}

void ServerPage::ShowServerTab() {
    for (QWidget* above = parentWidget(); above != nullptr; above = above->parentWidget()) {
        auto* tabs = qobject_cast<QTabWidget*>(above);
        if (tabs == nullptr) continue;
        // As a click on the tab: the form hears of it.
        tabs->setCurrentWidget(this);
        return;
    }
}

void ServerPage::FocusAddressField(int row) {
    // The field the focus had gone to before the dialog kept its selection.
    for (Row& other : rows_) {
        other.text->deselect();
        other.desc->deselect();
    }
    rows_[static_cast<size_t>(row)].text->setFocus(Qt::OtherFocusReason);
    // Back from the dialog, the window puts the focus on its tab strip once it is active
    // again; the field takes it back after that.
    if (!window()->isActiveWindow()) {
        refocusRow_ = row;
        window()->installEventFilter(this);
    }
}

bool ServerPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window() && event->type() == QEvent::ActivationChange &&
        window()->isActiveWindow() && refocusRow_ != kNoFocusedRow) {
        RowField* field = rows_[static_cast<size_t>(refocusRow_)].text;
        refocusRow_ = kNoFocusedRow;
        QMetaObject::invokeMethod(
            field,
            [field] {
                field->setFocus(Qt::OtherFocusReason);
                field->selectAll();
            },
            Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void ServerPage::SelectAddressText(int row) {
    rows_[static_cast<size_t>(row)].text->selectAll();
}

}  // namespace quenda
