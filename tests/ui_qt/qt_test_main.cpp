// Test entry for the Qt adapters: one QApplication for the whole run, made only when tests run
// (listing the tests needs no display). The platform comes from the environment
// (QT_QPA_PLATFORM, set by ctest to "offscreen").
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

class QtApplicationEnvironment : public testing::Environment {
 public:
  explicit QtApplicationEnvironment(char* program) : argv_{program, nullptr} {}

  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char* argv_[2];
  std::unique_ptr<QApplication> app_;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Owned and deleted by GoogleTest.
  testing::AddGlobalTestEnvironment(new QtApplicationEnvironment(argv[0]));
  return RUN_ALL_TESTS();
}
