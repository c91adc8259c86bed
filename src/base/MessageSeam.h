#pragma once

#include <QString>
#include <functional>

// Every message box of the program passes through here, so tests can answer them.
namespace MessageSeam {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Critical };
enum class Answer { Ok, Yes, No };

struct Box {
    QString text;
    QString title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    Answer defaultAnswer = Answer::Ok;
    bool foreground = false;
    // Keys typed just as the box comes up are meant for another program.
    bool guardKeys = false;
};

using Handler = std::function<Answer(const Box &)>;

Answer show(const Box &box);
// How many boxes are open now (a box runs an event loop in which others may open).
int openBoxes();

// Returns the previous handler. Without one, boxes go to stderr and get their default answer.
Handler setHandler(Handler handler);

// Convenience forms used throughout the program.
void okBox(const QString &text, const QString &title = QStringLiteral("Pirune"));
bool yesNo(const QString &text, const QString &title, Answer defaultAnswer);

} // namespace MessageSeam
