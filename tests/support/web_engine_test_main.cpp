// main() of the test programs that need the browser engine: one application for all their tests.
#include <gtest/gtest.h>

#include "tests/support/qt_test_application.h"
#include "tests/support/web_test_app.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(
        new tovra::testing_support::QtApplicationEnvironment<tovra::testing_support::WebEngineTestApp>);
    return RUN_ALL_TESTS();
}
