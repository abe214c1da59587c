// The running program: directories, the single-instance lock, the component runtime and the
// controls, the session and the main form, their events wired to the event loop, and the
// ways the loop ends. The windows, when there are any, come from a front end.
#pragma once

#include <QCoreApplication>
#include <functional>
#include <memory>

#include "app/shell/command_line.h"
#include "app/shell/mainform.h"
#include "app/shell/session.h"
#include "platform/ui/message_service.h"

namespace quenda {

// What a windowed program adds: the application object, the message boxes and the windows.
class FrontEnd {
  public:
    virtual ~FrontEnd() = default;
    // The application object (a QApplication); made once, before anything else of Qt.
    virtual std::unique_ptr<QCoreApplication> CreateApplication(int& argc, char** argv) = 0;
    // Message boxes; valid from CreateApplication on.
    virtual MessageService& Messages() = 0;
    virtual Desktop& DesktopLinks() = 0;
    // Creates the windows over the form before its start-up runs; unload is the program's
    // unload check for a closed window and the desktop's session end. False when no window
    // can be made (the user has been told); the program then ends without saving.
    virtual bool CreateWindows(Session& session, Mainform& form,
                               std::function<void(UnloadReason)> unload) = 0;
    // Destroys the windows; nothing reaches the form from them afterwards.
    virtual void DestroyWindows() = 0;
};

// Runs the program until it quits and returns its exit status. frontEnd nullptr runs it
// without windows, every log line mirrored to standard output.
int RunProgram(const CommandLine& line, int argc, char** argv, FrontEnd* frontEnd);

}  // namespace quenda
