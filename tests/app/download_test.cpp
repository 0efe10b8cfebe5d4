#include <atomic>
#include <thread>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>

#include "app/file_names.h"
#include "app/save_dialog.h"
#include "tests/app/app_fixture.h"

namespace melodrin::testing {
namespace {

TEST(ProposedFileNameTest, KeepsTheTitleButNothingTheFileSystemRefuses) {
  struct Case {
    QString title;
    QString name;
  };
  const Case cases[] = {
      {QStringLiteral("abc"), QStringLiteral("abc.mp3")},
      {QString(), QStringLiteral(".mp3")},
      {QStringLiteral("周杰伦 - 晴天"), QStringLiteral("周杰伦 - 晴天.mp3")},
      {QStringLiteral("AC/DC - Back in Black"), QStringLiteral("AC_DC - Back in Black.mp3")},
      {QStringLiteral("../../.bashrc"), QStringLiteral(".._.._.bashrc.mp3")},
      {QStringLiteral("a\\b:c*d?e\"f<g>h|i"), QStringLiteral("a_b_c_d_e_f_g_h_i.mp3")},
      {QStringLiteral("line\nbreak\ttab"), QStringLiteral("line_break_tab.mp3")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title.toStdString());
    EXPECT_EQ(proposed_file_name(c.title), c.name);
  }
  // Cut to 255 bytes, whole characters only, suffix kept.
  const QString cut = proposed_file_name(QString(200, QChar(u'歌')));
  EXPECT_LE(cut.toUtf8().size(), 255);
  EXPECT_TRUE(cut.endsWith(QStringLiteral("歌.mp3")));
}

class DownloadTest : public AppTest {
 protected:
  QString target(const char* name = "song.mp3") const { return m_folder.filePath(QString::fromUtf8(name)); }

  void write_file(const QString& path, const std::string& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }

  // Only the target, never a temporary file, may be left in the folder.
  QStringList folder_entries() const { return QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden); }

  MainWindow& window_with(const QString& title, const std::string& address) {
    MainWindow& window = make_window();
    window.编辑框_audio_name()->setText(title);
    window.编辑框_下载地址()->setText(QString::fromStdString(address));
    return window;
  }

