#pragma once
// Tool-tip hints for the whole application: off while only the main window is up,
// on while a dialog is shown, each hint staying up for a set time.
#include <QObject>

class THints : public QObject {
    Q_OBJECT
public:
    static THints& Instance();
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Enabled() const { return enabled_; }
    void SetHidePause(int ms) { hidePause_ = ms; }
    int HidePause() const { return hidePause_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    THints();
    bool enabled_ = true;
    int hidePause_ = 5000;
};
