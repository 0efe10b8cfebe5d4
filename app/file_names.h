// File names that come from the network.
#pragma once

#include <QString>

namespace melodrin {

// title + ".mp3", with path separators, control characters and the
// characters common file systems refuse turned into "_", and cut to the
// 255 bytes a file name may have.
QString proposed_file_name(const QString& title);

}  // namespace melodrin
