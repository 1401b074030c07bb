#include "base/uFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "tools/TestSupport.h"

namespace skimbrook {
namespace {

using test::TTempDir;

class WriteFileAtomicTest : public ::testing::Test {
 protected:
  void TearDown() override { SetWriteFaultHookForTests({}); }
  size_t FilesIn(const std::string& Dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(Dir), {}));
  }
  TTempDir dir;
};

TEST_F(WriteFileAtomicTest, CreatesAndReplacesWholeFile) {
  std::string path = dir.File("a.txt");
  WriteFileAtomic(path, "first");
  EXPECT_EQ(ReadFileBytes(path), "first");
  WriteFileAtomic(path, "second, longer");
  EXPECT_EQ(ReadFileBytes(path), "second, longer");
  WriteFileAtomic(path, "");
  EXPECT_EQ(ReadFileBytes(path), "");
  EXPECT_EQ(FilesIn(dir.Path()), 1u) << "no temporary file may be left behind";
}

TEST_F(WriteFileAtomicTest, FailureHalfWayLeavesOldFileIntactAndNoTemporary) {
  std::string path = dir.File("default.opml");
  WriteFileAtomic(path, "old contents");
  std::string big(300 * 1024, 'x');
  SetWriteFaultHookForTests([](size_t written) { return written >= 128 * 1024 ? ENOSPC : 0; });
  try {
    WriteFileAtomic(path, big);
    FAIL() << "a failed write must raise";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("No space left"), std::string::npos);
  }
  EXPECT_EQ(ReadFileBytes(path), "old contents");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST_F(WriteFileAtomicTest, KeepsModeOfReplacedFile) {
  std::string path = dir.File("HKCU.reg");
  WriteFileAtomic(path, "x");
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  WriteFileAtomic(path, "y");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(WriteFileAtomicTest, NewFileGetsRequestedModeButReplacedFileKeepsItsOwn) {
  std::string fresh = dir.File("fresh.reg");
  WriteFileAtomic(fresh, "x", 0600);
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  std::string shared = dir.File("shared.reg");
  WriteFileAtomic(shared, "x");
  ASSERT_EQ(::chmod(shared.c_str(), 0644), 0);
  WriteFileAtomic(shared, "y", 0600);
  ASSERT_EQ(::stat(shared.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u) << "a mode the user chose is left alone";
}

TEST_F(WriteFileAtomicTest, APrivateFileIsOwnerOnlyFromItsTemporaryFileOnWhateverTheOldMode) {
  std::string path = dir.File("HKCU.reg");
  WriteFileAtomic(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  std::vector<mode_t> temporaryModes;
  SetWriteFaultHookForTests([&](size_t) {
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      struct stat st {};
      if (entry.path() != path && ::stat(entry.path().c_str(), &st) == 0)
        temporaryModes.push_back(st.st_mode & 0777);
    }
    return 0;
  });
  WritePrivateFileAtomic(path, "password");
  SetWriteFaultHookForTests({});
  EXPECT_EQ(temporaryModes, std::vector<mode_t>{0600});
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFileBytes(path), "password");
}

TEST_F(WriteFileAtomicTest, ADamagedCopyIsOwnerOnly) {
  std::string path = dir.File("default.opml");
  WriteFileAtomic(path, "<opml");
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  const std::string copy = KeepDamagedCopy(path);
  struct stat st {};
  ASSERT_EQ(::stat(copy.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFileBytes(copy), "<opml");
}

TEST_F(WriteFileAtomicTest, AProducedFileGetsItsPiecesInOrderOrNothingWhenProducingFails) {
  std::string path = dir.File("feed.xml");
  const std::string large(200 * 1024, 'L');
  WriteFileAtomicFrom(path, [&](TFileSink& Sink) {
    for (int i = 0; i < 100000; ++i) Sink.Write("ab");
    Sink.Write(large);
    Sink.Write("end");
  });
  std::string expected;
  for (int i = 0; i < 100000; ++i) expected += "ab";
  EXPECT_EQ(ReadFileBytes(path), expected + large + "end");

  SetWriteFaultHookForTests([](size_t written) { return written >= 64 * 1024 ? EIO : 0; });
  EXPECT_THROW(WriteFileAtomicFrom(path, [&](TFileSink& Sink) { Sink.Write(large); }), std::runtime_error);
  SetWriteFaultHookForTests({});
  EXPECT_THROW(WriteFileAtomicFrom(path,
                                   [](TFileSink& Sink) {
                                     Sink.Write("half");
                                     throw std::logic_error("producer gave up");
                                   }),
               std::logic_error);
  EXPECT_EQ(ReadFileBytes(path), expected + large + "end");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST_F(WriteFileAtomicTest, LeftoverTemporaryFilesOfAtomicWritesAreRemovedAndNothingElse) {
  const std::vector<std::string> leftovers = {"default.opml.tmp-Ab3xY9", "httpexamplecomfeed.xml.tmp-000000"};
  const std::vector<std::string> others = {"default.opml", "notes.tmp-abc12", "a.tmp-abcdef.txt",
                                           "b.tmp-ab_cd1", ".tmp-abcdef",     "c.tmp-abcdefg"};
  for (const auto& name : leftovers) test::WriteFile(dir.File(name), "partial");
  for (const auto& name : others) test::WriteFile(dir.File(name), "keep");
  std::filesystem::create_directory(dir.File("folder.tmp-abcdef"));
  std::filesystem::create_symlink(dir.File("default.opml"), dir.File("link.tmp-abcdef"));

  RemoveLeftoverTemporaryFiles(dir.Path());

  for (const auto& name : leftovers) EXPECT_FALSE(test::Exists(dir.File(name))) << name;
  for (const auto& name : others) EXPECT_EQ(ReadFileBytes(dir.File(name)), "keep") << name;
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.tmp-abcdef")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.tmp-abcdef")));
  RemoveLeftoverTemporaryFiles(dir.File("no such folder"));
}

TEST_F(WriteFileAtomicTest, ADataFolderIsCreatedForItsOwnerAlone) {
  const std::string folder = dir.Path() + "a/b/data/";
  CreatePrivateFolder(folder);
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ::chmod(folder.c_str(), 0750);
  CreatePrivateFolder(folder);  // an existing folder keeps its mode
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST_F(WriteFileAtomicTest, MissingFolderRaisesWithPath) {
  std::string path = dir.File("no/such/folder/x.xml");
  EXPECT_THROW(WriteFileAtomic(path, "x"), std::runtime_error);
  EXPECT_THROW(ReadFileBytes(path), std::runtime_error);
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(FileExists(dir.Path())) << "a folder is not a file";
}

TEST(JoinLinesCRLF, EndsEveryLineIncludingTheLast) {
  EXPECT_EQ(JoinLinesCRLF({}), "");
  EXPECT_EQ(JoinLinesCRLF({""}), "\r\n");
  EXPECT_EQ(JoinLinesCRLF({"a", "b"}), "a\r\nb\r\n");
}

}  // namespace
}  // namespace skimbrook
