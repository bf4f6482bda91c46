#include "litspans.h"

void LitSpans::handOn()
{
    at.advance(spanStart - at.start);
    stats.addLit(at, spanLength);
    if (islands)
        islands->addLit(at, spanLength);
    spanLength = 0;
}
