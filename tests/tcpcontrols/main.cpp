// Runs the TCP control tests under the QCoreApplication their sockets need.
#include "tests/support/qt_loop.h"

int main(int argc, char** argv) {
    return quenda::test::RunTestsWithCoreApplication(argc, argv);
}
