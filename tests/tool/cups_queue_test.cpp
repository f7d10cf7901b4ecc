// The CUPS filter and PPD in a real scheduler: a private cupsd (its own configuration, a local
// socket, FileDevice so that a queue prints to a file) whose ServerBin is a staged install of
// this build with the system's filters beside it. Jobs go in with lp; what the queue wrote is
// read back with the stream reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_harness.h"

#ifndef FNDL_CUPS_FILTER

TEST(CupsQueue, JobsPrintThroughTheFilter) {
  GTEST_SKIP() << "the CUPS filter is not built (CUPS development files, Debian package "
                  "libcups2-dev, not found at configure time)";
}

#else

#include <cups/cups.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "pclxl/format.h"
#include "text_utf.h"

namespace fndl::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kStartTimeout = std::chrono::seconds(20);
constexpr auto kJobTimeout = std::chrono::seconds(90);
constexpr const char* kQueue = "fndl";

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// cupsd with its own folders under a scratch directory, stopped by its pid at the end; it also
// dies with the test process (a parent-death signal), however that ends.
class Scheduler {
 public:
  Scheduler() : root_(dir_.Path("")) {}
  ~Scheduler() { Stop(); }

  std::string Path(const std::string& name) const { return root_ + name; }
  std::string socket() const { return Path("cupsd.sock"); }
  std::string serverBin() const { return Path("stage") + TAVRFNDL_CUPS_SERVERBIN; }
  // CUPS finds models in DataDir/model: the staged install's, with the system's data beside it.
  std::string dataDir() const {
    return Path("stage") + fs::path(TAVRFNDL_CUPS_MODELDIR).parent_path().string();
  }
  std::string ppd() const {
    return Path("stage") + TAVRFNDL_CUPS_MODELDIR "/tavrfndl/tavrfndl-pclxl.ppd";
  }
  std::string ErrorLog() const { return Slurp(Path("log/error_log")); }
  std::string PageLog() const { return Slurp(Path("log/page_log")); }

  // Stages the install, writes the configuration and starts cupsd; empty, or what went wrong.
  std::string Start() {
    if (std::string error = Stage(); !error.empty()) return error;
    WriteConfiguration();
    std::string conf = Path("etc/cupsd.conf"), files = Path("etc/cups-files.conf");
    pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) return "fork failed";
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      execl(CUPSD_EXECUTABLE, CUPSD_EXECUTABLE, "-f", "-c", conf.c_str(), "-s", files.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    setenv("CUPS_SERVER", socket().c_str(), 1);
    return WaitUntilReady();
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    auto deadline = Clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    pid_ = -1;
  }

