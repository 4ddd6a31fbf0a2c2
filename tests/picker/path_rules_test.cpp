// Path parts, the requested-path split and the shortened caption.
#include <QFont>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "picker/glyphs.h"
#include "picker/path_rules.h"
#include "picker_fixture.h"
#include "runtime/exceptions.h"

using namespace picker;

TEST(PathRules, DrivePartOfLetteredNetworkAndRelativePaths) {
    EXPECT_EQ(DrivePart("C:\\a\\b"), "C:");
    EXPECT_EQ(DrivePart("d:"), "d:");
    EXPECT_EQ(DrivePart("\\\\srv\\share\\a"), "\\\\srv\\share");
    EXPECT_EQ(DrivePart("\\\\srv\\share"), "\\\\srv\\share");
    EXPECT_EQ(DrivePart("\\\\srv"), "\\\\srv");
    EXPECT_EQ(DrivePart("\\a\\b"), "");
    EXPECT_EQ(DrivePart("a"), "");
    EXPECT_EQ(NamePart("C:\\a\\b.htm"), "b.htm");
    EXPECT_EQ(NamePart("C:b.htm"), "b.htm");
    EXPECT_EQ(NamePart("b/c.htm"), "b/c.htm");
    EXPECT_EQ(NamePart("C:\\"), "");
    EXPECT_EQ(JoinPath("C:\\", "x"), "C:\\x");
    EXPECT_EQ(JoinPath("C:\\a", "x"), "C:\\a\\x");
    EXPECT_EQ(CountBackslashes("\\\\s\\t\\u"), 4);
}

TEST(PathRules, ShortenPathCutsLeadingFoldersUntilItFits) {
    QFont font;
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const std::string path = "C:\\one\\two\\three\\file.htm";
    auto width = [&](const char* text) { return metrics.horizontalAdvance(QString::fromLatin1(text)); };
    EXPECT_EQ(ShortenPath(path, 10000, metrics), path);
    EXPECT_EQ(ShortenPath(path, width("C:\\...\\two\\three\\file.htm"), metrics), "C:\\...\\two\\three\\file.htm");
    EXPECT_EQ(ShortenPath(path, width("C:\\...\\three\\file.htm"), metrics), "C:\\...\\three\\file.htm");
    EXPECT_EQ(ShortenPath(path, width("C:\\...\\file.htm"), metrics), "C:\\...\\file.htm");
    EXPECT_EQ(ShortenPath(path, width("...\\file.htm"), metrics), "...\\file.htm");
    EXPECT_EQ(ShortenPath(path, 0, metrics), "file.htm");
}

class SplitRequestedPathTest : public PickerTest {};

TEST_F(SplitRequestedPathTest, FoldersMoveIntoTheFolderPartAndTheDirectoryComesBack) {
    Folder(C("wiz"));
    Folder(C("proj/sub"));
    File(C("proj/page.htm"));
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\proj\\sub"));

    SplitPath split = SplitRequestedPath("C:\\wiz\\");
    EXPECT_EQ(split.drive, 'C');
    EXPECT_EQ(split.folder, "\\wiz");
    EXPECT_EQ(split.name, "");

    split = SplitRequestedPath("C:\\proj");
    EXPECT_EQ(split.folder, "\\proj");
    EXPECT_EQ(split.name, "");

    split = SplitRequestedPath("C:\\proj\\page.htm");
    EXPECT_EQ(split.folder, "\\proj");
    EXPECT_EQ(split.name, "page.htm");

    split = SplitRequestedPath("C:\\proj\\*.htm");
    EXPECT_EQ(split.folder, "\\proj");
    EXPECT_EQ(split.name, "*.htm");

    // A bracketed folder entry of the file list names a folder below the current one.
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\proj"));
    split = SplitRequestedPath("[sub]");
    EXPECT_EQ(split.drive, 'C');
    EXPECT_EQ(split.folder, "\\proj\\sub");
    EXPECT_EQ(split.name, "");
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\proj");

    split = SplitRequestedPath("..");
    EXPECT_EQ(split.drive, 'C');
    EXPECT_EQ(split.folder, "\\proj\\..");
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\proj");
}

TEST_F(SplitRequestedPathTest, AFolderNameJoinsTheFolderPartWithOneBackslash) {
    Folder(C("base/q/r"));
    Folder(C("r"));
    File(C("base/q/page.htm"));
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\base"));
    const struct {
        const char* requested;
        const char* folder;
        const char* name;
    } rows[] = {
        {"q\\r", "q\\r", ""},           // a relative folder whose first name has one letter keeps it
        {"q\\r\\", "q\\r", ""},
        {"q", "\\base\\q", ""},
        {"q\\page.htm", "q", "page.htm"},
        {"C:\\r", "\\r", ""},          // below the root the folder part is the backslash alone
        {"\\r", "\\r", ""},
        {"C:\\base\\q\\r", "\\base\\q\\r", ""},
    };
    for (const auto& row : rows) {
        const SplitPath split = SplitRequestedPath(row.requested);
        EXPECT_EQ(split.drive, 'C') << row.requested;
        EXPECT_EQ(split.folder, row.folder) << row.requested;
        EXPECT_EQ(split.name, row.name) << row.requested;
        EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\base");
    }
}

