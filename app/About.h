#pragma once
// The About box: the program's icon, name and version, its maker, and a link to the
// help book's page about the program.
#include <QDialog>

class QLabel;
class QPushButton;
class TForm1;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(TForm1& form);

    QLabel* WebLink() const { return webLink_; }
    QPushButton* OKButton() const { return okButton_; }
    // The link: the window's "Visit Home Page", the help book's About page.
    void WebLinkClick();

private:
    TForm1& form_;
    QLabel* webLink_ = nullptr;
    QPushButton* okButton_ = nullptr;
};
