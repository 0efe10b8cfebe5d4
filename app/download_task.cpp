#include "app/download_task.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QProgressDialog>
#include <QSaveFile>

#include "text/codepage.h"

namespace melodrin {
namespace {

QString size_text(std::uint64_t bytes) {
  return QLocale::system().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
}

}  // namespace

QString DownloadResult::message(const QString& target) const {
  switch (kind) {
    case Kind::saved:
    case Kind::cancelled:
      return {};
    case Kind::transport:
      return QStringLiteral("下载失败：无法从服务器取得文件。\n原因：%1").arg(detail);
    case Kind::status:
      return QStringLiteral("下载失败：服务器答复 HTTP %1，没有送来音频文件。").arg(detail);
    case Kind::incomplete:
      return QStringLiteral("下载失败：文件没有下载完整（收到 %1 字节，应有 %2 字节）。")
          .arg(received)
          .arg(total);
    case Kind::no_thread:
      return QStringLiteral("下载失败：系统无法开始下载。\n原因：%1").arg(detail);
    case Kind::write:
      return QStringLiteral("下载失败：无法写入文件“%1”。\n原因：%2").arg(target, detail);
  }
  return {};
}

DownloadTask::DownloadTask(DownloadFetch fetch, Text url, QString target)
    : m_fetch(std::move(fetch)), m_url(std::move(url)), m_target(std::move(target)) {}

DownloadResult DownloadTask::fetch_into_file(const std::function<void(std::uint64_t, std::int64_t)>& report,
                                             const std::function<bool()>& cancelled) {
  DownloadResult result;
  // The body goes to a temporary file beside the target; the target is
  // replaced only by commit().
  QSaveFile file(m_target);
  if (!file.open(QIODevice::WriteOnly)) {
    result.kind = DownloadResult::Kind::write;
    result.detail = file.errorString();
    return result;
  }

  bool write_failed = false;
  FetchCallbacks callbacks;
  callbacks.body = [&](const char* data, std::size_t size) {
    if (file.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size)) {
      write_failed = true;
      return false;
    }
    result.received += size;
    report(result.received, result.total);
    return !cancelled();
  };
  callbacks.progress = [&](std::uint64_t, std::int64_t total) {
    if (total >= 0) result.total = total;
    report(result.received, result.total);
    return !cancelled();
  };
  const FetchOutcome outcome = m_fetch(m_url, callbacks);

  using Kind = DownloadResult::Kind;
  if (write_failed) {
    result.kind = Kind::write;
    result.detail = file.errorString();
  } else if (cancelled() || outcome.failure == FetchOutcome::Failure::cancelled ||
             outcome.failure == FetchOutcome::Failure::sink) {
    result.kind = Kind::cancelled;
  } else if (outcome.failure == FetchOutcome::Failure::transport) {
    result.kind = Kind::transport;
    result.detail = to_qstring(outcome.detail);
  } else if (outcome.status < 200 || outcome.status > 299) {
    result.kind = Kind::status;
    result.detail = QString::number(outcome.status);
  } else if (result.total >= 0 && result.received != static_cast<std::uint64_t>(result.total)) {
    result.kind = Kind::incomplete;
  } else if (!file.commit()) {
    result.kind = Kind::write;
    result.detail = file.errorString();
  }
  // An uncommitted QSaveFile removes its temporary file when it goes.
  return result;
}

DownloadResult DownloadTask::run(QWidget* owner) {
  QProgressDialog dialog(owner);
  dialog.setWindowTitle(QStringLiteral("下载"));
  dialog.setCancelButtonText(QStringLiteral("取消"));
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(0);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  dialog.setRange(0, 0);
  dialog.setMinimumWidth(360);
  const QString name = QFileInfo(m_target).fileName();
  dialog.setLabelText(QStringLiteral("正在下载“%1”……").arg(name));

  std::atomic<bool> cancel{false};
  QObject::connect(&dialog, &QProgressDialog::canceled, [&cancel] { cancel = true; });

  // The fetch thread keeps only the latest figures; the dialog takes them
  // at its own pace, so a fast body does not flood the event queue.
  std::mutex figures_mutex;
  std::uint64_t received = 0;
  std::int64_t total = -1;
  bool update_pending = false;
  // setValue() of a modal dialog handles events, and with them the next
  // update: that one is left to the running call, so the label never falls
  // behind the bar.
  bool showing = false;
  bool show_again = false;
  auto show_figures = [&] {
    if (showing) {
      show_again = true;
      return;
    }
    showing = true;
    do {
      show_again = false;
      std::uint64_t now_received;
      std::int64_t now_total;
      {
        std::lock_guard lock(figures_mutex);
        now_received = received;
        now_total = total;
        update_pending = false;
      }
      if (dialog.wasCanceled()) break;
      QString figures = size_text(now_received);
      if (now_total > 0) {
        figures += QStringLiteral(" / ") + size_text(static_cast<std::uint64_t>(now_total));
        dialog.setRange(0, 1000);
        dialog.setValue(static_cast<int>(std::min<std::uint64_t>(now_received, now_total) * 1000 / now_total));
      }
      dialog.setLabelText(QStringLiteral("正在下载“%1”……\n%2").arg(name, figures));
    } while (show_again);
    showing = false;
  };
  auto report = [&](std::uint64_t now_received, std::int64_t now_total) {
    std::lock_guard lock(figures_mutex);
    received = now_received;
    total = now_total;
    if (update_pending) return;
    update_pending = true;
    QMetaObject::invokeMethod(&dialog, show_figures, Qt::QueuedConnection);
  };

  dialog.show();
  QEventLoop loop;
  DownloadResult result;
  std::thread fetcher;
  try {
    fetcher = std::thread([&] {
      result = fetch_into_file(report, [&cancel] { return cancel.load(); });
      QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
  } catch (const std::system_error& error) {
    dialog.hide();
    result.kind = DownloadResult::Kind::no_thread;
    result.detail = QString::fromLocal8Bit(error.what());
    return result;
  }
  loop.exec();
  // The loop also ends when the program quits; the fetch then stops at its
  // next callback.
  cancel = true;
  fetcher.join();
  dialog.hide();
  return result;
}

}  // namespace melodrin
