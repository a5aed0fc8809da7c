#include "gui/dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "corvane/platform/message_box.h"
#include "host/resources.h"

namespace gui {
namespace {

QuestionHook& Questions() {
  static QuestionHook hook;
  return hook;
}

}  // namespace

void InstallMessageBoxHook() {
  platform::SetMessageBoxHook([](const std::string& text, const std::string& caption) {
    const QString title = QString::fromUtf8(caption.empty() ? ProgramString(102) : caption);
    const QString body = QString::fromUtf8(text);
    const auto show = [title, body] {
      QMessageBox::information(QApplication::activeWindow(), title, body);
    };
    // A box raised on a worker thread is shown by the GUI thread while the worker waits.
    if (QThread::currentThread() == qApp->thread()) return show();
    QMetaObject::invokeMethod(qApp, show, Qt::BlockingQueuedConnection);
  });
}

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

QString PluginFilter() { return QString::fromUtf8("dll 파일(*.so)"); }

QString ImageFilter() { return QString::fromUtf8("binary 파일(*)"); }

QString RomImageFilter() { return QString::fromUtf8("binary 파일(*.bin *.fls)"); }

}  // namespace gui
