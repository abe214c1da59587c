// Drawing, value and accessibility of the 3-D panel.
#include "app/views/panel3d.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <algorithm>

namespace quenda {

Panel3D::Panel3D(Mode mode, QWidget* parent) : QFrame(parent), mode_(mode) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Panel3D::SetCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    update();
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void Panel3D::SetValue(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == value_) return;
    value_ = percent;
    update();
    QAccessibleValueChangeEvent changed(this, value_);
    QAccessible::updateAccessibility(&changed);
}

QSize Panel3D::sizeHint() const {
    const QFontMetrics metrics(font());
    const int height = metrics.height() + 2 * frameWidth() + 6;
    return {std::max(metrics.horizontalAdvance(ShownText()) + 24, 120), height};
}

QSize Panel3D::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(ShownText()) + 12, metrics.height() + 2 * frameWidth() + 4};
}

QString Panel3D::ShownText() const {
    if (mode_ == Mode::kBar && caption_.isEmpty()) return QString::number(value_) + "%";
    return caption_;
}

void Panel3D::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    const QRect inside = contentsRect().adjusted(1, 1, -1, -1);
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    if (mode_ == Mode::kBar) {
        painter.fillRect(inside, palette().color(group, QPalette::Base));
        QRect filled = inside;
        filled.setWidth(inside.width() * value_ / 100);
        painter.fillRect(filled, palette().color(group, QPalette::Highlight));
        // The text reads over both parts: highlighted text on the filled part.
        painter.setPen(palette().color(group, QPalette::Text));
        painter.drawText(inside, Qt::AlignCenter, ShownText());
        painter.setClipRect(filled);
        painter.setPen(palette().color(group, QPalette::HighlightedText));
        painter.drawText(inside, Qt::AlignCenter, ShownText());
        return;
    }
    painter.setPen(palette().color(group, QPalette::WindowText));
    painter.drawText(inside.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, ShownText());
}

void Panel3D::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMoved();
    QFrame::mouseMoveEvent(event);
}

namespace {

class Panel3DAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit Panel3DAccessible(Panel3D* panel)
        : QAccessibleWidget(panel, panel->PanelMode() == Panel3D::Mode::kBar
                                       ? QAccessible::ProgressBar
                                       : QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        const auto* panel = static_cast<const Panel3D*>(widget());
        if (t == QAccessible::Name) {
            if (!panel->accessibleName().isEmpty()) return panel->accessibleName();
            return QString(panel->Caption()).remove('&');
        }
        if (t == QAccessible::Value) {
            return panel->PanelMode() == Panel3D::Mode::kBar ? QString::number(panel->Value()) + "%"
                                                             : panel->Caption();
        }
        return QAccessibleWidget::text(t);
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        const auto* panel = static_cast<const Panel3D*>(widget());
        if (type == QAccessible::ValueInterface && panel->PanelMode() == Panel3D::Mode::kBar) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override {
        return static_cast<const Panel3D*>(widget())->Value();
    }
    void setCurrentValue(const QVariant&) override {}  // read-only for assistive technology
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }
};

QAccessibleInterface* Panel3DFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("quenda::Panel3D") && object->isWidgetType()) {
        return new Panel3DAccessible(static_cast<Panel3D*>(object));
    }
    return nullptr;
}

}  // namespace

void InstallPanel3DAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(Panel3DFactory);
}

}  // namespace quenda
