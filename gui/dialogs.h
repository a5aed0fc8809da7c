#pragma once

#include <QString>

class QWidget;

// Message boxes and file dialogs of the program.
namespace gui {

// Message boxes of the library, the plug-in and the pages become Qt message boxes with an OK
// button, over the window that is active.
void InstallMessageBoxHook();

// Yes/No with a warning icon; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// The plug-in's file dialog filter: the platform's plug-in suffix ("dll 파일(*.so)").
QString PluginFilter();

}  // namespace gui
