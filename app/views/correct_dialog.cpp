// The "Correct" dialog's label, buttons and help key.
#include "app/views/correct_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

#include "app/views/button3d.h"

namespace quenda {

CorrectDialog::CorrectDialog(const QString& message, const QString& title,
                             std::function<void()> help, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("Quenda_Correct"));
    setWindowTitle(title);
    setModal(true);

    auto* label = new QLabel(message);
    label->setObjectName(QStringLiteral("Label1"));
    label->setWordWrap(true);
    // One line for the messages of ordinary addresses; a long paste wraps.
    const QFontMetrics metrics = label->fontMetrics();
    label->setMinimumWidth(
        std::min(metrics.horizontalAdvance(message) + 8, metrics.averageCharWidth() * 64));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* correct = new Button3D;
    correct->setObjectName(QStringLiteral("bCorrect"));
    correct->setText(QStringLiteral("&Correct!"));
    correct->setAccessibleName(QStringLiteral("Correct!"));
    correct->setDefault(true);
    auto* cancel = new Button3D;
    cancel->setObjectName(QStringLiteral("bCancel"));
    cancel->setText(QStringLiteral("C&ancel"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    connect(correct, &Button3D::clicked, this, [this] { Answer(1); });
    connect(cancel, &Button3D::clicked, this, [this] { Answer(0); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(correct);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(16);
    layout->addWidget(label);
    layout->addLayout(buttons);

    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [help = std::move(help)] {
        if (help) help();
    });
    correct->setFocus();
}

void CorrectDialog::Answer(int result) {
    result_ = result;
    done(result);
}

}  // namespace quenda
