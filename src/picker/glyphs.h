// The drive, folder and file glyphs of the picker controls and the one way they are drawn.
#pragma once

#include <QColor>
#include <QImage>

class QPainter;

enum class TGlyph { None, Floppy, Hard, Network, Cdrom, Ram, OpenFolder, ClosedFolder, CurrentFolder, Executable, UnknownFile };

// The resource name of a glyph ("FLOPPY", "OPENFOLDER", ...); empty for TGlyph::None.
const char* GlyphResourceName(TGlyph glyph);
// Loads ":/glyphs/NAME.bmp" as a 32-bit image; a null image for TGlyph::None.
QImage LoadGlyph(TGlyph glyph);

// Draws the glyph with its left edge at left, centred between rowTop and rowBottom (exclusive),
// every pixel of the bottom-left pixel's colour painted in fill instead.
void DrawGlyph(QPainter& painter, const QImage& glyph, int left, int rowTop, int rowBottom, const QColor& fill);
