#pragma once

#include <QString>
#include <functional>

class QWidget;

// Message boxes and file dialogs of the program.
namespace gui {

// Message boxes of the library, the plug-in and the pages become Qt message boxes with an OK
// button, over the window the user is looking at. One raised on another thread is posted: that
// thread never waits for the box.
void InstallMessageBoxHook();
// From now on the hook prints each box's text on standard error instead: the program is ending
// on a signal and nobody may be there to click OK.
void ShowBoxesOnStandardError();

// Yes/No with a warning icon; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// While installed, answers AskYesNo in place of the box (tests script the user's answers); an
// empty hook brings the box back. Returns the previous hook.
using QuestionHook = std::function<bool(const QString& text)>;
QuestionHook SetQuestionHook(QuestionHook hook);

// The plug-in's file dialog filter: the platform's plug-in suffix ("dll 파일(*.so)").
QString PluginFilter();
// "&Add"'s filter, every file ("binary 파일(*)"): "*.*" would hide the many images that have
// no extension here.
QString ImageFilter();
// The ROM images' filter, both kinds a ROM copy writes ("binary 파일(*.bin *.fls)"): a dialog
// takes its patterns from the text it shows.
QString RomImageFilter();

}  // namespace gui
