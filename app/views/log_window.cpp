// The separate log window's widgets.
#include "app/views/log_window.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QResizeEvent>

#include "app/views/button3d.h"
#include "app/views/log_text.h"
#include "app/views/pictures.h"

namespace quenda {
namespace {

QFrame* MakeLine(const char* name, QPalette::ColorRole colour, QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setObjectName(QLatin1String(name));
    line->setAccessibleName(QStringLiteral("Separator"));
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    line->setBackgroundRole(colour);
    line->setFixedHeight(1);
    return line;
}

}  // namespace

LogWindowView::LogWindowView(Session& session, LogWindowForm& form)
    : session_(session), form_(form) {
    setObjectName(QStringLiteral("Quenda_LogWindow"));
    setWindowTitle(QStringLiteral("Quenda Log"));
    setWindowIcon(Logo());
    setAttribute(Qt::WA_DeleteOnClose);
    // Opened from the main window, it leaves the focus there.
    setAttribute(Qt::WA_ShowWithoutActivating);

    text1_ = new LogText(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setAccessibleName(QStringLiteral("Quenda log"));
    text1_->SetFollowNewest(true);
    close_ = new Button3D(this);
    close_->setObjectName(QStringLiteral("CloseButton"));
    close_->setText(QStringLiteral("&Close"));
    close_->setIcon(Picture(QStringLiteral("IExit")));
    close_->setAccessibleName(QStringLiteral("Close"));
    close_->setToolTip(QStringLiteral("Close this window"));
    close_->resize(close_->sizeHint());
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    // An etched rule: a dark line over a light one.
    upperLine_ = MakeLine("Line1", QPalette::Mid, this);
    lowerLine_ = MakeLine("Line2", QPalette::Light, this);
    tip_ = new QLabel(this);
    tip_->setObjectName(QStringLiteral("Tip"));
    tip_->setAccessibleName(QStringLiteral("Tip"));
    tip_->resize(tip_->width(), tip_->fontMetrics().height() + 4);

    for (QWidget* watched : {static_cast<QWidget*>(this), static_cast<QWidget*>(text1_),
                             text1_->viewport(), static_cast<QWidget*>(close_)}) {
        watched->installEventFilter(this);
    }
    // Where the controls stand until the window is large enough to lay them out.
    resize(400, 300);
    LayOut();
    session_.AddObserver(this);
}

LogWindowView::~LogWindowView() {
    session_.RemoveObserver(this);
}

void LogWindowView::Open() {
    const LogWindowForm::Placement placement = form_.Open();
    const WindowGeometry& at = placement.geometry;
    resize(at.width, at.height);
    move(at.left, at.top);
    text1_->SetBox(session_.LogBox());
    text1_->ShowNewest();
    if (placement.maximised) {
        showMaximized();
    } else {
        show();
    }
}

void LogWindowView::LogLineAppended(size_t trimmed, const std::string& line) {
    text1_->Append(trimmed, line);
}

void LogWindowView::LogCleared() {
    text1_->Clear();
}

void LogWindowView::closeEvent(QCloseEvent* event) {
    const bool minimisedOrMaximised = isMinimized() || isMaximized();
    form_.Closed(minimisedOrMaximised, {x(), y(), width(), height()});
    QWidget::closeEvent(event);
}

void LogWindowView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void LogWindowView::LayOut() {
    const LogWindowLayout layout =
        LayOutLogWindow(width(), height(), tip_->height(), close_->width(), close_->height());
    if (const auto& v = layout.vertical) {
        tip_->move(tip_->x(), v->tipTop);
        lowerLine_->move(lowerLine_->x(), v->lowerLineTop);
        upperLine_->move(upperLine_->x(), v->upperLineTop);
        close_->move(close_->x(), v->buttonTop);
        text1_->setGeometry(text1_->x(), v->textTop, text1_->width(), v->textHeight);
    }
    if (const auto& h = layout.horizontal) {
        constexpr int m = kLogWindowMargin;
        tip_->setGeometry(m, tip_->y(), h->tipWidth, tip_->height());
        lowerLine_->setGeometry(m, lowerLine_->y(), h->lineRight - m, 1);
        upperLine_->setGeometry(m, upperLine_->y(), h->lineRight - m, 1);
        close_->move(h->buttonLeft, close_->y());
        text1_->setGeometry(m, text1_->y(), h->textWidth, text1_->height());
    }
}

bool LogWindowView::eventFilter(QObject* watched, QEvent* event) {
    // Back from a control to the background, the control is left but nothing is entered.
    if (event->type() == QEvent::Leave && watched != this) PointAt(LogWindowPart::kForm);
    if (event->type() == QEvent::Enter) {
        if (watched == close_) {
            PointAt(LogWindowPart::kCloseButton);
        } else if (watched == text1_ || watched == text1_->viewport()) {
            PointAt(LogWindowPart::kText);
        } else if (watched == this) {
            PointAt(LogWindowPart::kForm);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LogWindowView::PointAt(LogWindowPart part) {
    if (form_.PointAt(part)) tip_->setText(QString::fromStdString(form_.Tip()));
}

}  // namespace quenda
