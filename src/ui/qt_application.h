#pragma once
// The program with its window: used by main() when a display is there.

class QApplication;

namespace sendrix::ui {

// Loads Qt's own German texts ("&Ja", "&Nein", "Abbrechen", the file
// dialogs) from Debian's qtbase_de translation and installs them in
// `application`. False when the translation is not installed; Qt then
// speaks English.
bool installGermanQtTranslation(QApplication& application);

// Creates the application (title "Sendrix", Qt's own buttons in German),
// the main window model with the Qt interaction and the system clock, runs
// FormCreate, shows the window, runs FormShow and the message loop (closing
// runs FormClose) and returns the window model's exit status.
// `argv` holds the program name and the command-line arguments.
int runQtApplication(int& argc, char** argv);

}  // namespace sendrix::ui
