// The desktop services the program uses, behind an interface so tests can
// record what would be opened.
#pragma once

#include <memory>

#include <QString>

namespace melodrin {

class Shell {
 public:
  virtual ~Shell() = default;

  // Opens an address in the user's default web browser; failures are not told.
  virtual void open_address(const QString& address) = 0;
  // The user's desktop folder ending with "/"; "" when the system cannot tell.
  virtual QString desktop_folder() const = 0;

  static std::unique_ptr<Shell> system();
};

}  // namespace melodrin
