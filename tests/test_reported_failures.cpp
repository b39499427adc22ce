// Failures that do not stop the work are reported once, through the host.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "commands/commands.h"
#include "surface/text.h"
#include "test_util.h"

namespace mirelune {
namespace fs = std::filesystem;

TEST(ReportedFailures, AnOutputFolderThatCannotBeMadeIsReportedAtStartUp) {
  const fs::path file = fs::temp_directory_path() / ("mirelune-root-" + std::to_string(getpid()));
  std::ofstream(file) << "a file where the root folder should be";
  setenv("MIRELUNE_ROOT", file.c_str(), 1);
  TakeTextFailures();  // whatever earlier tests left
  testing::Fixture s;
  StartUp(*s);
  unsetenv("MIRELUNE_ROOT");
  fs::remove(file);
  ASSERT_EQ(s.host.reported.size(), 1u);
  EXPECT_EQ(s.host.reported[0].rfind("cannot make the folder " + (file / "wimgx").string() + ": ", 0), 0u);
}

}  // namespace mirelune
