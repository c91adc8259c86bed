#include "base/MessageSeam.h"

#include <cstdio>

namespace MessageSeam {
namespace {
Handler &handler() {
    static Handler h;
    return h;
}
int g_open = 0;
} // namespace

int openBoxes() {
    return g_open;
}

Answer show(const Box &box) {
    if (handler()) {
        struct Open {
            Open() { ++g_open; }
            ~Open() { --g_open; }
        } open;
        return handler()(box);
    }
    std::fprintf(stderr, "[%s] %s\n", qUtf8Printable(box.title), qUtf8Printable(box.text));
    return box.defaultAnswer;
}

Handler setHandler(Handler h) {
    Handler old = std::move(handler());
    handler() = std::move(h);
    return old;
}

void okBox(const QString &text, const QString &title) {
    show(Box{text, title, Buttons::Ok, Icon::None, Answer::Ok, false});
}

bool yesNo(const QString &text, const QString &title, Answer defaultAnswer) {
    return show(Box{text, title, Buttons::YesNo, Icon::None, defaultAnswer, false}) == Answer::Yes;
}

} // namespace MessageSeam