  // The state of a job, once it has ended or the wait has run out (0 when not found).
  ipp_jstate_t WaitForJob(int id) const {
    auto deadline = Clock::now() + kJobTimeout;
    ipp_jstate_t state = static_cast<ipp_jstate_t>(0);
    while (Clock::now() < deadline) {
      state = JobState(id);
      if (state >= IPP_JSTATE_STOPPED) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return state;
  }

 private:
  // A staged `cmake --install` of this build, with the system's filters, programs and data
  // linked in beside what the install put there.
  std::string Stage() {
    setenv("DESTDIR", Path("stage").c_str(), 1);
    ToolRun install = RunProgram({CMAKE_COMMAND, "--install", TAVRFNDL_BINARY_DIR});
    unsetenv("DESTDIR");
    if (!install.exited || install.status != 0) return "cmake --install failed: " + install.err;
    std::error_code error;
    LinkMissing(CUPS_SYSTEM_SERVERBIN, serverBin(), error);
    LinkMissing(CUPS_SYSTEM_SERVERBIN "/filter", serverBin() + "/filter", error);
    LinkMissing(CUPS_SYSTEM_DATADIR, dataDir(), error);
    return error ? "cannot link the system's CUPS files: " + error.message() : "";
  }

  static void LinkMissing(const std::string& from, const std::string& to, std::error_code& error) {
    // Without cups-filters the system has no filter folder, and the queue needs none of them.
    if (error || !fs::is_directory(from)) return;
    for (const auto& entry : fs::directory_iterator(from, error)) {
      fs::path link = fs::path(to) / entry.path().filename();
      if (!fs::exists(fs::symlink_status(link))) fs::create_symlink(entry.path(), link, error);
      if (error) return;
    }
  }

  void WriteConfiguration() {
    for (const char* sub : {"etc", "log", "spool", "spool/tmp", "cache", "state", "out"}) {
      fs::create_directories(Path(sub));
    }
    // cupsd runs filters as user lp: the staged files must be reachable by it.
    chmod(root_.c_str(), 0755);
    chmod(Path("out").c_str(), 0755);
    chmod(Path("spool/tmp").c_str(), 01777);
    std::ofstream(Path("etc/cupsd.conf"))
        << "Listen " << socket() << "\nLogLevel debug\nBrowsing Off\nWebInterface No\n"
        << "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
        << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    std::ofstream(Path("etc/cups-files.conf"))
        << "ServerRoot " << Path("etc") << "\nServerBin " << serverBin() << "\nDataDir "
        << dataDir() << "\nRequestRoot " << Path("spool") << "\nTempDir " << Path("spool/tmp")
        << "\nCacheDir " << Path("cache") << "\nStateDir " << Path("state") << "\nAccessLog "
        << Path("log/access_log") << "\nErrorLog " << Path("log/error_log") << "\nPageLog "
        << Path("log/page_log") << "\nPrintcap " << Path("state/printcap")
        << "\nFileDevice Yes\n"
        // A sanitized filter reads its options (leak suppressions) as in the other tests.
        << "PassEnv ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS\n";
  }

  std::string WaitUntilReady() const {
    auto deadline = Clock::now() + kStartTimeout;
    while (Clock::now() < deadline) {
      ToolRun status = RunProgram({LPSTAT_EXECUTABLE, "-r"});
      if (status.exited && status.status == 0 &&
          status.out.find("is running") != std::string::npos) {
        return "";
      }
      int wstatus = 0;
      if (waitpid(pid_, &wstatus, WNOHANG) == pid_) {
        return "cupsd ended at start:\n" + ErrorLog();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "cupsd did not answer within the start timeout:\n" + ErrorLog();
  }

  ipp_jstate_t JobState(int id) const {
    http_t* http = httpConnect2(socket().c_str(), 0, nullptr, AF_LOCAL, HTTP_ENCRYPTION_NEVER, 1,
                                5000, nullptr);
    if (!http) return static_cast<ipp_jstate_t>(0);
    cups_job_t* jobs = nullptr;
    int count = cupsGetJobs2(http, &jobs, kQueue, 0, CUPS_WHICHJOBS_ALL);
    ipp_jstate_t state = static_cast<ipp_jstate_t>(0);
    for (int i = 0; i < count; ++i) {
      if (jobs[i].id == id) state = jobs[i].state;
    }
    cupsFreeJobs(count, jobs);
    httpClose(http);
    return state;
  }

  ScratchDir dir_;
  std::string root_;
  pid_t pid_ = -1;
};

struct QueueCase {
  const char* name;
  std::string input;                // a path
  std::vector<std::string> lp;      // lp options
  std::vector<std::string> direct;  // copies and options for a run of the filter by hand
  int pages;                        // 0: as many as the run by hand gives
  uint8_t mediaSize;                // PCL XL enumeration: 0 Letter, 2 A4
  int copies;
};

// The job id from lp's "request id is fndl-7 (1 file(s))".
int Submit(const QueueCase& c, std::string& out) {
  std::vector<std::string> argv = {LP_EXECUTABLE, "-d", kQueue};
  argv.insert(argv.end(), c.lp.begin(), c.lp.end());
  argv.push_back(c.input);
  ToolRun run = RunProgram(argv);
  out = run.out + run.err;
  size_t at = run.out.find(std::string("request id is ") + kQueue + "-");
  if (!run.exited || run.status != 0 || at == std::string::npos) return 0;
  return std::atoi(run.out.c_str() + at + std::strlen("request id is ") + std::strlen(kQueue) + 1);
}

// Every character of the text, white space left out (lines break at spaces, tabs become
// spaces, line ends are not printed).
std::u16string Printable(const std::u16string& text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c != u' ' && c != u'\n' && c != u'\r' && c != u'\t') out.push_back(c);
  }
  return out;
}

std::u16string PrintedText(const Job& job) {
  std::u16string text;
  for (const XlOperator& op : job.ops) {
    const XlAttribute* data = op.Find(Attribute::TextData);
    if (op.tag != Operator::Text || !data) continue;
    for (uint32_t i = 0; i < data->value.count; ++i) {
      text.push_back(static_cast<char16_t>(data->value.Element(i)));
    }
  }
  return Printable(text);
}

// The job's pages as CUPS counted them in its page log: "fndl root 7 [date zone] total 11 ...".
int LoggedPages(const std::string& pageLog, int id) {
  std::istringstream lines(pageLog);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string queue, user, job, date, zone, total;
    int pages = -1;
    fields >> queue >> user >> job >> date >> zone >> total >> pages;
    if (queue == kQueue && job == std::to_string(id) && total == "total") return pages;
  }
  return -1;
}

