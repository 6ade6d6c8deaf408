// The Qt window as a module of its own: main() loads it only when a display
// is there, so an unattended run never loads Qt and its fifty libraries.
#include "ui/qt_application.h"

extern "C" __attribute__((visibility("default"))) int sendrix_run_window(int* argc, char** argv) {
    return sendrix::ui::runQtApplication(*argc, argv);
}
