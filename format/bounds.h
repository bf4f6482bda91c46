#ifndef BOUNDS_H
#define BOUNDS_H

#include <QtGlobal>

// What either program reads or keeps of a file, whatever sizes the file
// declares. Each bound stands far above what any real print needs and keeps a
// damaged file from asking for more memory than a 32-bit process has.
namespace bounds {

// A Tesk layer's data is read up to this size, some seventy times what the
// largest layer of a supported printer can need (a byte a pixel); the rest
// reads as zeros, which overflow the layer and are reported.
constexpr qint64 kMaxLayerBytes = 256 * 1024 * 1024;

// A Tesk preview of more pixels is treated as no preview. Real ones are a few
// hundred pixels wide; scaling one takes about 7 bytes a pixel.
constexpr qint64 kMaxPreviewPixels = 4 * 1024 * 1024;

// What sliceinfo keeps and reports of each layer takes up to 2 KB (as JSON),
// so the layers of a file that declares more are not examined one by one. At
// 0.01 mm a layer it would be 0.5 m high, three times the tallest build.
constexpr int kMaxExaminedLayers = 50000;

// A qvx file is held whole by sliceinfo; a larger one is not examined. Reading
// stops one byte past this size, whatever size the file reports.
constexpr qint64 kMaxQvxFileBytes = 1024LL * 1024 * 1024;

// A layer of more pixels is not decoded into a picture: 64 MB of grey, 256 MB
// as a coloured picture.
constexpr qint64 kMaxLayerPixels = 64 * 1024 * 1024;

// What either program keeps of the results made from a layer's block (the
// converter's encoded records, sliceinfo's islands and pictures) for the
// other table entries that point at the same block, per kind of result.
constexpr qint64 kMaxSharedBlockBytes = 64 * 1024 * 1024;

// sliceinfo follows the dark space through every layer, so a block that table
// entries share (not with the layer just before) is decoded again for each;
// past this many bytes decoded again the dark space is not followed further,
// and a small file cannot ask for hours of work.
constexpr qint64 kMaxRereadBytes = 256 * 1024 * 1024;

} // namespace bounds

#endif
