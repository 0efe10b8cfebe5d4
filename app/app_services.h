// What the windows are given: hosts, platform adapters, the request engines
// behind seams, and the shared state. The owner keeps all of it alive longer
// than the windows.
#pragma once

#include "app/download_task.h"
#include "app/endpoints.h"
#include "app/song_worker.h"

namespace melodrin {

class BrowserEngine;
class MessageBoxes;
class SaveDialog;
class Shell;
class WorkerPool;
struct AppTexts;

struct AppServices {
  Endpoints endpoints;
  MessageBoxes* messages = nullptr;
  Shell* shell = nullptr;
  SaveDialog* save_dialog = nullptr;
  BrowserEngine* engine = nullptr;
  WorkerPool* workers = nullptr;
  AppTexts* texts = nullptr;
  SongFetch song_fetch;
  DownloadFetch download_fetch;
};

}  // namespace melodrin