void ExpectPrinted(const Scheduler& cups, const QueueCase& c, int id, const std::string& output) {
  Job job;
  ReadJob(output, job);
  ASSERT_TRUE(job.complete) << job.error;
  EXPECT_TRUE(job.endedWithUniversalExit);
  size_t pages = job.Count(Operator::BeginPage);
  EXPECT_EQ(pages, job.Count(Operator::EndPage));
  if (c.pages > 0) {
    EXPECT_EQ(pages, static_cast<size_t>(c.pages));
  }
  EXPECT_EQ(LoggedPages(cups.PageLog(), id), static_cast<int>(pages));
  for (const XlOperator& op : job.ops) {
    const XlAttribute* media = op.Find(Attribute::MediaSize);
    if (op.tag == Operator::BeginPage && media) {
      EXPECT_EQ(media->value.number[0], c.mediaSize);
    }
  }
  std::u16string input = Printable(Utf8ToUtf16(Slurp(c.input)));
  std::u16string expected;
  for (int i = 0; i < c.copies; ++i) expected += input;
  EXPECT_EQ(Utf16ToUtf8(PrintedText(job)), Utf16ToUtf8(expected));
  EXPECT_TRUE(job.fonts.fonts().empty()) << "fonts left on the printer";
  EXPECT_EQ(job.fonts.removals(), job.fonts.history().size());

  // What the queue wrote is what the filter writes when run by hand with the same PPD.
  setenv("PPD", cups.Path("etc/ppd/fndl.ppd").c_str(), 1);
  std::vector<std::string> argv = {cups.serverBin() + "/filter/" TAVRFNDL_FILTER_NAME, "1", "user",
                                   "title"};
  argv.insert(argv.end(), c.direct.begin(), c.direct.end());
  argv.push_back(c.input);
  ToolRun direct = RunProgram(argv);
  unsetenv("PPD");
  ASSERT_EQ(direct.status, 0) << direct.err;
  EXPECT_TRUE(direct.out == Slurp(output)) << "the queue's job differs from the filter's own";
}

