#include "peers/TestApp.h"

#include <gtest/gtest.h>

namespace vireo::test {

QCoreApplication& EnsureTestApp() {
    if (QCoreApplication* running = QCoreApplication::instance())
        return *running;
    // Lives until the program ends; argc and argv must outlive the application.
    static int argc = 1;
    static char name[] = "vireo-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

namespace {

class TestAppEnvironment : public testing::Environment {
public:
    void SetUp() override { EnsureTestApp(); }
};

// Every test then finds the application in place, whichever runs first.
[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new TestAppEnvironment);

} // namespace

} // namespace vireo::test
