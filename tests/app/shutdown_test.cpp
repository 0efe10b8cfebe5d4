#include <vector>

#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct HelperRun {
  QProcess::ExitStatus status;
  int code;
  QByteArray output;
  QList<QByteArray> lines;
};

HelperRun run_helper(const QStringList& arguments) {
  QProcess program;
  program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  program.start(QStringLiteral(MELODRIN_SHUTDOWN_HELPER), arguments);
  EXPECT_TRUE(program.waitForStarted(30000));
  // A generous bound against a hang; how fast it ends is the benchmark's business.
  EXPECT_TRUE(program.waitForFinished(60000)) << "the program did not end";
  if (program.state() != QProcess::NotRunning) {
    program.kill();
    program.waitForFinished(10000);
  }
  HelperRun run{program.exitStatus(), program.exitCode(), program.readAllStandardOutput(), {}};
  run.lines = run.output.split('\n');
  return run;
}

TEST(ShutdownTest, ClosingTheMainWindowEndsTheProgramWhileAWorkerWaits) {
  const HelperRun run = run_helper({});
  EXPECT_EQ(run.status, QProcess::NormalExit);
  EXPECT_EQ(run.code, 0);
  EXPECT_TRUE(run.output.contains("worker running"));
  // The exit hook has released both texts by the end of the event loop.
  EXPECT_TRUE(run.lines.contains(
      "before quit: captured=[https://127.0.0.1:1/yy/index.php?r=1] picked=[https://127.0.0.1:1/song/1]"))
      << run.output.toStdString();
  EXPECT_TRUE(run.lines.contains("after quit: captured=[] picked=[]")) << run.output.toStdString();
}

TEST(ShutdownTest, NothingOfTheProgramOutlivesItsEnd) {
  struct Case {
    const char* mode;
    std::vector<const char*> told;  // lines the program prints
  };
  static const Case kCases[] = {
      // A worker that returns during the grace has ended its thread before
      // the program tears down, and no window lingers meanwhile.
      {"quick", {"worker running", "after quit: captured=[] picked=[]", "picker hidden", "worker thread ended"}},
      // However the event loop ends, the windows go before the grace.
      {"exit", {"worker running", "picker hidden", "main window hidden", "worker thread ended"}},
      // The exit hook goes with the program object.
      {"destroyed", {"quit after teardown"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.mode);
    const HelperRun run = run_helper({QString::fromUtf8(c.mode)});
    EXPECT_EQ(run.status, QProcess::NormalExit);
    EXPECT_EQ(run.code, 0);
    for (const char* line : c.told) EXPECT_TRUE(run.lines.contains(line)) << line << "\n" << run.output.toStdString();
  }
}

}  // namespace
