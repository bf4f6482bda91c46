#ifndef PIXELFONT_H
#define PIXELFONT_H

#include <QColor>
#include <QPainter>
#include <QString>

// A built-in font of dots, five rows high, for labels on pictures: QPainter
// cannot draw text without a GUI application object, which sliceinfo does not
// create. It has the digits, the lower-case letters and the signs . , - + > (
// ) : / % and the superscript 2; other characters are drawn as a space.
class PixelFont {
public:
    static constexpr int kGlyphHeight = 5;

    // Draws `text` with its top left corner at (x, y), every dot `scale` pixels
    // square.
    static void draw(QPainter& painter, int x, int y, const QString& text, int scale, const QColor& colour);
    // Width in pixels of `text` drawn at `scale`.
    static int width(const QString& text, int scale);
};

#endif
