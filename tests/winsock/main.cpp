// Runs the Winsock-layer tests under the QCoreApplication they need.
#include "tests/support/qt_loop.h"

int main(int argc, char** argv) {
    return quenda::test::RunTestsWithCoreApplication(argc, argv);
}
