#ifndef SMOOTHSCALER_H
#define SMOOTHSCALER_H

#include <QImage>

// Scales an opaque picture as QImage::scaled does with
// Qt::SmoothTransformation (Qt 5.15: area sampling in fixed point shrinking,
// blending neighbours enlarging; the same bytes, which a test holds it to),
// but on the calling thread. Qt hands a source of 2^17 pixels or more to its
// global thread pool, and converts a grey picture of 128 KiB or more there,
// which starts threads and waits for ever when none can be made (a process
// limit); these programs start no thread. What Qt keeps on the calling thread
// anyway (a smaller source, once it is RGB32) is left to Qt, and so are
// pictures with an alpha channel, which these programs never scale.
class SmoothScaler {
public:
    // `image` scaled to width x height, in Format_RGB32 as Qt gives it; null
    // when out of memory or for an empty size.
    static QImage scaled(const QImage& image, int width, int height);

    // The opaque picture in Format_RGB32, as Qt converts it, on the calling
    // thread; null when out of memory.
    static QImage rgb32(const QImage& image);

    // True when Qt would split scaling `source` among threads.
    static bool qtWouldUseThreads(const QImage& source, int height);
};

#endif
