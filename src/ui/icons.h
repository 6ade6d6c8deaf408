#pragma once
// The program's own images, drawn at run time: the image list of the menus
// and the tool bar (0 send, 1 options, 2 open, 3 save), the test-mail
// button and the window icon.
#include <QIcon>

namespace sendrix::ui {

enum class Image { Send = 0, Options = 1, Open = 2, Save = 3, TestMail, Program };

QIcon imageIcon(Image image);

}  // namespace sendrix::ui
