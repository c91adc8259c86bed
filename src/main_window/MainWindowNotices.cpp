#include "main_window/MainWindow.h"

#include "base/MessageSeam.h"

bool MainWindow::askAboutMissedNotices() {
    using namespace MessageSeam;
    Box box{QStringLiteral("未通知のメッセージがあります。\r\n表示しますか？"),
            QStringLiteral("確認"), Buttons::YesNo, Icon::None, Answer::Yes};
    box.guardKeys = true; // it comes up at start-up, or at any minute, while the user types
    return MessageSeam::show(box) == Answer::Yes;
}
