// One QApplication for a whole Qt test suite, made before the first test and destroyed after the
// last. Every settings file the suite writes lies in a scratch folder of its own, never among
// the user's.
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QSettings>
#include <gtest/gtest.h>

#include <memory>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_FALSE(m_settings.Path().empty());
        for (const auto scope : {QSettings::UserScope, QSettings::SystemScope}) {
            QSettings::setPath(QSettings::NativeFormat, scope,
                               QString::fromStdString(m_settings.Path().string()));
        }
        static int argc = 1;
        static char name[] = "stillo_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    stillo_test::TempDir m_settings{"stillo-settings"};
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const g_env =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
