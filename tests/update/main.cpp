// Runs the update check's tests under the one QApplication the dialog needs. Listing the tests
// (CTest's discovery, outside the tests' environment) needs no application and no display.
#include <QApplication>
#include <memory>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> application;
    if (!GTEST_FLAG_GET(list_tests)) application = std::make_unique<QApplication>(argc, argv);
    return RUN_ALL_TESTS();
}
