#include "tesktoqvx.h"

TeskToQvx::TeskToQvx(const QString& inputPath, const QString& outputPath)
    : inputPath(inputPath)
    , outputPath(outputPath)
{
}

int TeskToQvx::process() { return InputMissing; }
bool TeskToQvx::decodeLayerData(char*, int, uchar*) { return true; }
void TeskToQvx::decodeLayerData(const char*, qint64, qint64, uchar*) {}
