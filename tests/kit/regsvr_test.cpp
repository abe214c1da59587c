// Runs the regsvr tool on the test library: its messages, exit statuses and effect.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/registry/registry.h"
#include "tests/support/temp_directory.h"

namespace quenda::testing {
namespace {

struct ToolRun {
    int status = -1;
    std::string output;  // standard output and error together
};

ToolRun RunRegsvr(const std::string& arguments) {
    std::string command = std::string(QUENDA_REGSVR) + " " + arguments + " 2>&1";
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[512];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(RegsvrTest, RegistersUnregistersAndExplainsFailures) {
    test::TempDirectory dir;
    std::string registry = (dir / "registry").string();
    std::string library = QUENDA_TEST_PORT_LIBRARY;

    ToolRun reg = RunRegsvr("--registry " + registry + " " + library);
    EXPECT_EQ(reg.status, 0) << reg.output;
    EXPECT_NE(reg.output.find("DllRegisterServer"), std::string::npos) << reg.output;
    std::string value;
    EXPECT_EQ(Registry(registry).QueryString(RegRoot::kClassesRoot, "QuendaTest.TestPort.1\\CLSID",
                                             "", &value),
              RegStatus::kOk);

    ToolRun unreg = RunRegsvr("-u --registry " + registry + " " + library);
    EXPECT_EQ(unreg.status, 0) << unreg.output;
    EXPECT_EQ(Registry(registry).QueryString(RegRoot::kClassesRoot, "QuendaTest.TestPort.1\\CLSID",
                                             "", &value),
              RegStatus::kNotFound);

    EXPECT_EQ(RunRegsvr("").status, 1);
    ToolRun missing = RunRegsvr("--registry " + registry + " " + (dir / "nothere.so").string());
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.output.find("nothere.so"), std::string::npos) << missing.output;
    test::TempDirectory::WriteText(dir / "notalib.so", "plain text");
    EXPECT_EQ(RunRegsvr("--registry " + registry + " " + (dir / "notalib.so").string()).status, 3);
    ToolRun plain = RunRegsvr("--registry " + registry + " " + QUENDA_PLAIN_LIBRARY);
    EXPECT_EQ(plain.status, 4);
    EXPECT_NE(plain.output.find("not a component library"), std::string::npos) << plain.output;

    test::TempDirectory::WriteText(registry, "garbage\n");
    ToolRun damaged = RunRegsvr("--registry " + registry + " " + library);
    EXPECT_EQ(damaged.status, 5);
    EXPECT_NE(damaged.output.find("damaged"), std::string::npos) << damaged.output;
    EXPECT_EQ(test::TempDirectory::ReadText(registry), "garbage\n");
}

}  // namespace
}  // namespace quenda::testing
