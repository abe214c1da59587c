// A message service that records every message box and answers from a script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/ui/message_service.h"

namespace quenda::test {

class ScriptedMessages final : public MessageService {
  public:
    struct Shown {
        MessageIcon icon;
        MessageButtons buttons;
        std::string title;
        std::string text;
    };

    // Answers the next message with answer; messages beyond the script take their safe answer.
    void Answer(MessageAnswer answer) { script_.push_back(answer); }

    MessageAnswer ShowMessage(MessageIcon icon, MessageButtons buttons, const std::string& title,
                              const std::string& text, MessageAnswer safeAnswer) override {
        shown.push_back({icon, buttons, title, text});
        if (script_.empty()) return safeAnswer;
        const MessageAnswer answer = script_.front();
        script_.pop_front();
        return answer;
    }

    std::vector<Shown> shown;

  private:
    std::deque<MessageAnswer> script_;
};

}  // namespace quenda::test