TEST_F(SplitRequestedPathTest, BareDriveGivesThatDrivesCurrentFolder) {
    Folder(temp_ / "f/deep/er");
    ASSERT_TRUE(platform::SetCurrentDirectory("F:\\deep\\er"));
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\"));
    const SplitPath split = SplitRequestedPath("F:");
    EXPECT_EQ(split.drive, 'F');
    EXPECT_EQ(split.folder, "\\deep\\er");
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\");
}

TEST_F(SplitRequestedPathTest, NetworkPathKeepsItsRootInTheFolderPart) {
    Folder(temp_ / "n/docs");
    const SplitPath split = SplitRequestedPath("\\\\SRV\\Share\\docs");
    EXPECT_EQ(split.drive, 0);
    EXPECT_EQ(split.folder, "\\\\SRV\\Share\\docs");
}

TEST_F(SplitRequestedPathTest, MissingFolderRaisesAndRestoresTheDirectory) {
    Folder(C("here"));
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\here"));
    try {
        SplitRequestedPath("C:\\missing\\deeper");
        FAIL() << "no exception";
    } catch (const rtl::EInOutError& error) {
        EXPECT_EQ(error.ErrorCode, platform::kErrorFileNotFound);
        EXPECT_EQ(error.Message(), "File not found");
    }
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\here");
}

TEST(Glyphs, EveryBitmapHasItsSizeAndABlueBottomLeftPixel) {
    struct Expected {
        TGlyph glyph;
        int width, height;
    };
    const Expected all[] = {{TGlyph::Floppy, 16, 11},       {TGlyph::Hard, 16, 11},         {TGlyph::Network, 16, 11},
                            {TGlyph::Cdrom, 16, 11},        {TGlyph::Ram, 16, 11},          {TGlyph::OpenFolder, 16, 15},
                            {TGlyph::ClosedFolder, 16, 15}, {TGlyph::CurrentFolder, 16, 15}, {TGlyph::Executable, 16, 15},
                            {TGlyph::UnknownFile, 16, 15}};
    for (const Expected& e : all) {
        QFile file(QStringLiteral(":/glyphs/%1.bmp").arg(QLatin1String(GlyphResourceName(e.glyph))));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << GlyphResourceName(e.glyph);
        const QByteArray bytes = file.readAll();
        ASSERT_GE(bytes.size(), 54 + 64);
        auto word = [&](int at) { return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8; };
        EXPECT_EQ(bytes.left(2), "BM");
        EXPECT_EQ(word(18), e.width);
        EXPECT_EQ(word(22), e.height);
        EXPECT_EQ(word(28), 4) << "bits per pixel";
        EXPECT_EQ(word(30), 0) << "compression";
        EXPECT_EQ(word(46), 16) << "palette size";
        // Palette entry 12 is pure blue (stored blue, green, red).
        EXPECT_EQ(bytes.mid(54 + 12 * 4, 3), QByteArray("\xff\x00\x00", 3));
        // Rows run bottom-up, 8 bytes each: the first nibble is the bottom-left pixel.
        EXPECT_EQ(static_cast<uint8_t>(bytes[word(10)]) >> 4, 12);
        const QImage image = LoadGlyph(e.glyph);
        EXPECT_EQ(image.size(), QSize(e.width, e.height)) << GlyphResourceName(e.glyph);
        EXPECT_EQ(image.pixel(0, e.height - 1), qRgb(0, 0, 255)) << GlyphResourceName(e.glyph);
    }
}

TEST(Glyphs, DrawingPaintsTheBlueBackgroundInTheFillColour) {
    const QImage glyph = LoadGlyph(TGlyph::UnknownFile);
    QImage canvas(20, 21, QImage::Format_ARGB32);
    canvas.fill(Qt::green);
    {
        QPainter painter(&canvas);
        DrawGlyph(painter, glyph, 2, 0, 21, QColor(Qt::red));
    }
    // Top at (0 + 21 - 15) / 2 = 3.
    EXPECT_EQ(canvas.pixel(1, 3), QColor(Qt::green).rgb());
    EXPECT_EQ(canvas.pixel(2, 3 + 14), QColor(Qt::red).rgb());
    EXPECT_EQ(canvas.pixel(2, 2), QColor(Qt::green).rgb());
    int blue = 0;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            if (canvas.pixel(x, y) == qRgb(0, 0, 255)) ++blue;
    EXPECT_EQ(blue, 0);
    // The page itself keeps its colours.
    EXPECT_EQ(canvas.pixel(2 + 4, 3 + 6), qRgb(255, 255, 255));
}