TEST(CupsQueue, JobsPrintThroughTheFilter) {
  if (access(CUPSD_EXECUTABLE, X_OK) != 0 || access(LP_EXECUTABLE, X_OK) != 0) {
    GTEST_SKIP() << "cupsd or lp is missing (Debian packages cups-daemon, cups-client)";
  }
  Scheduler cups;
  std::string started = cups.Start();
  ASSERT_EQ(started, "");
  std::string output = cups.Path("out/job.pxl");
  // The PPD by its model name where CUPS's driver lister is installed (Debian package cups),
  // which finds it where the install put it; by its path otherwise.
  bool lister = access(CUPS_SYSTEM_SERVERBIN "/daemon/cups-driverd", X_OK) == 0;
  ToolRun added =
      RunProgram({LPADMIN_EXECUTABLE, "-p", kQueue, "-E", "-v", "file://" + output,
                  lister ? "-m" : "-P", lister ? "tavrfndl/tavrfndl-pclxl.ppd" : cups.ppd(), "-o",
                  "printer-error-policy=abort-job", "-o", "PageSize=A4"});
  ASSERT_EQ(added.status, 0) << added.err;

  std::string ascii = cups.Path("ascii.txt"), utf8 = cups.Path("utf8.txt"),
              empty = cups.Path("empty.txt"), notAFont = cups.Path("notafont.ttf");
  WriteText(ascii, "Plain ASCII text.\nA second line, and a third:\n\n\tindented.\n");
  WriteText(utf8,
            "Café naïve à la française, Ærøskøbing.\nΑλφα βητα γαμμα δελτα.\n"
            "Привет, мир! Съешь же ещё этих булок.\n日本語のテキストを印刷します。\n");
  WriteText(empty, "");
  WriteText(notAFont, "This is plain text, not a font.\n");
  std::string gpl = "/usr/share/common-licenses/GPL-3";

  const QueueCase printed[] = {
      {"ASCII", ascii, {}, {"1", ""}, 1, 2, 1},
      {"GPL-3", gpl, {}, {"1", ""}, 0, 2, 1},
      {"UTF-8 in four scripts",
       utf8,
       {"-o", "FontFace=IPAGothic"},
       {"1", "FontFace=IPAGothic"},
       1,
       2,
       1},
      {"two copies", ascii, {"-n", "2"}, {"2", ""}, 2, 2, 2},
      {"Letter", ascii, {"-o", "media=Letter"}, {"1", "media=Letter"}, 1, 0, 1},
  };
  for (const QueueCase& c : printed) {
    SCOPED_TRACE(c.name);
    std::remove(output.c_str());
    std::string said;
    int id = Submit(c, said);
    ASSERT_GT(id, 0) << said;
    EXPECT_EQ(cups.WaitForJob(id), IPP_JSTATE_COMPLETED) << cups.ErrorLog();
    ExpectPrinted(cups, c, id, output);
  }

  {
    SCOPED_TRACE("empty file");
    std::remove(output.c_str());
    std::string said;
    EXPECT_EQ(Submit({"empty", empty, {}, {}, 0, 2, 1}, said), 0) << said;
    EXPECT_FALSE(Exists(output));
  }
  {
    SCOPED_TRACE("a font that is no font");
    std::remove(output.c_str());
    std::string said;
    int id = Submit({"bad font", ascii, {"-o", "FontFace=" + notAFont}, {}, 0, 2, 1}, said);
    ASSERT_GT(id, 0) << said;
    ipp_jstate_t state = cups.WaitForJob(id);
    EXPECT_TRUE(state == IPP_JSTATE_ABORTED || state == IPP_JSTATE_STOPPED) << state;
    std::string log = cups.ErrorLog();
    std::string line = "] [Job " + std::to_string(id) + "] " + notAFont + " is not a TrueType";
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_TRUE(!Exists(output) || ReadBytes(output).empty()) << "a failed job left output";
  }
}

// What a run of the filter by hand gave: the first page's paper, the first two lines' positions,
// the first selection, boldness and the text.
struct Settings {
  double media = -1, x = -1, y = -1, nextY = -1, charSize = -1;
  std::string font;
  bool bold = false;
  std::string text;
};

Settings SettingsOf(const Job& job) {
  Settings s;
  std::vector<const XlAttribute*> points;
  for (const XlOperator& op : job.ops) {
    const XlAttribute* media = op.Find(Attribute::MediaSize);
    if (op.tag == Operator::BeginPage && media && s.media < 0) s.media = media->value.number[0];
    if (op.tag == Operator::SetCursor && op.Find(Attribute::Point))
      points.push_back(op.Find(Attribute::Point));
    if (op.tag == Operator::SetFont && s.font.empty()) {
      s.font = FontNameOf(op);
      s.charSize = op.Find(Attribute::CharSize)->value.number[0];
    }
    const XlAttribute* bold = op.Find(Attribute::CharBoldValue);
    if (op.tag == Operator::SetCharBoldValue && bold && bold->value.number[0] > 0) s.bold = true;
  }
  if (points.size() >= 2) {
    s.x = points[0]->value.number[0];
    s.y = points[0]->value.number[1];
    s.nextY = points[1]->value.number[1];
  }
  s.text = Utf16ToUtf8(PrintedText(job));
  return s;
}

