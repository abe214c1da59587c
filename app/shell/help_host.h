// The program's help as a dialog borrows it: the context F1 opens, set while the dialog is
// open and given back when it closes.
#pragma once

namespace quenda {

class HelpHost {
  public:
    virtual ~HelpHost() = default;
    virtual int HelpContext() const = 0;
    virtual void SetHelpContext(int context) = 0;
    // Opens the help at the current context.
    virtual void OpenHelp() = 0;
};

}  // namespace quenda
