// The Change Icon dialog: every icon of a file, and the choice answered as a link
// keeps it.
#include <QBuffer>
#include <QDialogButtonBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/ui/IconPicker.h"
#include "tests/support/IconFileImages.h"
#include "tests/support/TestSupport.h"

using testsupport::BuildPe;
using testsupport::MakeDib;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Windows(const std::string& host)
{
    std::string w = "Z:";
    for (char c : host)
        w += c == '/' ? '\\' : c;
    return w;
}

Bytes Png(int side, QRgb colour)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return Bytes(data.begin(), data.end());
}

TEST(IconPickerTest, ThePickerShowsEveryIconAndAnswersTheChoice)
{
    TempDir dir;
    const Bytes program = BuildPe(false, {{0, "MAIN", {{32, MakeDib(32, 0xFF0000), 32}}},
                                          {5, "", {{32, MakeDib(32, 0x0000FF), 32}}},
                                          {7, "", {{32, Png(32, 0xFF00FF00), 32}}}});
    WriteFile(dir / "app.exe", std::string(program.begin(), program.end()));
    WriteFile(dir / "page.html", "<html></html>");
    const std::string location = Windows(dir / "app.exe");

    platform::ui::IconPicker picker(nullptr, location, -7);
    QSignalSpy shown(&picker, &platform::ui::IconPicker::IconsShown);
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_EQ(picker.IconCount(), 3);
    // Untouched, the choice is what was given, the resource ID included.
    EXPECT_EQ(picker.List()->currentRow(), 2);
    EXPECT_EQ(picker.IconLocation(), location);
    EXPECT_EQ(picker.IconIndex(), -7);
    picker.List()->setCurrentRow(1);
    EXPECT_EQ(picker.IconIndex(), 1);

    // A file typed in without icons says so, offers nothing to choose, and stays in
    // the field to be put right.
    auto* field = picker.findChild<QLineEdit*>();
    const QString typed = QString::fromStdString(Windows(dir / "page.html"));
    field->setText(typed);
    picker.accept(); // OK reads a file typed in first
    QTRY_VERIFY_WITH_TIMEOUT(!picker.Loading() && shown.count() >= 2, 5000);
    EXPECT_EQ(picker.Note(), "The file " + typed + " contains no icons.");
    EXPECT_EQ(picker.IconCount(), 0);
    EXPECT_EQ(field->text(), typed);
    EXPECT_FALSE(picker.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled());

    // A host path typed in is answered as a Windows path.
    picker.ShowFile(QString::fromStdString(dir / "app.exe"));
    QTRY_VERIFY_WITH_TIMEOUT(!picker.Loading() && picker.IconCount() == 3, 5000);
    EXPECT_EQ(picker.IconLocation(), location);
    EXPECT_EQ(picker.IconIndex(), 0);
}

} // namespace
