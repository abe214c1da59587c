// Message boxes and questions, through one service: Qt message boxes with windows, a
// text on standard error when headless, scripted answers in tests.
#pragma once

#include <functional>
#include <string>

namespace quenda {

enum class MessageIcon { Information, Exclamation, Critical, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

class MessageService {
  public:
    virtual ~MessageService() = default;

    // Shows a modal message and returns the button chosen. safeAnswer is the answer that
    // keeps the user's data and the service running; a service with nobody to ask takes it.
    virtual MessageAnswer ShowMessage(MessageIcon icon, MessageButtons buttons,
                                      const std::string& title, const std::string& text,
                                      MessageAnswer safeAnswer) = 0;

    // A message with only an OK button.
    void Inform(MessageIcon icon, const std::string& title, const std::string& text) {
        ShowMessage(icon, MessageButtons::Ok, title, text, MessageAnswer::Ok);
    }
};

// Nobody to ask: writes "title: text" to standard error, hands the same to `log`, and takes
// the safe answer.
class HeadlessMessages final : public MessageService {
  public:
    explicit HeadlessMessages(std::function<void(const std::string&)> log) : log_(std::move(log)) {}
    MessageAnswer ShowMessage(MessageIcon icon, MessageButtons buttons, const std::string& title,
                              const std::string& text, MessageAnswer safeAnswer) override;

  private:
    std::function<void(const std::string&)> log_;
};

}  // namespace quenda