TEST(CupsFilter, JobAndPpdOptionsReachTheJob) {
  ScratchDir dir;
  std::string input = dir.Path("in.txt");
  struct Case {
    const char* options;
    const char* charset;  // CHARSET, as cupsd sets it
    std::string text;
    void (*check)(const Settings&);
  } cases[] = {
      // The PPD's defaults: A4, DejaVu Sans 10 pt, margins of a quarter inch (150 units).
      {"", nullptr, "One line.\nTwo lines.\n",
       [](const Settings& s) {
         EXPECT_EQ(s.media, 2);
         EXPECT_EQ(s.font, "OT:1:DejaVu Sans:n");
         EXPECT_EQ(s.charSize, 83);
         EXPECT_EQ(s.x, 150);
         EXPECT_EQ(s.y, 150 + 83);
         EXPECT_EQ(s.nextY - s.y, 99);  // 1.2 times the size
         EXPECT_FALSE(s.bold);
       }},
      {"PageSize=Legal FontFace=DejaVuSerif FontSize=12 Bold=True LinesPerInch=8", nullptr,
       "One line.\nTwo lines.\n",
       [](const Settings& s) {
         EXPECT_EQ(s.media, 1);
         EXPECT_EQ(s.font, "OT:1:DejaVu Serif:n");
         EXPECT_EQ(s.charSize, 100);
         EXPECT_EQ(s.nextY - s.y, 75);
         EXPECT_TRUE(s.bold);
       }},
      {"media=Letter page-left=72 page-top=36 lpi=6 FontSize=9.5", nullptr, "A\nB\n",
       [](const Settings& s) {
         EXPECT_EQ(s.media, 0);
         EXPECT_EQ(s.x, 600);
         EXPECT_EQ(s.y, 300 + 79);
         EXPECT_EQ(s.nextY - s.y, 100);
       }},
      {"", "iso-8859-1", "caf\xe9 \xc0 la carte\n",
       [](const Settings& s) { EXPECT_EQ(s.text, "caféÀlacarte"); }},
  };
  std::string filter = CUPS_FILTER_EXECUTABLE;
  setenv("PPD", CUPS_FILTER_PPD, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    WriteText(input, c.text);
    if (c.charset) setenv("CHARSET", c.charset, 1);
    ToolRun run = RunProgram({filter, "1", "user", "title", "1", c.options, input});
    unsetenv("CHARSET");
    ASSERT_EQ(run.status, 0) << run.err;
    Job job;
    ReadJobBytes(std::vector<uint8_t>(run.out.begin(), run.out.end()), job);
    ASSERT_TRUE(job.complete) << job.error;
    c.check(SettingsOf(job));
  }
  unsetenv("PPD");
}

TEST(CupsFilter, BadSettingsFailWithAnErrorAndNoJob) {
  ScratchDir dir;
  std::string input = dir.Path("in.txt");
  WriteText(input, "Some text.\n");
  struct Case {
    std::vector<std::string> args;  // copies, options
    const char* charset;
    const char* message;
  } cases[] = {
      {{"0", ""}, nullptr, "ERROR: copies must be"},
      {{"1", "FontSize=large"}, nullptr, "ERROR: FontSize must be"},
      {{"1", "lpi=0"}, nullptr, "ERROR: lines per inch must be"},
      {{"1", "page-left=-5"}, nullptr, "ERROR: page-left must be"},
      {{"1", "FontFace=" + dir.Path("missing.ttf")}, nullptr, "ERROR: font file not found"},
      {{"1", ""}, "x-no-such-charset", "ERROR: the character set \"x-no-such-charset\""},
  };
  setenv("PPD", CUPS_FILTER_PPD, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    if (c.charset) setenv("CHARSET", c.charset, 1);
    ToolRun run =
        RunProgram({CUPS_FILTER_EXECUTABLE, "1", "user", "title", c.args[0], c.args[1], input});
    unsetenv("CHARSET");
    ASSERT_TRUE(run.exited);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  unsetenv("PPD");
}

}  // namespace
}  // namespace fndl::test

#endif
