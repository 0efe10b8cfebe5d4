#include "app/ui_channel.h"

#include <QMetaObject>
#include <QObject>

namespace melodrin {

void UiChannel::post(std::function<void()> call) {
  std::lock_guard lock(m_mutex);
  if (!m_target) return;
  QMetaObject::invokeMethod(m_target, std::move(call), Qt::QueuedConnection);
}

void UiChannel::close() {
  std::lock_guard lock(m_mutex);
  m_target = nullptr;
}

}  // namespace melodrin
