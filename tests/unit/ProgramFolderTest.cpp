#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/ProgramFolder.h"
#include "common/TestSupport.h"

using namespace quillora;

namespace {

// Points the user's data folder somewhere of the test's own while it lives.
class UserDataFolder {
 public:
  explicit UserDataFolder(const QString& folder) : old_(qgetenv("XDG_DATA_HOME")) {
    qputenv("XDG_DATA_HOME", folder.toLocal8Bit());
  }
  ~UserDataFolder() {
    if (old_.isEmpty()) {
      qunsetenv("XDG_DATA_HOME");
    } else {
      qputenv("XDG_DATA_HOME", old_);
    }
  }

 private:
  QByteArray old_;
};

}  // namespace

TEST(ProgramFolder, InstalledProgramKeepsUserFilesInTheUsersDataFolder) {
  test::TempHome root;
  // PREFIX/bin/quillora with its data in PREFIX/share/quillora/data; bin/ is writable, as it is
  // for root, but it is no program folder.
  root.Write("prefix/bin/quillora", "");
  root.Write("prefix/share/quillora/data/tarot.txt", "card list");
  const QString bin = root.File("prefix/bin");
  UserDataFolder user(root.File("xdg"));

  EXPECT_EQ(QDir(ShippedDataFolder(bin)).canonicalPath(),
            QDir(root.File("prefix/share/quillora/data")).canonicalPath());
  const QString folder = ResolveProgramFolder(QString(), bin);
  EXPECT_EQ(folder, root.File("xdg/Quillora"));
  EXPECT_EQ(root.Read("xdg/Quillora/data/tarot.txt"), "card list");

  // A copy seeded earlier keeps the user's own edits.
  root.Write("xdg/Quillora/data/tarot.txt", "edited");
  EXPECT_EQ(ResolveProgramFolder(QString(), bin), folder);
  EXPECT_EQ(root.Read("xdg/Quillora/data/tarot.txt"), "edited");

  // --home gets the shipped data too; a build folder with data/ beside it is its own program
  // folder.
  EXPECT_EQ(ResolveProgramFolder(root.File("home"), bin), root.File("home"));
  EXPECT_EQ(root.Read("home/data/tarot.txt"), "card list");
  root.Write("build/data/tarot.txt", "built");
  EXPECT_EQ(ResolveProgramFolder(QString(), root.File("build")), root.File("build"));
}