  void click_download(MainWindow& window) { QTest::mouseClick(window.按钮1(), Qt::LeftButton); }
};

std::string pattern_bytes(std::size_t n) {
  std::string bytes(n, '\0');
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

TEST_F(DownloadTest, SavesTheBodyByteForByteUnderTheProposedName) {
  m_save_dialog.answer = target("abc.mp3");
  MainWindow& window = window_with(QStringLiteral("abc"), server().http_url("/bytes?n=300000"));
  click_download(window);

  ASSERT_EQ(m_save_dialog.asked.size(), 1u);
  const SaveDialogSettings& asked = m_save_dialog.asked[0];
  EXPECT_EQ(asked.file_name, QStringLiteral("abc.mp3"));
  EXPECT_EQ(asked.initial_folder, m_shell.desktop);
  EXPECT_EQ(asked.filter, QStringLiteral("MP3文件 (*.mp3)"));
  EXPECT_EQ(asked.default_suffix, QStringLiteral("mp3"));
  EXPECT_TRUE(asked.confirm_overwrite);

  EXPECT_EQ(file_bytes(target("abc.mp3")), pattern_bytes(300000));
  EXPECT_EQ(folder_entries(), QStringList{QStringLiteral("abc.mp3")});
  ASSERT_EQ(m_messages.shown.size(), 1u);
  EXPECT_EQ(m_messages.shown[0].kind, "information");
  EXPECT_EQ(m_messages.shown[0].owner, nullptr);
  EXPECT_EQ(m_messages.shown[0].caption, QStringLiteral("信息："));
  EXPECT_EQ(m_messages.shown[0].text, QStringLiteral("下载完成！！！"));
  // The confirmed path is the dialog's file name until the next click.
  EXPECT_EQ(window.save_dialog_settings().file_name, target("abc.mp3"));
}

TEST_F(DownloadTest, ReplacesAnExistingFileOnlyWithAWholeBody) {
  write_file(target(), "old bytes");
  m_save_dialog.answer = target();
  MainWindow& window = window_with(QStringLiteral("t"), server().http_url("/hello"));
  click_download(window);
  EXPECT_EQ(file_bytes(target()), std::string("hello"));
  EXPECT_EQ(folder_entries(), QStringList{QStringLiteral("song.mp3")});
}

TEST_F(DownloadTest, CancellingTheDialogFetchesAndShowsNothing) {
  m_save_dialog.answer = std::nullopt;
  MainWindow& window = window_with(QStringLiteral("abc"), server().http_url("/bytes?n=10"));
  click_download(window);
  EXPECT_EQ(m_save_dialog.asked.size(), 1u);
  EXPECT_TRUE(server().requests_to("/bytes").empty());
  EXPECT_TRUE(m_messages.shown.empty());
  EXPECT_TRUE(folder_entries().isEmpty());
}

TEST_F(DownloadTest, WithoutAnAddressItSaysSoAndCreatesNoFile) {
  m_save_dialog.answer = target();
  MainWindow& window = window_with(QStringLiteral("abc"), "");
  click_download(window);
  EXPECT_TRUE(m_save_dialog.asked.empty());
  ASSERT_EQ(m_messages.shown.size(), 1u);
  EXPECT_EQ(m_messages.shown[0].kind, "warning");
  EXPECT_NE(m_messages.shown[0].text, QStringLiteral("下载完成！！！"));
  EXPECT_TRUE(folder_entries().isEmpty());
}

TEST_F(DownloadTest, EachFailureIsToldAndLeavesTheExistingFileAsItWas) {
  struct Case {
    const char* what;
    std::string address;
    QString target;
    QString message_part;
  };
  const Case cases[] = {
      {"error status", server().http_url("/404"), target(), QStringLiteral("404")},
      {"connection reset mid-body", server().http_url("/reset"), target(), QStringLiteral("原因")},
      {"nothing listens", "http://127.0.0.1:1/x.mp3", target(), QStringLiteral("原因")},
      {"folder missing", server().http_url("/hello"), m_folder.filePath(QStringLiteral("missing/song.mp3")),
       QStringLiteral("missing/song.mp3")},
  };
  write_file(target(), "precious");
  MainWindow& window = window_with(QStringLiteral("t"), "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    m_messages.shown.clear();
    m_save_dialog.answer = c.target;
    window.编辑框_下载地址()->setText(QString::fromStdString(c.address));
    click_download(window);
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_EQ(m_messages.shown[0].kind, "error");
    EXPECT_EQ(m_messages.shown[0].caption, QStringLiteral("错误"));
    EXPECT_TRUE(m_messages.shown[0].text.contains(c.message_part)) << m_messages.shown[0].text.toStdString();
    EXPECT_EQ(file_bytes(target()), std::string("precious"));
    EXPECT_EQ(folder_entries(), QStringList{QStringLiteral("song.mp3")});
  }
}

// A fetch that hands over one piece, then waits for the user.
struct HeldFetch {
  std::atomic<bool> first_piece_sent{false};
  DownloadFetch fetch() {
    return [this](const Text&, const FetchCallbacks& callbacks) {
      FetchOutcome outcome;
      outcome.status = 200;
      callbacks.progress(0, 1000);
      callbacks.body("0123456789", 10);
      first_piece_sent = true;
      while (callbacks.progress(10, 1000)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      outcome.failure = FetchOutcome::Failure::cancelled;
      return outcome;
    };
  }
};

TEST_F(DownloadTest, CancelInTheProgressDialogKeepsTheOldFileAndTellsNothing) {
  HeldFetch held;
  m_services.download_fetch = held.fetch();
  write_file(target(), "precious");
  m_save_dialog.answer = target();
  MainWindow& window = window_with(QStringLiteral("t"), "http://127.0.0.1:1/held.mp3");

  QString shown_figures;
  bool window_modal = false;
  // The progress dialog runs its own loop; act from inside it.
  std::function<void()> watch = [&] {
    auto* progress = window.findChild<QProgressDialog*>();
    if (progress && progress->isVisible() && held.first_piece_sent && progress->labelText().contains(QStringLiteral("/"))) {
      shown_figures = progress->labelText();
      window_modal = progress->windowModality() == Qt::WindowModal;
      QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
      return;
    }
    QTimer::singleShot(10, watch);
  };
  QTimer::singleShot(0, watch);
  click_download(window);

  EXPECT_TRUE(window_modal);
  EXPECT_TRUE(shown_figures.contains(QStringLiteral("10 字节")) || shown_figures.contains(QStringLiteral("10 bytes")))
      << shown_figures.toStdString();
  EXPECT_TRUE(m_messages.shown.empty());
  EXPECT_EQ(file_bytes(target()), std::string("precious"));
  EXPECT_EQ(folder_entries(), QStringList{QStringLiteral("song.mp3")});
}

// Waits on a worker thread, never on the UI thread.
bool spin_until(const std::atomic<bool>& flag) {
  for (int i = 0; i < 6000 && !flag; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return flag;
}

// Notes the dialog's last label when it goes.
struct LabelAtHide final : QObject {
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide) label = static_cast<QProgressDialog*>(watched)->labelText();
    return false;
  }
  QString label;
};

TEST_F(DownloadTest, TheFiguresShownAreTheLatestWhenOneArrivesDuringAnUpdate) {
  std::atomic<bool> watching{false}, in_update{false}, second_sent{false}, released{false};
  // A second piece comes while the dialog is busy showing the first.
  m_services.download_fetch = [&](const Text&, const FetchCallbacks& callbacks) {
    FetchOutcome outcome;
    outcome.status = 200;
    if (spin_until(watching)) {
      callbacks.progress(0, 1000);
      callbacks.body("0123456789", 10);
      spin_until(in_update);
      callbacks.body("abcdefghij", 10);
      second_sent = true;
      spin_until(released);
    }
    outcome.failure = FetchOutcome::Failure::transport;
    outcome.detail = "held";
    return outcome;
  };
  m_save_dialog.answer = target();
  MainWindow& window = window_with(QStringLiteral("t"), "http://127.0.0.1:1/held.mp3");

  LabelAtHide at_hide;
  bool update_done = false;
  std::function<void()> watch = [&] {
    if (update_done) {
      released = true;
      return;
    }
    auto* progress = window.findChild<QProgressDialog*>();
    if (progress && !watching) {
      progress->installEventFilter(&at_hide);
      // Runs inside the dialog's setValue() for the first piece.
      QObject::connect(progress->findChild<QProgressBar*>(), &QProgressBar::valueChanged, progress, [&](int value) {
        if (value != 10 || in_update) return;
        in_update = true;
        wait_until([&] { return second_sent.load(); });
        settle(20);
        update_done = true;
      });
      watching = true;
    }
    QTimer::singleShot(10, watch);
  };
  QTimer::singleShot(0, watch);
  click_download(window);

  ASSERT_TRUE(update_done);
  const QString figures = at_hide.label.section(QLatin1Char('\n'), 1);
  EXPECT_TRUE(figures.startsWith(QStringLiteral("20 "))) << at_hide.label.toStdString();
  EXPECT_TRUE(figures.contains(QStringLiteral(" / "))) << at_hide.label.toStdString();
}

TEST(SaveDialogTest, TheSystemDialogShowsTheSettingsAndReturnsTheChoice) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  SaveDialogSettings settings;
  settings.filter = QStringLiteral("MP3文件 (*.mp3)");
  settings.initial_folder = folder.path() + QLatin1Char('/');
  settings.file_name = QStringLiteral("abc.mp3");
  const QString proposed = folder.filePath(QStringLiteral("abc.mp3"));

  struct Case {
    const char* what;
    bool accept;
  };
  static const Case kCases[] = {{"cancelled", false}, {"confirmed", true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    bool seen = false;
    QStringList filters;
    QString suffix, directory;
    QStringList selected;
    bool saves = false, confirms_overwrite = false;
    int attempts = 0;
    std::function<void()> answer = [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) {
        if (++attempts < 3000) QTimer::singleShot(10, answer);
        return;
      }
      seen = true;
      filters = dialog->nameFilters();
      suffix = dialog->defaultSuffix();
      directory = dialog->directory().absolutePath();
      selected = dialog->selectedFiles();
      saves = dialog->acceptMode() == QFileDialog::AcceptSave;
      confirms_overwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
      // QFileDialog's own accept() checks the name, as the user's OK does.
      QDialog* box = dialog;
      if (c.accept) {
        box->accept();
      } else {
        box->reject();
      }
    };
    QTimer::singleShot(0, answer);
    const std::optional<QString> chosen = SaveDialog::system()->ask(nullptr, settings);

    ASSERT_TRUE(seen);
    EXPECT_EQ(filters, QStringList{QStringLiteral("MP3文件 (*.mp3)")});
    EXPECT_EQ(suffix, QStringLiteral("mp3"));
    EXPECT_TRUE(saves);
    EXPECT_TRUE(confirms_overwrite);
    EXPECT_EQ(directory, QDir(folder.path()).absolutePath());
    EXPECT_EQ(selected, QStringList{proposed});
    EXPECT_EQ(chosen, c.accept ? std::optional<QString>(proposed) : std::nullopt);
  }
}

}  // namespace
}  // namespace melodrin::testing
