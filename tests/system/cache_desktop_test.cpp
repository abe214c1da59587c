// The real program with its windows, in a private X server with a system tray, in a private
// network namespace: the cache tab lists what was asked, and the host entry editor adds a host
// that a dig then gets from the cache at once. Saves pictures under screenshots/.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/relay/dns_codec.h"
#include "tests/support/dns_builder.h"
#include "tests/support/temp_directory.h"
#include "tests/system/desktop_fixture.h"
#include "tests/system/fake_upstream.h"
#include "tests/system/quenda_process.h"

namespace quenda::test {
namespace {

using namespace std::chrono_literals;

void Xdotool(const std::string& window, const std::string& action) {
    RunCommand("xdotool windowfocus --sync " + window + " " + action + " 2>&1");
    std::this_thread::sleep_for(400ms);
}

void Grab(const std::string& window, const std::string& name) {
    const std::filesystem::path pictures = QUENDA_SCREENSHOTS;
    std::filesystem::create_directories(pictures);
    const std::filesystem::path file = pictures / name;
    std::filesystem::remove(file);
    RunCommand(std::string(QUENDA_GRAB_WINDOW) + " " + window + " " + file.string());
    EXPECT_GT(std::filesystem::exists(file) ? std::filesystem::file_size(file) : 0u, 1000u) << file;
}

class CacheDesktopTest : public DesktopTest {
  protected:
    // What dig gets for name's A record from the program: the addresses, one a line.
    static std::string Dig(const std::string& name) {
        return RunCommand("dig @127.0.0.1 -p " + std::to_string(kPort) +
                          " +tries=1 +time=1 +short " + name + " A 2>&1");
    }
};

TEST_F(CacheDesktopTest, TheEditorAddsAHostThatIsThenAnsweredFromTheCache) {
    const std::unique_ptr<QuendaProcess> quenda = Start();
    ASSERT_FALSE(window.empty());
    for (const char* name : {"www.example.org", "mail.example.org", "ftp.example.net"}) {
        EXPECT_EQ(Dig(name), upstream->AnswerAddress() + "\n") << name;
    }

    Xdotool(window, "key alt+c");
    Grab(window, "quenda-cache-tab.png");
    // "&Add" shares its access key with the About tab: the first one after the tab strip.
    Xdotool(window, "key Tab Tab Tab Tab space");
    std::string editor;
    ASSERT_TRUE(WaitFor([&] { return !(editor = VisibleWindow("^Add an entry$")).empty(); }));
    Xdotool(editor, "type --delay 30 new.example.org");
    Xdotool(editor, "key alt+s");
    ASSERT_TRUE(WaitFor([&] {
        for (const std::string& query : upstream->Queries()) {
            if (IdOf(query) == 43775 && GetQueryName(query) == "new.example.org") return true;
        }
        return false;
    }));
    std::this_thread::sleep_for(500ms);
    Grab(editor, "quenda-host-editor.png");

    // Nobody upstream answers any more: only the cache can.
    upstream->SetMode(FakeUpstream::Mode::kSilent);
    EXPECT_EQ(Dig("new.example.org"), upstream->AnswerAddress() + "\n");
    EXPECT_NE(Dig("other.example.org").find("timed out"), std::string::npos);

    Xdotool(editor, "key Escape");
    EXPECT_TRUE(WaitFor([] { return VisibleWindow("^Add an entry$").empty(); }));
    Grab(window, "quenda-cache-tab-added.png");
    EXPECT_EQ(quenda->Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace quenda::test
