// Message boxes with windows: modal Qt message boxes over the main window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/ui/message_service.h"

namespace quenda {

class QtMessages final : public MessageService {
  public:
    // Boxes are centred on parent while it is visible; nullptr centres them on the screen.
    void SetParent(QWidget* parent) { parent_ = parent; }
    MessageAnswer ShowMessage(MessageIcon icon, MessageButtons buttons, const std::string& title,
                              const std::string& text, MessageAnswer safeAnswer) override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace quenda
