// GoogleTest over a QApplication on the offscreen platform, for the widget tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <vector>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The platform as an argument: under Wine the environment's QT_QPA_PLATFORM does not reach
  // the program.
  std::vector<char*> args(argv, argv + argc);
  char platform[] = "-platform";
  char offscreen[] = "offscreen";
  args.insert(args.begin() + 1, {platform, offscreen});
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  QApplication app(count, args.data());
  return RUN_ALL_TESTS();
}
