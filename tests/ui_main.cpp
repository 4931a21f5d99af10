#include "forms/ErrorReport.h"

#include "TestEnvironment.h"

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Headless by default; a developer may still export another platform to watch.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const TestEnvironment environment;
    ::testing::InitGoogleTest(&argc, argv);
    // The program's own application object, so that windows meet the same error report.
    zelvar::Application app(argc, argv);
    return RUN_ALL_TESTS();
}
