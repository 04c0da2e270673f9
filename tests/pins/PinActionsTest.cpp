#include "PinTestSupport.h"

#include "pins/PinActions.h"
#include "pins/PinCardDrawing.h"
#include "support/WaitUntil.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

class PinActionsTest : public ::testing::Test {
protected:
    QString writeFile(const QString &name, const QByteArray &contents)
    {
        const QString path = model.tempDir.path() + '/' + name;
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(contents);
        return path;
    }
    static QByteArray read(const QString &path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    PinModel model;
    PinActions actions{model.services().actions};
};

TEST_F(PinActionsTest, CopyOffersTheImageOrTheFileAndSounds)
{
    const PinItem image(PinContent::makeImage(solidImage(30, 20, Qt::red)));
    EXPECT_TRUE(actions.copy(image));
    EXPECT_EQ(model.pasteboard->calls,
              (QStringList{"clear", "data(image/png)", "data(image/tiff)"}));
    EXPECT_EQ(model.sounds->calls.size(), 1);

    model.pasteboard->calls.clear();
    const QUrl url = QUrl::fromLocalFile(writeFile("a.txt", "text"));
    EXPECT_TRUE(actions.copy(PinItem(PinContent::makeFile(url))));
    EXPECT_EQ(model.pasteboard->calls, (QStringList{"clear", "file(" + url.toString() + ")"}));

    model.pasteboard->calls.clear();
    EXPECT_FALSE(actions.copy(PinItem(PinContent::makeImage(QImage())))) << "picture gone";
    EXPECT_EQ(model.pasteboard->calls, QStringList{"clear"});
}

TEST_F(PinActionsTest, SavingAFileOverAnExistingOneReplacesIt)
{
    const QString source = writeFile("new.txt", "the new contents");
    const QString target = writeFile("old.txt", "old");
    model.savePanel->answer = QUrl::fromLocalFile(target);
    const auto pin =
        std::make_shared<const PinItem>(PinContent::makeFile(QUrl::fromLocalFile(source)));
    QCoro::waitFor(actions.saveAs(pin));
    EXPECT_EQ(read(target), "the new contents");
    EXPECT_EQ(read(source), "the new contents");
    EXPECT_EQ(model.savePanel->shown.last().nameFieldStringValue, "new.txt");
}

TEST_F(PinActionsTest, SavingAnImageWritesAPngAndCancellingWritesNothing)
{
    const auto pin =
        std::make_shared<const PinItem>(PinContent::makeImage(solidImage(30, 20, Qt::red)));
    QCoro::waitFor(actions.saveAs(pin));
    EXPECT_TRUE(model.imageWriter->calls().isEmpty());
    model.savePanel->answer = QUrl::fromLocalFile(model.tempDir.path() + "/x.png");
    QCoro::waitFor(actions.saveAs(pin));
    ASSERT_EQ(model.imageWriter->calls().size(), 1);
    EXPECT_EQ(model.imageWriter->calls().first().path, model.tempDir.path() + "/x.png");
    EXPECT_EQ(model.imageWriter->calls().first().type, "image/png");
}

TEST_F(PinActionsTest, OpeningAnImageWritesItIntoTheTemporaryFolderFirst)
{
    const PinItem pin(PinContent::makeImage(solidImage(30, 20, Qt::red)));
    EXPECT_TRUE(actions.open(pin));
    ASSERT_EQ(model.imageWriter->calls().size(), 1);
    const QString path = model.imageWriter->calls().first().path;
    EXPECT_EQ(QFileInfo(path).path(), model.tempDir.path());
    EXPECT_EQ(model.urlOpener->opened, QList<QUrl>{QUrl::fromLocalFile(path)});

    model.imageWriter->result.status = platform::ImageWriteResult::Status::cannotCreate;
    EXPECT_FALSE(actions.open(pin));
    EXPECT_EQ(model.urlOpener->opened.size(), 1) << "nothing opens when nothing was written";
}

TEST(PinBorderColourTest, AccentTakesTheThemeColour)
{
    EXPECT_EQ(PinCardDrawing::borderColor(PinBorderColor::accent, AccentTheme::monochrome),
              color(AccentTheme::monochrome));
    EXPECT_EQ(PinCardDrawing::borderColor(PinBorderColor::accent, AccentTheme::purple),
              color(AccentTheme::purple));
    EXPECT_EQ(PinCardDrawing::borderColor(PinBorderColor::accent, AccentTheme::blue).alpha(), 255);
    EXPECT_EQ(PinCardDrawing::borderColor(PinBorderColor::red, AccentTheme::blue),
              color(PinBorderColor::red));
}

} // namespace
