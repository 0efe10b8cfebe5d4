// The two texts that the handlers share, each replaced whole by a copy.
#pragma once

#include "text/text.h"

namespace melodrin {

struct AppTexts {
  Text captured_api_url;  // the last API request seen in the main window's browser
  Text picked_page_url;   // the last address seen in the picker's browser

  // The exit hook: nothing of them outlives the program's run.
  void release() {
    Text().swap(captured_api_url);
    Text().swap(picked_page_url);
  }
};

}  // namespace melodrin
