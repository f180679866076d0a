// Test program: writes its arguments to the file named by ARGV_DUMP_FILE, each followed by a
// NUL byte, then sleeps for ARGV_DUMP_SLEEP_MS milliseconds (if set) and exits with
// ARGV_DUMP_EXIT (default 0).
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

int main(int argc, char** argv) {
  if (const char* file = std::getenv("ARGV_DUMP_FILE"); file != nullptr) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    for (int i = 0; i < argc; ++i) out << argv[i] << '\0';
    out << '\n';
  }
  if (const char* ms = std::getenv("ARGV_DUMP_SLEEP_MS"); ms != nullptr) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(ms)));
  }
  const char* code = std::getenv("ARGV_DUMP_EXIT");
  return code != nullptr ? std::atoi(code) : 0;
}
