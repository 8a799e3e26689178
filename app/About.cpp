#include "app/About.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Actions.h"
#include "app/Unit1.h"
#include "app/Version.h"

TAboutBox::TAboutBox(TForm1& form)
    : QDialog(&form, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      form_(form)
{
    setObjectName("AboutBox");
    setWindowTitle("About Quillmere");
    setFixedSize(298, 218);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    auto* icon = new QLabel(panel);
    icon->setObjectName("ProgramIcon");
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    icon->setFixedSize(32, 32);

    QFont bold = font();
    bold.setPixelSize(13);
    bold.setBold(true);
    auto* product = new QLabel(kProgramName, panel);
    product->setObjectName("ProductName");
    product->setFont(bold);
    auto* version = new QLabel(QString("Version ") + QM_VERSION, panel);
    version->setObjectName("Version");
    version->setFont(bold);
    auto* maker = new QLabel("Made by Tarnwick for the shortcut files of Wine prefixes, Windows disks and shared "
                             "folders.",
                             panel);
    maker->setObjectName("Comments");
    maker->setWordWrap(true);

    webLink_ = new QLabel(panel);
    webLink_->setObjectName("WebLink");
    webLink_->setText("<a href=\"about\" style=\"color:#0000ff; font-weight:bold; text-decoration:none\">"
                      "About Quillmere in the help book</a>");
    webLink_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    webLink_->setCursor(Qt::PointingHandCursor);
    connect(webLink_, &QLabel::linkActivated, this, [this] { WebLinkClick(); });

    auto* grid = new QGridLayout(panel);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(product, 0, 1);
    grid->addWidget(version, 1, 1);
    grid->addWidget(maker, 2, 0, 1, 2);
    grid->addWidget(webLink_, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);

    okButton_ = new QPushButton("OK", this);
    okButton_->setObjectName("OKButton");
    okButton_->setDefault(true); // Esc closes the box as well
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
}

void TAboutBox::WebLinkClick() { form_.ActionExecute(ActionId::aVisitHomePage); }
