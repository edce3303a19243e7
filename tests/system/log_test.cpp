#include <cctype>
#include <vector>

#include "engine/system/system.h"
#include "common/scratch.h"

namespace {

struct LogFile {
  std::string name = ScratchName("log.txt");
  LogFile() {
    SetLogOutputFlag(1);
    SetLogFileName(name.c_str());
  }
  ~LogFile() {
    SetLogFileName(nullptr);
    SetLogOutputFlag(1);
    std::remove(name.c_str());
  }
};

// The lines after their "milliseconds:" prefix; a line without the prefix or its CR LF
// comes back whole, marked with '!'.
std::vector<std::string> Bodies(const std::string& text) {
  std::vector<std::string> bodies;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      bodies.push_back("!" + text.substr(at));
      break;
    }
    std::string line = text.substr(at, end - at);
    size_t digits = 0;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits]))) ++digits;
    if (digits == 0 || digits >= line.size() || line[digits] != ':') bodies.push_back("!" + line);
    else bodies.push_back(line.substr(digits + 1));
    at = end + 2;
  }
  return bodies;
}

}  // namespace

TEST(Log, LinesCarryTimeIndentAndCrLf) {
  LogFile file;
  LogPrintf("first %d", 1);
  LogIndentAdd();
  LogIndentAdd();
  LogPrint("two\nlines\r\n");
  LogIndentSub();
  LogPrint("pie");
  LogPrint("ces\n");
  LogIndentSub();
  LogIndentSub();  // never below 0
  LogPrintf("%s", "last");
  std::string text = ReadWholeFile(file.name);
  EXPECT_EQ(Bodies(text), (std::vector<std::string>{"first 1", "\t\ttwo", "\t\tlines", "\tpieces", "last"}))
      << text;
  EXPECT_STREQ(GetLogFileName(), file.name.c_str());
}

TEST(Log, FirstWriteRecreatesTheFileAndTheFlagSilencesIt) {
  LogFile file;
  WriteWholeFile(file.name, "old contents\r\n");
  SetLogFileName(file.name.c_str());
  LogPrint("new\n");
  EXPECT_EQ(ReadWholeFile(file.name).find("old"), std::string::npos);
  SetLogOutputFlag(0);
  EXPECT_EQ(GetLogOutputFlag(), 0);
  LogPrint("hidden\n");
  LogPrintf("hidden %d", 2);
  SetLogOutputFlag(1);
  LogPrint("shown\n");
  std::string text = ReadWholeFile(file.name);
  EXPECT_EQ(text.find("hidden"), std::string::npos) << text;
  EXPECT_NE(text.find("new"), std::string::npos) << text;
  EXPECT_NE(text.find("shown"), std::string::npos) << text;
  // A long formatted line is written whole.
  std::string big(5000, 'x');
  LogPrintf("%s", big.c_str());
  EXPECT_NE(ReadWholeFile(file.name).find(big + "\r\n"), std::string::npos);
}
