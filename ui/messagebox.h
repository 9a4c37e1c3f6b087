#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace zelmo {

// Every message box of the program goes through here, so that tests can see what would have
// been shown instead of blocking on a modal box.
class MessageBox {
public:
    // An information box with an OK button. Returns when the user has closed it.
    static void information(QWidget *parent, const QString &title, const QString &text);
    // A warning box with an OK button.
    static void warning(QWidget *parent, const QString &title, const QString &text);
    // A question with Yes and No, No the default; true for Yes. With an observer, Yes.
    static bool question(QWidget *parent, const QString &title, const QString &text);
    // A warning box that does not wait: it returns at once, and the box stays until closed.
    static void warningLater(QWidget *parent, const QString &title, const QString &text);

    // While set, boxes are handed to the observer and not shown.
    using Observer = std::function<void(const QString &title, const QString &text)>;
    static void setObserver(Observer observer);
};

// The title of boxes that have none of their own.
QString applicationTitle();

} // namespace zelmo
