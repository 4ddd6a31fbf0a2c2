// Loading and drawing of the picker glyphs.
#include "picker/glyphs.h"

#include <QPainter>

const char* GlyphResourceName(TGlyph glyph) {
    switch (glyph) {
        case TGlyph::Floppy: return "FLOPPY";
        case TGlyph::Hard: return "HARD";
        case TGlyph::Network: return "NETWORK";
        case TGlyph::Cdrom: return "CDROM";
        case TGlyph::Ram: return "RAM";
        case TGlyph::OpenFolder: return "OPENFOLDER";
        case TGlyph::ClosedFolder: return "CLOSEDFOLDER";
        case TGlyph::CurrentFolder: return "CURRENTFOLDER";
        case TGlyph::Executable: return "EXECUTABLE";
        case TGlyph::UnknownFile: return "UNKNOWNFILE";
        case TGlyph::None: break;
    }
    return "";
}

QImage LoadGlyph(TGlyph glyph) {
    if (glyph == TGlyph::None) return {};
    QImage image(QStringLiteral(":/glyphs/%1.bmp").arg(QLatin1String(GlyphResourceName(glyph))));
    return image.convertToFormat(QImage::Format_ARGB32);
}

void DrawGlyph(QPainter& painter, const QImage& glyph, int left, int rowTop, int rowBottom, const QColor& fill) {
    if (glyph.isNull()) return;
    QImage shown = glyph;
    const QRgb key = glyph.pixel(0, glyph.height() - 1);
    const QRgb replacement = fill.rgba();
    for (int y = 0; y < shown.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x)
            if (line[x] == key) line[x] = replacement;
    }
    painter.drawImage(left, (rowTop + rowBottom - glyph.height()) / 2, shown);
}
