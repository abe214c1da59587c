// Runs the ICMPPort tests under the QCoreApplication their notifications need.
#include "tests/support/qt_loop.h"

int main(int argc, char** argv) { return quenda::test::RunTestsWithCoreApplication(argc, argv); }
