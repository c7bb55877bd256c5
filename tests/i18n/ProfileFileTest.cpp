#include "i18n/ProfileFile.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
// windows.h names these after its own A/W functions; ours are meant.
#undef ReplaceFile
#undef WriteProfileString
#else
#include <sys/stat.h>
#endif

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/ScratchFolder.h"

namespace rdrconf {
namespace {

using test::ReadBytes;
using test::ScratchFolderTest;
using test::WriteBytes;
using ProfileFileTest = ScratchFolderTest;

constexpr char kFile[] = "t.ini";
const std::string kBom = "\xEF\xBB\xBF";

struct ReadCase {
  const char* name;
  std::string content;
  const char* section;
  const char* key;
  std::string expected;
};

TEST_F(ProfileFileTest, ReadsValuesAsTheFileHoldsThem) {
  const ReadCase cases[] = {
      {"plain", "[s]\nk=v\n", "s", "k", "v"},
      {"byte-order mark", kBom + "[s]\nk=v\n", "s", "k", "v"},
      {"CRLF", "[s]\r\nk=v\r\nj=w\r\n", "s", "k", "v"},
      {"CRLF, no final line end", "[s]\r\nk=v", "s", "k", "v"},
      {"section case", "[CoNfIg]\nk=v\n", "config", "k", "v"},
      {"key case", "[s]\nLANGUAGE=v\n", "s", "Language", "v"},
      {"blanks around names and value", " \t[ s\t] \n\t k \t=\t v w \t\n", "s", "k", "v w"},
      {"blanks around the names asked for", "[s]\nk=v\n", " s ", "\tk ", "v"},
      {"double quotes", "[s]\nk=\"  v  \"\n", "s", "k", "  v  "},
      {"single quotes", "[s]\nk='v'\n", "s", "k", "v"},
      {"only one pair of quotes", "[s]\nk=\"\"v\"\"\n", "s", "k", "\"v\""},
      {"unmatched quotes stay", "[s]\nk=\"v'\n", "s", "k", "\"v'"},
      {"a lone quote stays", "[s]\nk=\"\n", "s", "k", "\""},
      {"comment line", "[s]\n;k=x\n  ; k=y\nk=v\n", "s", "k", "v"},
      {"commented-out key only", "[s]\n  ;k=x\n", "s", "k", "DEF"},
      {"no inline comments", "[s]\nk=v ; note\n", "s", "k", "v ; note"},
      {"value holding '='", "[s]\nk=a=b\n", "s", "k", "a=b"},
      {"empty value", "[s]\nk=\n", "s", "k", ""},
      {"first of repeated keys", "[s]\nk=1\nk=2\n", "s", "k", "1"},
      {"first of repeated sections", "[s]\nk=1\n[s]\nk=2\n", "s", "k", "1"},
      {"only the first matching section", "[s]\na=1\n[t]\nk=x\n[S]\nk=2\n", "s", "k", "DEF"},
      {"key before any section", "k=v\n[s]\n", "s", "k", "DEF"},
      {"key of a later section", "[s]\n[t]\nk=v\n", "s", "k", "DEF"},
      {"missing section", "[t]\nk=v\n", "s", "k", "DEF"},
      {"missing key", "[s]\nkey=v\n", "s", "k", "DEF"},
      {"section name to the last ']'", "[a]b]\nk=v\n", "a]b", "k", "v"},
      {"header without ']' starts no section", "[s]\n[broken\nk=v\n", "s", "k", "v"},
      {"line without '=' is skipped", "[s]\nk\nk=v\n", "s", "k", "v"},
      {"empty file", "", "s", "k", "DEF"},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(kFile, c.content);
    EXPECT_EQ(ReadProfileString(kFile, c.section, c.key, "DEF"), c.expected);
  }
}

#ifdef _WIN32
// What stands in a file's place on Windows: a folder, a device (NUL, the
// console's input, which would block a read until someone typed) or a named
// pipe that a server offers. None is read, none is replaced.
TEST_F(ProfileFileTest, UnreadablePathsAndSpecialFilesGiveTheDefault) {
  std::filesystem::create_directory("folder.ini");
  const char* const pipeName = "\\\\.\\pipe\\rdrconf-profile-test";
  const HANDLE pipe = CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  for (const char* path : {"missing.ini", "folder.ini", "no-such-folder/t.ini", "NUL", "CONIN$", pipeName}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ReadProfileString(path, "s", "k", "DEF"), "DEF");
    EXPECT_FALSE(ProfileSection::Read(path, "s").has_value());
  }
  EXPECT_FALSE(WriteProfileString(pipeName, "s", "k", "v")) << "a special file is never replaced";
  CloseHandle(pipe);
}
#else
TEST_F(ProfileFileTest, UnreadablePathsAndSpecialFilesGiveTheDefault) {
  std::filesystem::create_directory("folder.ini");
  // Neither may block the reader (a FIFO without a writer holds a blocking
  // open) or feed it without end (/dev/zero).
  ASSERT_EQ(mkfifo("fifo.ini", 0644), 0);
  for (const char* path : {"missing.ini", "folder.ini", "no-such-folder/t.ini", "fifo.ini", "/dev/zero"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ReadProfileString(path, "s", "k", "DEF"), "DEF");
    EXPECT_FALSE(ProfileSection::Read(path, "s").has_value());
  }
  EXPECT_FALSE(WriteProfileString("fifo.ini", "s", "k", "v")) << "a special file is never replaced";
  EXPECT_EQ(std::filesystem::status("fifo.ini").type(), std::filesystem::file_type::fifo);
}
#endif

TEST_F(ProfileFileTest, ParsedSectionAnswersAsEachLookupWould) {
  const std::string content =
      "\xEF\xBB\xBF[s]\r\nA = \"quoted\" \r\n; k=comment\nk=first\nK=second\n[t]\nk=other\n"
      "[S]\nk=later section\nmarkup=<img src=\"/dev/zero\">\n";
  WriteBytes(kFile, content);
  const std::optional<ProfileSection> section = ProfileSection::Read(kFile, " S ");
  ASSERT_TRUE(section.has_value());
  for (const char* key : {"a", "k", " K ", "markup", "missing"}) {
    SCOPED_TRACE(key);
    const std::string expected = ReadProfileString(kFile, "s", key, "<none>");
    EXPECT_EQ(section->Value(key).value_or("<none>"), expected);
  }
  EXPECT_EQ(section->Value("k"), "first");
  EXPECT_EQ(ProfileSection::Parse(content, "t").Value("k"), "other");
  EXPECT_FALSE(ProfileSection::Parse(content, "u").Value("k").has_value());
  // Text is text: markup reads back as the characters written.
  WriteBytes(kFile, "[s]\nk=<b>bold</b> &amp;\n");
  EXPECT_EQ(ReadProfileString(kFile, "s", "k", ""), "<b>bold</b> &amp;");
}

struct LengthCase {
  const char* name;
  std::string value;
  std::string expected;
};

TEST_F(ProfileFileTest, LongValuesAndDefaultsAreCutWithoutSplittingACharacter) {
  const std::string a197(197, 'a'), a198(198, 'a'), a199(199, 'a');
  const LengthCase cases[] = {
      {"199 bytes", a199, a199},
      {"200 bytes", a199 + "b", a199},
      {"far longer", a199 + std::string(500, 'b'), a199},
      {"2-byte character across the cut", a198 + "\xC3\xA9", a198},
      {"3-byte character across the cut", a198 + "\xE4\xB8\xAD", a198},
      {"3-byte character ending past the cut", a197 + "\xE4\xB8\xAD", a197},
      {"3-byte character ending at the cut", std::string(196, 'a') + "\xE4\xB8\xAD" + "x",
       std::string(196, 'a') + "\xE4\xB8\xAD"},
      {"4-byte character across the cut", a197 + "\xF0\x9F\x98\x80", a197},
      {"Chinese text of 67 characters",
       [] {
         std::string s;
         for (int i = 0; i < 67; ++i) s += "\xE4\xB8\xAD";
         return s;
       }(),
       [] {
         std::string s;
         for (int i = 0; i < 66; ++i) s += "\xE4\xB8\xAD";
         return s;
       }()},
      // GB18030 "中文": the UTF-8 rule must not cut it short.
      {"GB18030 character before the cut", a197 + "\xD6\xD0\xCE\xC4", a197 + "\xD6\xD0"},
      // Not UTF-8, so cut after the 199th byte, even inside its character.
      {"GB18030 character across the cut", a198 + "\xD6\xD0", a198 + "\xD6"},
  };
  for (const LengthCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(kFile, "[s]\nk=" + c.value + "\n");
    EXPECT_EQ(ReadProfileString(kFile, "s", "k", ""), c.expected);
    EXPECT_EQ(ReadProfileString(kFile, "s", "missing", c.value), c.expected);
  }
}

struct WriteCase {
  const char* name;
  const char* before;  // nullptr: no file
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

TEST_F(ProfileFileTest, WriteChangesOnlyWhatItMust) {
  const WriteCase cases[] = {
      {"creates the file", nullptr, "config", "language", "en-US", "[config]\nlanguage=en-US\n"},
      {"empty file", "", "s", "k", "v", "[s]\nk=v\n"},
      {"replaces in place, keeping everything else",
       "\xEF\xBB\xBF; settings\r\n\r\n[Config]\r\n  ; which language\r\n  Language = \"zh-CN\"  "
       "\r\n"
       "other=1\r\n\r\n[language]\r\nlanguage=x\r\n",
       "config", "language", "en-US",
       "\xEF\xBB\xBF; settings\r\n\r\n[Config]\r\n  ; which language\r\n  Language = en-US\r\n"
       "other=1\r\n\r\n[language]\r\nlanguage=x\r\n"},
      {"keeps the line's own line ending", "[s]\r\nk=1\nj=2\r\n", "s", "k", "9",
       "[s]\r\nk=9\nj=2\r\n"},
      {"last line without line end", "[s]\nk=1", "s", "k", "22", "[s]\nk=22"},
      {"empty value", "[s]\nk=\nj=2\n", "s", "k", "v", "[s]\nk=v\nj=2\n"},
      {"first of repeated keys", "[s]\nk=1\nk=2\n", "s", "k", "3", "[s]\nk=3\nk=2\n"},
      {"adds the key after the section's last entry", "[a]\nx=1\n\n; about b\n[b]\ny=2\n", "A", "k",
       "v", "[a]\nx=1\nk=v\n\n; about b\n[b]\ny=2\n"},
      {"adds the key to the first of repeated sections", "[s]\na=1\n[t]\n[s]\nk=2\n", "s", "k", "3",
       "[s]\na=1\nk=3\n[t]\n[s]\nk=2\n"},
      {"adds the key to an empty last section", "x=0\n[a]", "a", "k", "v", "x=0\n[a]\nk=v"},
      {"adds the key with the file's line ending", "[a]\r\nx=1\r\n", "a", "k", "v",
       "[a]\r\nx=1\r\nk=v\r\n"},
      {"appends the section", "[a]\nx=1\n", "config", "language", "zh-CN",
       "[a]\nx=1\n[config]\nlanguage=zh-CN\n"},
      {"appends the section after a last line without line end", "[a]\nx=1", "b", "k", "v",
       "[a]\nx=1\n[b]\nk=v\n"},
      {"appends the section with the file's line ending", "; c\r\n[a]\r\n", "b", "k", "v",
       "; c\r\n[a]\r\n[b]\r\nk=v\r\n"},
      {"byte-order mark only", "\xEF\xBB\xBF", "s", "k", "v", "\xEF\xBB\xBF\n[s]\nk=v\n"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(kFile);
    if (c.before != nullptr) WriteBytes(kFile, c.before);
    ASSERT_TRUE(WriteProfileString(kFile, c.section, c.key, c.value));
    EXPECT_EQ(ReadBytes(kFile), c.after);
    EXPECT_EQ(ReadProfileString(kFile, c.section, c.key, "DEF"), c.value);
    EXPECT_EQ(FolderEntries(), std::set<std::string>{kFile});
  }
}

TEST_F(ProfileFileTest, RefusesTextThatWouldBreakTheFile) {
  const std::string before = "[s]\nk=v\n";
  const struct {
    const char* name;
    std::string section, key, value;
  } cases[] = {
      {"line break in the section", "s\nx", "k", "v"},
      {"line break in the key", "s", "k\r", "v"},
      {"line break in the value", "s", "k", "v\n[evil]"},
      {"NUL in the value", "s", "k", std::string("v\0w", 3)},
      {"'=' in the key", "s", "a=b", "v"},
      {"key that reads as a section", "s", "[x]", "v"},
      {"key that reads as a comment", "s", " ;x", "v"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(kFile, before);
    EXPECT_FALSE(WriteProfileString(kFile, c.section, c.key, c.value));
    EXPECT_EQ(ReadBytes(kFile), before);
  }
  EXPECT_EQ(FolderEntries(), std::set<std::string>{kFile});
}

TEST_F(ProfileFileTest, FailedWriteIsReportedAndLeavesNothingBehind) {
  EXPECT_FALSE(WriteProfileString("no-such-folder/t.ini", "s", "k", "v"));
  EXPECT_FALSE(std::filesystem::exists("no-such-folder"));

  std::filesystem::create_directory("folder.ini");
  EXPECT_FALSE(WriteProfileString("folder.ini", "s", "k", "v"));
  EXPECT_TRUE(std::filesystem::is_directory("folder.ini"));
  EXPECT_TRUE(std::filesystem::is_empty("folder.ini"));

  EXPECT_EQ(FolderEntries(), std::set<std::string>{"folder.ini"});
}

#ifndef _WIN32
// Linux only from here: a file-size limit, permission bits and the umask,
// symbolic links made by any user.
TEST_F(ProfileFileTest, WriteThatCannotBeFinishedLeavesTheOldFileUntouched) {
  const std::string before = "[s]\nk=" + std::string(100, 'x') + "\n";
  WriteBytes(kFile, before);

  bool written = true;
  {
    test::FileSizeLimit limit(64);
    written = WriteProfileString(kFile, "s", "k", std::string(150, 'y'));
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadBytes(kFile), before);
  EXPECT_EQ(FolderEntries(), std::set<std::string>{kFile});
}

TEST_F(ProfileFileTest, WriteReplacesTheFileWholeAndKeepsItsPermissions) {
  WriteBytes(kFile, "[s]\nk=old\n");
  ASSERT_EQ(chmod(kFile, 0640), 0);
  // A reader that opened the file before the write keeps the old content.
  std::ifstream earlier(kFile, std::ios::binary);

  ASSERT_TRUE(WriteProfileString(kFile, "s", "k", "new"));

  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), std::istreambuf_iterator<char>()),
            "[s]\nk=old\n");
  EXPECT_EQ(ReadBytes(kFile), "[s]\nk=new\n");
  struct stat info {};
  ASSERT_EQ(stat(kFile, &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(ProfileFileTest, NewFileGetsTheUsualPermissions) {
  const mode_t previous = umask(027);
  const bool written = WriteProfileString(kFile, "s", "k", "v");
  umask(previous);
  ASSERT_TRUE(written);
  struct stat info {};
  ASSERT_EQ(stat(kFile, &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(ProfileFileTest, WriteThroughSymbolicLinkReplacesItsTarget) {
  std::filesystem::create_directory("real");
  WriteBytes("real/t.ini", "[s]\nk=old\n");
  std::filesystem::create_symlink("real/t.ini", "link.ini");

  ASSERT_TRUE(WriteProfileString("link.ini", "s", "k", "new"));

  EXPECT_TRUE(std::filesystem::is_symlink("link.ini"));
  EXPECT_EQ(ReadBytes("real/t.ini"), "[s]\nk=new\n");
  EXPECT_EQ(FolderEntries(), (std::set<std::string>{"link.ini", "real"}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("real"),
                          std::filesystem::directory_iterator()),
            1);
}

#else
// A program that holds the file open without letting others delete or
// replace it (as most do, the C runtime's own fopen included) makes the
// replacement fail: the write says so, and leaves the old file and no
// temporary file behind.
TEST_F(ProfileFileTest, FileHeldOpenByAnotherReaderIsNotReplacedAndTheWriteFails) {
  WriteBytes(kFile, "[s]\nk=old\n");
  {
    std::ifstream holder(kFile, std::ios::binary);
    ASSERT_TRUE(holder.good());
    EXPECT_FALSE(WriteProfileString(kFile, "s", "k", "new"));
  }
  EXPECT_EQ(ReadBytes(kFile), "[s]\nk=old\n");
  EXPECT_EQ(FolderEntries(), std::set<std::string>{kFile});
  ASSERT_TRUE(WriteProfileString(kFile, "s", "k", "new")) << "once it is let go";
  EXPECT_EQ(ReadBytes(kFile), "[s]\nk=new\n");
  EXPECT_EQ(FolderEntries(), std::set<std::string>{kFile});
}

TEST_F(ProfileFileTest, ReadOnlyFileIsRefusedAndKept) {
  WriteBytes(kFile, "[s]\nk=old\n");
  ASSERT_TRUE(SetFileAttributesA(kFile, FILE_ATTRIBUTE_READONLY));
  // Tried, not asked: wine run as root lets the process write all the same.
  if (std::FILE* const writable = std::fopen(kFile, "r+b")) {
    std::fclose(writable);
    SetFileAttributesA(kFile, FILE_ATTRIBUTE_NORMAL);
    GTEST_SKIP() << "the read-only attribute does not stop this process";
  }
  EXPECT_FALSE(WriteProfileString(kFile, "s", "k", "new"));
  EXPECT_EQ(ReadBytes(kFile), "[s]\nk=old\n");
  EXPECT_EQ(FolderEntries(), std::set<std::string>{kFile});
  SetFileAttributesA(kFile, FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ProfileFileTest, PathsAreUtf8) {
  const std::string folder = "\xE8\xAF\xBB\xE5\x8D\xA1\xE5\x99\xA8";  // 读卡器
  ASSERT_TRUE(CreateDirectoryW(L"\u8bfb\u5361\u5668", nullptr));
  const std::string path = folder + "/t.ini";
  ASSERT_TRUE(WriteProfileString(path, "s", "k", "v"));
  EXPECT_EQ(ReadProfileString(path, "s", "k", "DEF"), "v");
  EXPECT_EQ(GetFileAttributesW(L"\u8bfb\u5361\u5668\\t.ini") & FILE_ATTRIBUTE_DIRECTORY, 0u)
      << "the file is where the UTF-8 name says";
}
#endif

}  // namespace
}  // namespace rdrconf
