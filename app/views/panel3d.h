// The 3-D panel: a sunken panel that shows a caption, or a percentage bar drawn as a filled
// part of the panel; greyed when disabled; tells of the mouse moving over it.
#pragma once

#include <QFrame>
#include <QString>

namespace quenda {

class Panel3D final : public QFrame {
    Q_OBJECT

  public:
    enum class Mode { kCaption, kBar };

    explicit Panel3D(Mode mode, QWidget* parent = nullptr);

    Mode PanelMode() const { return mode_; }
    // The caption; a panel in bar mode shows it over the bar ("" shows the percentage).
    void SetCaption(const QString& caption);
    const QString& Caption() const { return caption_; }
    // The bar's value, clamped to 0 to 100. Setting the value it holds repaints nothing.
    void SetValue(int percent);
    int Value() const { return value_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void MouseMoved();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    QString ShownText() const;

    Mode mode_;
    QString caption_;
    int value_ = 0;
};

// Gives assistive technology the panels' role (a progress bar or static text), name and value.
void InstallPanel3DAccessibility();

}  // namespace quenda
