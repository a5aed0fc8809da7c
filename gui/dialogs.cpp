#include "gui/dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <atomic>
#include <cstdio>

#include "corvane/platform/message_box.h"
#include "corvane/platform/shared_library.h"
#include "host/resources.h"

namespace gui {
namespace {

QuestionHook& Questions() {
  static QuestionHook hook;
  return hook;
}

}  // namespace

// The window the user is looking at: the download window while it runs (the sheet is hidden
// then), else the sheet. A box with a parent is never the "last window" whose closing would end
// the program.
QWidget* BoxParent() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && window->isWindow()) return window;
  }
  return nullptr;
}

std::atomic<bool> g_unattended{false};

void InstallMessageBoxHook() {
  platform::SetMessageBoxHook([](const std::string& text, const std::string& caption) {
    if (g_unattended.load()) {
      std::fprintf(stderr, "%s\n", text.c_str());
      return;
    }
    const QString title = QString::fromUtf8(caption.empty() ? ProgramString(102) : caption);
    const QString body = QString::fromUtf8(text);
    const auto show = [title, body] { QMessageBox::information(BoxParent(), title, body); };
    if (QThread::currentThread() == qApp->thread()) return show();
    // A box raised on another thread is posted and the thread goes on: the GUI thread may be
    // waiting for that very thread (a page joining its image reader), and a worker that waited
    // for the box would then wait for ever.
    QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
  });
}

void ShowBoxesOnStandardError() { g_unattended.store(true); }

bool AskYesNo(QWidget* parent, const QString& text) {
  if (Questions()) return Questions()(text);
  return QMessageBox::warning(parent, QString::fromUtf8(ProgramString(102)), text,
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QuestionHook SetQuestionHook(QuestionHook hook) {
  QuestionHook previous = std::move(Questions());
  Questions() = std::move(hook);
  return previous;
}

QString PluginFilter() { return QString::fromUtf8("dll 파일(*" CORVANE_LIBRARY_SUFFIX ")"); }

QString ImageFilter() { return QString::fromUtf8("binary 파일(*)"); }

QString RomImageFilter() { return QString::fromUtf8("binary 파일(*.bin *.fls)"); }

}  // namespace gui
