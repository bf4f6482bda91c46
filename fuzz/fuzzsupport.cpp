#include "fuzzsupport.h"

#include <QTemporaryDir>

QString fuzzScratchDirectory()
{
    static QTemporaryDir dir;
    return dir.path();
}
