#pragma once
// Answers the next message box a window opens (its modal loop would stop the test),
// keeping its text for the test to look at.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace testsupport {

class ModalAnswer {
public:
    explicit ModalAnswer(QMessageBox::StandardButton button) : state_(std::make_shared<State>())
    {
        auto state = state_;
        state->timer.setInterval(10);
        QObject::connect(&state->timer, &QTimer::timeout, [state, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            state->text = box->text();
            state->timer.stop();
            if (QAbstractButton* b = box->button(button))
                b->click();
            else
                box->reject();
        });
        state->timer.start();
    }
    ~ModalAnswer() { state_->timer.stop(); }
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    // The text of the box answered; empty when none came.
    const QString& Text() const { return state_->text; }

private:
    struct State {
        QTimer timer;
        QString text;
    };
    std::shared_ptr<State> state_;
};

} // namespace testsupport
