#ifndef QVXFORMAT_H
#define QVXFORMAT_H

#include <QtGlobal>

// The qvx slice file, as the writer (ExportQvx) makes it and the reader
// (sliceinfo's QvxReader) checks it. Little-endian, floats single precision,
// except the preview pixels, which are big-endian.
//
//   offset  size  content
//   0       8     magic "QuorvatH"
//   8       4     0xFF000001
//   12      4     1
//   16      4     model number (the printer table's modelNumber)
//   20      4     0
//   24      4     34, the number of floats that follow
//   28      136   print parameters, slots 0..33 (see Slot)
//   164     4     layer count
//   168     4     4
//   172     4     preview width  (120)
//   176     4     preview height (150)
//   180     2*w*h preview, RGB565 big-endian, rows from the top
//   ...           one record per layer: uint32 byte count N, then N bytes of
//                 runs (see ExportQvx::compressImage)
namespace qvx {

constexpr char kMagic[] = "QuorvatH";
constexpr int kMagicSize = 8;
constexpr qint32 kVersionTag = qint32(0xFF000001);
constexpr qint32 kHeaderWord12 = 1;
constexpr qint32 kHeaderWord20 = 0;
constexpr qint32 kHeaderWord168 = 4;
constexpr int kParameterCount = 34;
constexpr int kParametersOffset = 28;
constexpr int kLayerCountOffset = 164;
constexpr int kPreviewSizeOffset = 172;
constexpr int kHeaderSize = 180;
constexpr int kPreviewWidth = 120;
constexpr int kPreviewHeight = 150;
constexpr int kRecordSizeBytes = 4;

static_assert(kParametersOffset + 4 * kParameterCount == kLayerCountOffset, "the parameters end at the layer count");
static_assert(kPreviewSizeOffset + 8 == kHeaderSize, "the preview size ends the header");

// The print parameter slots whose meaning is known; the others keep the
// writer's defaults. Values derived from the Tesk header say from which field.
enum Slot : int {
    kPixelsPerMmX = 0,       // 1/mm, 1000 / pixel pitch
    kPixelsPerMmY = 1,       // 1/mm
    kPixelsX = 2,            // printer pixels along its X axis (the plate's long side)
    kPixelsY = 3,            // printer pixels along Y
    kLayerHeight = 4,        // mm, the Tesk layer height bit for bit
    kExposureTime = 5,       // ms
    kBottomExposureTime = 6, // ms
    kLightOffDelay = 8,      // ms
    kLightOffDelay2 = 9,     // ms, the same value again
    kBottomHeight = 10,      // mm, bottom layer count x layer height
    kTeskByte140 = 12,       // the Tesk header's float at byte 140, bit for bit
    kTeskByte148 = 13,       // ... at byte 148
    kTeskByte152 = 14,       // ... at byte 152, twice
    kTeskByte152Again = 15,
    kTeskByte144 = 16,       // ... at byte 144, twice
    kTeskByte144Again = 17,
    kBuildHeight = 30,       // mm, the printer's build height
};

// The known slots as a report names them, with their units.
struct SlotMeaning {
    int slot;
    const char* key;
    const char* label;
    const char* unit;
};

constexpr SlotMeaning kSlotMeanings[] = {
    {qvx::kPixelsPerMmX, "pixelsPerMmX", "pixels per mm along X", "1/mm"},
    {qvx::kPixelsPerMmY, "pixelsPerMmY", "pixels per mm along Y", "1/mm"},
    {qvx::kPixelsX, "pixelsX", "pixels along X", "pixels"},
    {qvx::kPixelsY, "pixelsY", "pixels along Y", "pixels"},
    {qvx::kLayerHeight, "layerHeight", "layer height", "mm"},
    {qvx::kExposureTime, "exposureTime", "exposure time", "ms"},
    {qvx::kBottomExposureTime, "bottomExposureTime", "bottom exposure time", "ms"},
    {qvx::kLightOffDelay, "lightOffDelay", "light-off delay", "ms"},
    {qvx::kLightOffDelay2, "lightOffDelay2", "light-off delay (second)", "ms"},
    {qvx::kBottomHeight, "bottomHeight", "height of the bottom layers", "mm"},
    {qvx::kBuildHeight, "buildHeight", "build height", "mm"},
};

// The meaning of a slot; null for a slot whose meaning is not known.
inline const SlotMeaning* meaningOf(int slot)
{
    for (const SlotMeaning& m : kSlotMeanings) {
        if (m.slot == slot)
            return &m;
    }
    return nullptr;
}

} // namespace qvx

#endif
