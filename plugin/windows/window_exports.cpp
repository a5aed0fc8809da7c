// The status-window entry points: opening a port's window inside the host's window, and the
// four-slot table through which the host reaches the rest.
//
// The open windows (in creation order) and the window created last are shared by every caller
// and guarded by one mutex. Windows are made, shown and deleted on the host's GUI thread.

#include <QWidget>
#include <algorithm>
#include <mutex>
#include <vector>

#include "corvane/plugin/exports.h"
#include "plugin/windows/status_window.h"

namespace {

std::mutex g_windowsLock;
std::vector<CStatusDlg*> g_windows;
CStatusDlg* g_lastWindow = nullptr;

int OpenWindow(StatusInputs inputs, void* parent, int left, int top, int width, int height) {
  const std::lock_guard<std::mutex> guard(g_windowsLock);
  auto* widget = static_cast<QWidget*>(parent);
  auto* window = new CStatusDlg(std::move(inputs), widget);
  g_lastWindow = window;
  g_windows.push_back(window);
  window->setGeometry(left, top, width, height);
  window->show();
  window->setFocus();
  window->Start(widget != nullptr);
  return 1;
}

// Hidden at once; deleted once control is back in the event loop, since the host usually calls
// this from inside the window's own "Window Close" handler. The run is stopped here, so the
// window's worker has ended when this returns.
int CloseStatusWindow(void* object) {
  auto* window = static_cast<CStatusDlg*>(object);
  {
    const std::lock_guard<std::mutex> guard(g_windowsLock);
    const auto it = std::find(g_windows.begin(), g_windows.end(), window);
    if (it == g_windows.end()) return 1;  // not one of ours, or closed already
    g_windows.erase(it);
    if (g_lastWindow == window) g_lastWindow = nullptr;
  }
  window->hide();
  window->Stop();
  window->deleteLater();
  return 1;
}

const char* ModelName() { return "TQ4410"; }

void* LastStatusWindow() {
  const std::lock_guard<std::mutex> guard(g_windowsLock);
  return g_lastWindow;
}

template <typename Fn>
void (*Slot(Fn fn))() {
  return reinterpret_cast<void (*)()>(fn);
}

}  // namespace

extern "C" {

int ExecuteFunction(platform::WindowHandle host, void* parent, const std::string* first,
                    const std::string* second, int port, int left, int top, int width, int height,
                    uint32_t options) {
  StatusInputs inputs;
  inputs.host = host;
  inputs.port = port & 0xFF;
  inputs.options = options;
  inputs.factory = true;
  if (first != nullptr) inputs.first = *first;
  if (second != nullptr) inputs.second = *second;
  return OpenWindow(std::move(inputs), parent, left, top, width, height);
}

int DoDLExecuteFunction(platform::WindowHandle host, void* parent, uint8_t** images, int count,
                        const std::vector<std::string>* paths, int port, int left, int top,
                        int width, int height, uint32_t options) {
  StatusInputs inputs;
  inputs.host = host;
  inputs.port = port & 0xFF;
  inputs.options = options;
  if (images != nullptr && count > 0) inputs.images.assign(images, images + count);
  if (paths != nullptr) inputs.paths = *paths;
  return OpenWindow(std::move(inputs), parent, left, top, width, height);
}

int _A111(void (**table)(), int mode) {
  if (table == nullptr) return 0;
  if (mode == 1) table[0] = Slot(&DoDLExecuteFunction);
  if (mode == 2) table[0] = Slot(&ExecuteFunction);
  table[1] = Slot(&CloseStatusWindow);
  table[2] = Slot(&ModelName);
  table[3] = Slot(&LastStatusWindow);
  return 1;
}

}  // extern "C"
