#include <QProcess>

#include <gtest/gtest.h>

namespace {

TEST(ShutdownTest, ClosingTheMainWindowEndsTheProgramWhileAWorkerWaits) {
  QProcess program;
  program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  program.start(QStringLiteral(MELODRIN_SHUTDOWN_HELPER), {});
  ASSERT_TRUE(program.waitForStarted(30000));
  // A generous bound against a hang; how fast it ends is the benchmark's business.
  ASSERT_TRUE(program.waitForFinished(60000)) << "the program did not end";
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_TRUE(program.readAllStandardOutput().contains("worker running"));
}

}  // namespace
