#include "litspans.h"

void LitSpans::handOn(qint64 start, qint64 length)
{
    at.advance(start - at.start);
    stats.addLit(at, length);
    if (islands)
        islands->addLit(at, length);
    if (darkSpace)
        darkSpace->addLit(at, length);
}
